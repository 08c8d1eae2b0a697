// The libFuzzer driver: each input is a response body handed to fresh publishers through the host double;
// a broken invariant aborts. fuzz_entry.cpp, compiled once per target, names the row of kReaders it runs.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "tests/stress_support.h"

extern const char kFuzzReader[];

namespace {

using hostdouble::Answer;
using stress::t_host;

// The input as libFuzzer holds it, so AddressSanitizer sees a read past its end.
const std::uint8_t* g_data = nullptr;
std::size_t g_size = 0;
int g_calls = 0;  // of the callback the input answers
const char kEmptyEdits[] = "{\"errno\":0,\"data\":[]}";
const int kColumn = 7;
const std::vector<unsigned int> kCountIds = {12, 15, 99};

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

std::size_t Logs() { return hostdouble::Logs().size(); }
auto Called() {
    return [](auto&&...) { ++g_calls; };
}

// Answers the oldest request with the input past its first `skip` bytes.
void Respond(bool once, std::size_t skip = 0) {
    const std::size_t logs = Logs();
    hostdouble::CompleteNextRaw(true, reinterpret_cast<const char*>(g_data) + skip,
                                static_cast<long long>(g_size - skip));
    Require(once ? g_calls == 1 : g_calls <= 1, "the callback runs once");
    Require(Logs() <= logs + 1, "at most one log line per response");
}

// A feed refreshed on the fuzzing thread with each page (nullptr: the input, which may bring `logsPerInput` log
// lines) and then failures (a full page asks for the next). The feed's own thread stalls in its fetch: if its
// first cycle found the watcher it keeps the feed, and the first Cycles makes a new publisher.
template <class Publisher>
struct Feed {
    Feed(Publisher* (*make)(), std::size_t logsPerInput, const char* editPage = kEmptyEdits)
        : make(make), logsPerInput(logsPerInput), editPage(editPage) {
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) {
            if (!t_host) return Answer::Stall();
            if (request.path == "/pc/inform/modify") return Answer::Ok(std::exchange(edit, kEmptyEdits));
            if (served) return Answer::Fail();
            served = true;
            ++fetches;
            return Answer::Ok(page);
        });
    }
    ~Feed() { DestroyAllPublisher(); }
    // False when the feed's thread had it.
    template <class... Pages>
    bool Cycles(Pages... pages) {
        const std::string input(reinterpret_cast<const char*>(g_data), g_size);
        for (const char* refreshPage : {static_cast<const char*>(pages)...}) {
            inputs += !refreshPage + !editPage;
            for (int attempt = 0;; ++attempt) {
                if (attempt == 100) return false;
                if (!publisher) {
                    publisher = make();
                    publisher->Subscribe(&watcher);
                    logs = Logs();
                }
                page = refreshPage ? refreshPage : input;
                edit = editPage ? editPage : input;
                served = false;
                const int calls = watcher.hostCalls(), fetched = fetches;
                publisher->Refresh();
                hostdouble::RunPendingTasks();
                if (fetches > fetched) {
                    Require(watcher.hostCalls() == calls + 2, "a begin and an update a cycle");
                    Require(Logs() - logs <= inputs * logsPerInput, "at most one log line per page");
                    break;
                }
                if (watcher.hostCalls() > 0) return false;
                DestroyAllPublisher();
                publisher = nullptr;
            }
        }
        return true;
    }
    Publisher* (*make)();
    std::size_t logsPerInput, logs = 0, inputs = 0;
    const char* editPage;
    Publisher* publisher = nullptr;
    stress::Watcher watcher;
    std::string page, edit;
    int fetches = 0;
    bool served = false;
};

// Three telegraphs, the next page over them incremental; two depth articles, ids far from what a fuzzer writes first.
const std::string kTelegraphSeed =
    body::RollPage(1000, {body::Element("add", 900001, 3000, 1, 500), body::Element("add", 900002, 2000, 1, 499),
                          body::Element("add", 900003, 1000, 1, 498)});
const char kDepthSeed[] =
    "{\"errno\":0,\"data\":{\"banner\":[{\"title\":\"b\",\"img\":\"i\",\"jump\":\"j\"}],\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":9000000,\"status\":1},"
    "{\"type\":2,\"id\":900002,\"sort_score\":8000000,\"status\":1,\"is_top\":true}]}}";

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
template <class Publisher, class Request, class... Args>
void Subject(Publisher* publisher, Request request, Args... args) {
    stress::Watcher subscriber;
    publisher->Attach(&subscriber);
    (publisher->*request)(args...);
    const int before = subscriber.calls();
    Respond(false);
    Require(subscriber.calls() <= before + 1, "one publish per response");
    publisher->Detach(&subscriber);
}

const struct Reader {
    const char* name;  // the target and its corpus folder
    void (*read)();
} kReaders[] = {
    {"counters_fuzzer", [] { GetCommonPublisher()->RequestCountInfo(kCountIds, Called()), Respond(false); }},
    {"telegraph_older_page_fuzzer",
     [] { GetTelegraphPublisher()->RequestEarlierTelegraph(5, Called()), Respond(true); }},
    // A first load, then an incremental page; the periodic refresh logs nothing.
    {"telegraph_refresh_fuzzer",
     [] { Feed(&GetTelegraphPublisher, 0).Cycles(nullptr, kTelegraphSeed.c_str(), nullptr); }},
    {"depth_refresh_fuzzer", [] { Feed(&GetDepthPublisher, 1).Cycles(nullptr, kDepthSeed, nullptr); }},
    // Edits from the cursor that the first cycle seeds.
    {"depth_inform_modify_fuzzer",
     [] { Feed(&GetDepthPublisher, 1, nullptr).Cycles(kDepthSeed, kDepthSeed, kDepthSeed); }},
    {"depth_older_page_fuzzer",
     [] {
         Feed depth(&GetDepthPublisher, 1);
         if (!depth.Cycles(kDepthSeed)) return;
         hostdouble::TakeNext();  // the counters of the seed articles
         depth.publisher->RequestEarlierDepth(Called());
         Respond(true);
         ++depth.inputs;
         depth.Cycles(kDepthSeed);
     }},
    {"exclusive_fuzzer",  // the first byte picks the request; the column must then still refresh
     [] {
         if (g_size == 0) return;
         hostdouble::SetSyncHandler([](const hostdouble::Request&) { return Answer::Ok(kEmptyEdits); });
         IExclusivePublisher* exclusive = Column(1000);
         if (g_data[0] % 4 == 0) exclusive->RequestColumnList(Called());
         if (g_data[0] % 4 == 1) exclusive->RequestArticleList(kColumn, Called());
         if (g_data[0] % 4 == 2) exclusive->RequestEarlierArticleList(kColumn, 1, Called());
         if (g_data[0] % 4 == 3) exclusive->RequestArticleListOperation(kColumn, Called());
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
             exclusive->RequestArticleListOperation(kColumn, Called());
             // One article newer than the cache, then the edits.
             hostdouble::CompleteNext(
                 true, "{\"errno\":0,\"data\":{\"list\":[{\"type\":2,\"id\":900004,\"sort_score\":4000000}]}}");
             Require(g_calls == pass + 1 && Logs() <= logs + 1, "one callback, at most one log line per page");
             hostdouble::Reset();  // the empty page may still be queued
         }
     }},
    {"timeline_fuzzer",  // the first byte picks red dots, the events of a day or an event's detail
     [] {
         if (g_size == 0) return;
         if (g_data[0] % 3 == 0) GetTimelinePublisher()->RequestReddot(L"2026-12-01", L"2026-12-31", Called());
         if (g_data[0] % 3 == 1) GetTimelinePublisher()->RequestEventList(L"2026-12-06", Called());
         if (g_data[0] % 3 == 2) GetTimelinePublisher()->RequestEventDetail(42, Called());
         Respond(true, 1);
     }},
    // The essence worker sends one request of its own as well, with the same completion.
    {"essence_fuzzer",
     [] { Subject(GetInformationEssence(), &IInformationEssence::FetchInformationEssence, 0, 0, 50); }},
    {"stock_announcement_fuzzer",
     [] { Subject(GetStockAnnouncement(), &IStockAnnouncement::RequestStockAnnouncementList, L"600000", 1, 20); }},
    {"stock_land_mine_fuzzer",
     [] { Subject(GetStockLandMine(), &IStockLandMine::RequestStockLandMineList, L"600000", 20261201, 0); }},
    {"stock_news_fuzzer", [] { Subject(GetStockNews(), &IStockNews::RequestStockNewsList, 1, L"600000", 0, 0, 20); }},
    {"stock_unusual_trading_fuzzer",
     [] { Subject(GetStockUnusualTrading(), &IStockUnusualTrading::FetchStockUnusualTrading, L"600000"); }},
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
    t_host = true;
    g_data = data;
    g_size = size;
    g_calls = 0;
    hostdouble::Reset();
    hostdouble::SetSyncHandler([](const hostdouble::Request&) { return t_host ? Answer::Fail() : Answer::Stall(); });
    g_read();
    hostdouble::ReleaseStalls();
    DestroyAllPublisher();
    hostdouble::Reset();
    return 0;
}
