// The telegraph's older-page completion (/pc/roll/batch_show through GetAsyn).

#include "news_center/feeds/telegraph_publisher.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Keeps what a newcomer is handed: the whole cache.
struct Newcomer : ITelegraphObserver {
    int updates = 0;
    bool cacheUnique = true;
    void OnTelegraphRefreshBegin() override {}
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override {
        ++updates;
        cacheUnique = cacheUnique && fuzz::UniqueIds(changes.added);
    }
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    CTelegraphPublisher* telegraph = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
    int calls = 0;
    bool failed = true;
    telegraph->RequestEarlierTelegraph(5, [&](bool isFailed, const std::list<TelegraphInfo>&) {
        ++calls;
        failed = isFailed;
    });
    fuzz::CompleteWith(data, size);
    fuzz::Require(calls == 1, "the callback runs once");
    fuzz::Require(!failed, "only a failed transfer is reported as failed");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");

    fuzz::WaitForIdleCycle(telegraph);
    Newcomer newcomer;
    telegraph->Subscribe(&newcomer);
    fuzz::Require(newcomer.updates <= 1, "a newcomer gets the cache once");
    fuzz::Require(newcomer.cacheUnique, "the cache holds each id once");
    telegraph->Unsubscribe(&newcomer);
    return 0;
}
