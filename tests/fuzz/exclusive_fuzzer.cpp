// The exclusive column publisher's completions: the first input byte picks the
// column list, a first page, an earlier page or the page of an incremental
// refresh; the rest is the body. Pages land on a column with a cache already.

#include <string>

#include "tests/fuzz/fuzz_support.h"

namespace {

const int kColumn = 7;

const char kSeedPage[] =
    "{\"errno\":0,\"data\":{\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":3000},"
    "{\"type\":3,\"id\":900002,\"sort_score\":2000},"
    "{\"type\":2,\"id\":900003,\"sort_score\":1000}]}}";

void Complete(const std::string& body) { hostdouble::CompleteNext(true, body); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    fuzz::Round round;
    // An incremental refresh also asks for edits: there are none.
    hostdouble::SetSyncHandler(
        [](const hostdouble::Request&) { return hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}"); });
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    exclusive->RequestArticleList(kColumn, ExclusiveArticleCallback());
    Complete(kSeedPage);

    int calls = 0;
    const auto articles = [&calls](int column, const std::list<ExclusiveArticle>&) {
        ++calls;
        fuzz::Require(column == kColumn, "the callback names its column");
    };
    switch (data[0] % 4) {
    case 0:
        exclusive->RequestColumnList([&calls](const std::list<ExclusiveColumn>&) { ++calls; });
        break;
    case 1:
        exclusive->RequestArticleList(kColumn, articles);
        break;
    case 2:
        exclusive->RequestEarlierArticleList(kColumn, 1, articles);
        break;
    default:
        exclusive->RequestArticleListOperation(kColumn, [&calls](int column, const ExclusiveUpdate& changes) {
            ++calls;
            fuzz::Require(column == kColumn, "the callback names its column");
            // `added` starts as the page as served, repeats and all; edits are folded in sorted.
            fuzz::Require(fuzz::SortedAndUnique(changes.modified), "modified sorted with unique ids");
            fuzz::Require(fuzz::Unique(changes.removed), "removed ids unique");
        });
        break;
    }
    fuzz::CompleteWith(data + 1, size - 1);
    fuzz::Require(calls == 1, "the callback runs once");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");

    // The column's state must still serve an incremental refresh.
    exclusive->RequestArticleListOperation(kColumn, ExclusiveUpdateCallback());
    Complete(kSeedPage);
    return 0;
}
