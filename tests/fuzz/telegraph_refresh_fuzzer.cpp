// The telegraph's refresh pages (/pc/roll/batch_show through GetSync), read
// once as a first load and once as an incremental page over a known cache.

#include <string>

#include "news_center/feeds/telegraph_publisher.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Observer : ITelegraphObserver {
    int begins = 0;
    int updates = 0;
    bool listsInOrder = true;
    bool unique = true;
    void OnTelegraphRefreshBegin() override { ++begins; }
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override {
        ++updates;
        unique = unique && fuzz::UniqueIds(changes.added);
        listsInOrder = listsInOrder && fuzz::SortedAndUnique(changes.added) &&
                       fuzz::SortedAndUnique(changes.modified) && fuzz::Unique(changes.removedIds);
    }
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
};

// Three visible telegraphs; leaves the cache non-empty, so the next page is incremental.
const char kSeedPage[] =
    "{\"errno\":0,\"time\":1000,\"data\":{\"list\":["
    "{\"id\":900001,\"type\":-1,\"operation\":\"add\",\"operation_time\":500,"
    "\"info\":{\"id\":900001,\"sort_score\":3000,\"status\":1}},"
    "{\"id\":900002,\"type\":-1,\"operation\":\"add\",\"operation_time\":499,"
    "\"info\":{\"id\":900002,\"sort_score\":2000,\"status\":1}},"
    "{\"id\":900003,\"type\":-1,\"operation\":\"add\",\"operation_time\":498,"
    "\"info\":{\"id\":900003,\"sort_score\":1000,\"status\":1}}]}}";

void Cycle(CTelegraphPublisher* telegraph, Observer& observer, const std::string& body) {
    const int updates = observer.updates;
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body));
    telegraph->Refresh();
    hostdouble::RunPendingTasks();
    fuzz::Require(observer.updates == updates + 1, "one update per cycle");
    fuzz::Require(observer.begins == observer.updates, "each update follows its begin");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    CTelegraphPublisher* telegraph = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
    fuzz::WaitForIdleCycle(telegraph);
    Observer observer;
    telegraph->Subscribe(&observer);
    const std::string body = fuzz::Text(data, size);
    Cycle(telegraph, observer, body);
    Cycle(telegraph, observer, kSeedPage);
    Cycle(telegraph, observer, body);
    fuzz::Require(observer.listsInOrder, "change sets sorted with unique ids");
    fuzz::Require(fuzz::LogCount() == 0, "the periodic refresh logs nothing");

    // A newcomer is handed the whole cache as `added`.
    Observer newcomer;
    telegraph->Subscribe(&newcomer);
    fuzz::Require(newcomer.unique, "the cache holds each id once");
    return 0;
}
