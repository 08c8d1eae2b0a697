// The libFuzzer driver: each input is a response body handed to a publisher
// through the host double, on a clean double and fresh publishers; a broken
// invariant aborts, which libFuzzer reports like a sanitizer finding.
// fuzz_entry.cpp, compiled once per target, names the row of kReaders it runs.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <list>
#include <string>
#include <utility>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

extern const char kFuzzReader[];

namespace {

using hostdouble::Answer;

thread_local bool t_fuzzing = false;  // the feeds' own threads are not
// The input as libFuzzer holds it, so AddressSanitizer sees a read past its end.
const std::uint8_t* g_data = nullptr;
std::size_t g_size = 0;
int g_calls = 0;  // of the callback the input answers
const char kEmptyEdits[] = "{\"errno\":0,\"data\":[]}";
const int kColumn = 7;

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

std::size_t Logs() { return hostdouble::Logs().size(); }
auto Called() {
    return [](auto&&...) { ++g_calls; };
}
auto ColumnCalled() {
    return [](int column, auto&&) { ++g_calls, Require(column == kColumn, "the callback names its column"); };
}

// Answers the oldest request with the input past its first `skip` bytes.
void Respond(bool once, std::size_t skip = 0) {
    const std::size_t logs = Logs();
    hostdouble::CompleteNextRaw(true, reinterpret_cast<const char*>(g_data) + skip,
                                static_cast<long long>(g_size - skip));
    Require(once ? g_calls == 1 : g_calls <= 1, "the callback runs once");
    Require(Logs() <= logs + 1, "at most one log line per response");
}

// Counts a feed's calls on the fuzzing thread; its own thread's are not the input's.
struct Checker : ITelegraphObserver, IDepthObserver {
    int begins = 0, updates = 0;
    void OnTelegraphRefreshBegin() override { begins += t_fuzzing; }
    void OnDepthRefreshBegin() override { begins += t_fuzzing; }
    void OnTelegraphUpdate(bool, const TelegraphUpdate&) override { updates += t_fuzzing; }
    void OnDepthUpdate(bool, const DepthUpdate&) override { updates += t_fuzzing; }
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
    void OnDepthCountersUpdate(CountInfoMap) override {}
};

// A feed refreshed on the fuzzing thread: a page (then failures: a full page
// asks for the next), an edit page, then empty ones; nullptr is the input, which
// may bring `logsPerInput` log lines. The feed's own thread stalls in its fetch:
// when its first cycle found the checker it keeps the feed, and the first
// Cycle makes a new publisher; a later one gives up on the input.
template <class Publisher>
struct Feed {
    Feed(Publisher* (*make)(), std::size_t logsPerInput) : make(make), logsPerInput(logsPerInput) {
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) {
            if (!t_fuzzing) return Answer::Stall();
            if (request.path == "/pc/inform/modify") return Answer::Ok(std::exchange(edit, kEmptyEdits));
            return served ? Answer::Fail() : (served = true, ++fetches, Answer::Ok(page));
        });
    }
    ~Feed() { DestroyAllPublisher(); }
    // Refreshes with each of `pages` and `editPage`; false when the feed's thread had it.
    bool Cycles(std::initializer_list<const char*> pages, const char* editPage = kEmptyEdits) {
        const std::string input(reinterpret_cast<const char*>(g_data), g_size);
        for (const char* refreshPage : pages) {
            inputs += !refreshPage + !editPage;
            int attempt = 0;
            for (; attempt < 100; ++attempt) {
                if (!publisher) publisher = make(), publisher->Subscribe(&checker), logs = Logs();
                page = refreshPage ? refreshPage : input, edit = editPage ? editPage : input, served = false;
                const int updates = checker.updates, fetched = fetches;
                publisher->Refresh();
                hostdouble::RunPendingTasks();
                if (fetches > fetched) {
                    Require(checker.updates == updates + 1 && checker.begins == checker.updates, "one update a cycle");
                    Require(Logs() - logs <= inputs * logsPerInput, "at most one log line per page");
                    break;
                }
                if (checker.updates > 0) return false;
                DestroyAllPublisher(), publisher = nullptr;
            }
            if (attempt == 100) return false;
        }
        return true;
    }
    Publisher* (*make)();
    std::size_t logsPerInput, logs = 0, inputs = 0;
    Publisher* publisher = nullptr;
    Checker checker;
    std::string page, edit;
    int fetches = 0;
    bool served = false;
};

const char kTelegraphSeedPage[] =  // three telegraphs; the next page over them is incremental
    "{\"errno\":0,\"time\":1000,\"data\":{\"list\":["
    "{\"id\":900001,\"type\":-1,\"operation\":\"add\",\"operation_time\":500,"
    "\"info\":{\"id\":900001,\"sort_score\":3000,\"status\":1}},"
    "{\"id\":900002,\"type\":-1,\"operation\":\"add\",\"operation_time\":499,"
    "\"info\":{\"id\":900002,\"sort_score\":2000,\"status\":1}},"
    "{\"id\":900003,\"type\":-1,\"operation\":\"add\",\"operation_time\":498,"
    "\"info\":{\"id\":900003,\"sort_score\":1000,\"status\":1}}]}}";
const char kDepthSeedPage[] =  // two articles, ids far from what a fuzzer writes first
    "{\"errno\":0,\"data\":{\"banner\":[{\"title\":\"b\",\"img\":\"i\",\"jump\":\"j\"}],\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":9000000,\"status\":1},"
    "{\"type\":2,\"id\":900002,\"sort_score\":8000000,\"status\":1,\"is_top\":true}]}}";
using Telegraph = Feed<ITelegraphPublisher>;
using Depth = Feed<IDepthPublisher>;

// A column with three articles at sort_score `scale` * 3, 2, 1 cached; the seed corpora were written against these.
std::string ColumnPage(int scale) {
    std::string page = "{\"errno\":0,\"data\":{\"list\":[";
    for (int i = 1; i <= 3; ++i)
        page += std::string(i > 1 ? "," : "") + "{\"type\":" + (i == 2 ? "3" : "2") + ",\"id\":90000" +
                std::to_string(i) + ",\"sort_score\":" + std::to_string((4 - i) * scale) + "}";
    return page + "]}}";
}
IExclusivePublisher* Column(int scale) {
    GetExclusivePublisher()->RequestArticleList(kColumn, ExclusiveArticleCallback());
    hostdouble::CompleteNext(true, ColumnPage(scale));
    return GetExclusivePublisher();
}

// A subject's request; its one answer publishes at most once.
template <class T, class Publisher, class Request>
void Subject(Publisher* publisher, Request request) {
    testsupport::Recorder<T> subscriber;
    publisher->Attach(&subscriber);
    request(publisher);
    const std::size_t before = subscriber.count();
    Respond(false);
    Require(subscriber.count() <= before + 1, "one publish per response");
    publisher->Detach(&subscriber);
}

const struct Reader {
    const char* name;  // the target and its corpus folder
    void (*read)();
} kReaders[] = {
    {"counters_fuzzer",  // the "time" just stored goes out with the next request
     [] {
         GetCommonPublisher()->RequestCountInfo({12, 15, 99}, Called());
         Respond(false);
         GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
         Require(hostdouble::Requests().back().has("time"), "time is always sent");
     }},
    {"telegraph_older_page_fuzzer",
     [] {
         GetTelegraphPublisher()->RequestEarlierTelegraph(5, [](bool failed, auto&&) {
             ++g_calls, Require(!failed, "only a failed transfer is reported as failed");
         });
         Respond(true);
     }},
    {"telegraph_refresh_fuzzer",  // a first load, then an incremental page; the periodic refresh logs nothing
     [] {
         Telegraph(&GetTelegraphPublisher, 0).Cycles({nullptr, kTelegraphSeedPage, nullptr});
     }},
    {"depth_refresh_fuzzer",  // on an empty cache, then over a known one
     [] {
         Depth(&GetDepthPublisher, 1).Cycles({nullptr, kDepthSeedPage, nullptr});
     }},
    {"depth_inform_modify_fuzzer",  // edits from the cursor that the first cycle seeds
     [] {
         Depth(&GetDepthPublisher, 1).Cycles({kDepthSeedPage, kDepthSeedPage, kDepthSeedPage}, nullptr);
     }},
    {"depth_older_page_fuzzer",
     [] {
         Depth depth(&GetDepthPublisher, 1);
         if (!depth.Cycles({kDepthSeedPage})) return;
         hostdouble::TakeNext();  // the counters of the seed articles
         depth.publisher->RequestEarlierDepth(Called());
         Respond(true);
         ++depth.inputs, depth.Cycles({kDepthSeedPage});
     }},
    {"exclusive_fuzzer",  // the first byte picks the request; the column must then still refresh
     [] {
         if (g_size == 0) return;
         hostdouble::SetSyncHandler([](const hostdouble::Request&) { return Answer::Ok(kEmptyEdits); });
         IExclusivePublisher* exclusive = Column(1000);
         if (g_data[0] % 4 == 0) exclusive->RequestColumnList(Called());
         if (g_data[0] % 4 == 1) exclusive->RequestArticleList(kColumn, ColumnCalled());
         if (g_data[0] % 4 == 2) exclusive->RequestEarlierArticleList(kColumn, 1, ColumnCalled());
         if (g_data[0] % 4 == 3) exclusive->RequestArticleListOperation(kColumn, ColumnCalled());
         Respond(true, 1);
         exclusive->RequestArticleListOperation(kColumn, ExclusiveUpdateCallback());
         hostdouble::CompleteNext(true, ColumnPage(1000));
     }},
    {"exclusive_inform_modify_fuzzer",  // the edit pages of an incremental refresh, twice
     [] {
         IExclusivePublisher* exclusive = Column(1000000);
         for (int pass = 0; pass < 2; ++pass) {
             hostdouble::QueueSyncAnswer(Answer::Ok(std::string(reinterpret_cast<const char*>(g_data), g_size)));
             hostdouble::QueueSyncAnswer(Answer::Ok(kEmptyEdits));
             const std::size_t logs = Logs();
             g_calls = 0;
             exclusive->RequestArticleListOperation(kColumn, ColumnCalled());
             // One article newer than the cache, then the edits.
             hostdouble::CompleteNext(
                 true, "{\"errno\":0,\"data\":{\"list\":[{\"type\":2,\"id\":900004,\"sort_score\":4000000}]}}");
             Require(g_calls == 1 && Logs() <= logs + 1, "one callback, at most one log line per page");
             hostdouble::Reset();  // the empty page may still be queued
         }
     }},
    {"essence_fuzzer",  // the worker sends one of its own as well, with the same completion
     [] {
         Subject<std::list<InformationEssence> >(GetInformationEssence(),
                                                 [](auto p) { p->FetchInformationEssence(0, 0, 50); });
     }},
    {"timeline_fuzzer",  // the first byte picks red dots, the events of a day or an event's detail
     [] {
         if (g_size == 0) return;
         if (g_data[0] % 3 == 0) GetTimelinePublisher()->RequestReddot(L"2026-12-01", L"2026-12-31", Called());
         if (g_data[0] % 3 == 1) GetTimelinePublisher()->RequestEventList(L"2026-12-06", Called());
         if (g_data[0] % 3 == 2) GetTimelinePublisher()->RequestEventDetail(42, Called());
         Respond(true, 1);
     }},
    {"stock_announcement_fuzzer",
     [] {
         Subject<StockAnnouncement>(GetStockAnnouncement(),
                                    [](auto p) { p->RequestStockAnnouncementList(L"600000", 1, 20); });
     }},
    {"stock_land_mine_fuzzer",
     [] {
         Subject<StockLandMine>(GetStockLandMine(),
                                [](auto p) { p->RequestStockLandMineList(L"600000", 20261201, 0); });
     }},
    {"stock_news_fuzzer",
     [] { Subject<StockNewsInfo>(GetStockNews(), [](auto p) { p->RequestStockNewsList(1, L"600000", 0, 0, 20); }); }},
    {"stock_unusual_trading_fuzzer",
     [] {
         Subject<StockUnusualTradingInfo>(GetStockUnusualTrading(),
                                          [](auto p) { p->FetchStockUnusualTrading(L"600000"); });
     }},
};

void (*g_read)() = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const Reader& reader : kReaders)
        if (std::strcmp(reader.name, kFuzzReader) == 0) g_read = reader.read;
    Require(g_read != nullptr, "the target names a reader of the table");
    testsupport::SilenceQtDebug();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    t_fuzzing = true, g_data = data, g_size = size, g_calls = 0;
    hostdouble::Reset();
    hostdouble::SetSyncHandler([](const hostdouble::Request&) { return t_fuzzing ? Answer::Fail() : Answer::Stall(); });
    g_read();
    hostdouble::ReleaseStalls();
    DestroyAllPublisher();
    hostdouble::Reset();
    return 0;
}
