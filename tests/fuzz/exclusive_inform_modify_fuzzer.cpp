// An inform-modify page (/pc/inform/modify) read by the exclusive publisher's
// incremental refresh of a column with a cache.

#include <string>

#include "tests/fuzz/fuzz_support.h"

namespace {

const int kColumn = 7;

const char kSeedPage[] =
    "{\"errno\":0,\"data\":{\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":3000000},"
    "{\"type\":3,\"id\":900002,\"sort_score\":2000000},"
    "{\"type\":2,\"id\":900003,\"sort_score\":1000000}]}}";

// One article newer than the cache, then the refresh asks for edits.
const char kNewerPage[] =
    "{\"errno\":0,\"data\":{\"list\":[{\"type\":2,\"id\":900004,\"sort_score\":4000000}]}}";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    exclusive->RequestArticleList(kColumn, ExclusiveArticleCallback());
    hostdouble::CompleteNext(true, kSeedPage);

    const std::string body = fuzz::Text(data, size);
    for (int pass = 0; pass < 2; ++pass) {
        // A full page asks for the next one: an empty page ends it.
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body));
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}"));
        int calls = 0;
        exclusive->RequestArticleListOperation(kColumn, [&calls](int column, const ExclusiveUpdate& changes) {
            ++calls;
            fuzz::Require(column == kColumn, "the callback names its column");
            fuzz::Require(fuzz::SortedAndUnique(changes.added), "added sorted with unique ids");
            fuzz::Require(fuzz::SortedAndUnique(changes.modified), "modified sorted with unique ids");
            fuzz::Require(fuzz::Unique(changes.removed), "removed ids unique");
        });
        hostdouble::CompleteNext(true, kNewerPage);
        fuzz::Require(calls == 1, "the callback runs once");
        fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per page");
        // The queue may still hold the empty page when the fuzzed one was short.
        hostdouble::Reset();
    }
    return 0;
}
