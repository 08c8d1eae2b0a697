// The libFuzzer driver of every body the library reads from the network. Each
// input is a response body handed to a publisher through the host double, on a
// clean double and fresh publishers; a broken invariant aborts, which libFuzzer
// reports like a sanitizer finding. fuzz_entry.cpp, compiled once per target,
// names the reader of the table below that the binary runs.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <QString>
#include <QtGlobal>

#include "news_center/feeds/depth_publisher.h"
#include "news_center/feeds/telegraph_publisher.h"
#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"

extern const char kFuzzReader[];

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

// One input's world: a reset double before, every publisher destroyed and the
// double reset again after, so inputs do not leak state into each other.
struct Round {
    Round() { hostdouble::Reset(); }
    ~Round() {
        hostdouble::ReleaseStalls();
        DestroyAllPublisher();
        hostdouble::Reset();
    }
};

// The body bytes exactly as libFuzzer holds them, so AddressSanitizer sees any
// read past the end.
void CompleteWith(const std::uint8_t* data, std::size_t size) {
    hostdouble::CompleteNextRaw(true, reinterpret_cast<const char*>(data), static_cast<long long>(size));
}

std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::size_t LogCount() { return hostdouble::Logs().size(); }

const char kEmptyEdits[] = "{\"errno\":0,\"data\":[]}";

// The refresh threads run their first cycle at once; with nobody subscribed it
// does nothing and the thread then sleeps for minutes. Waiting for it keeps the
// cycles of an input on the fuzzing thread.
template <class Publisher>
void WaitForIdleCycle(const Publisher* publisher) {
    while (publisher->threadCycleCount() == 0)
        std::this_thread::yield();
}

template <class Record>
bool UniqueIds(const std::list<Record>& records) {
    std::set<int> ids;
    for (const Record& record : records) {
        if (!ids.insert(record.id).second)
            return false;
    }
    return true;
}

// Newest sort_score first, each id at most once: the rule of every article and
// telegraph list the library hands out. A cache may leave that order (an edit
// overwrites a telegraph where it stands), hence UniqueIds alone for caches.
template <class Record>
bool SortedAndUnique(const std::list<Record>& records) {
    const Record* previous = nullptr;
    for (const Record& record : records) {
        if (previous && previous->sort_score < record.sort_score)
            return false;
        previous = &record;
    }
    return UniqueIds(records);
}

bool Unique(const std::list<int>& ids) { return std::set<int>(ids.begin(), ids.end()).size() == ids.size(); }

// A subject subscriber that keeps the last value; called on the fuzzing thread.
template <class T>
struct Subscriber : IUpdate1<T> {
    int updates = 0;
    T last;
    void Update(const T& value) override {
        ++updates;
        last = value;
    }
};

// The stock readers: one request for code 600000, one completion.
template <class T, class Publisher>
void StockReader(Publisher* publisher, const std::function<void(Publisher*)>& request, const std::uint8_t* data,
                 std::size_t size) {
    Subscriber<T> subscriber;
    publisher->Attach(&subscriber);
    request(publisher);
    CompleteWith(data, size);
    Require(subscriber.updates <= 2, "one publish per response");
    Require(subscriber.updates == 1 || subscriber.last.stock == L"600000", "tagged with the requested code");
    Require(LogCount() <= 1, "at most one log line per response");
}

// --- depth -------------------------------------------------------------------

struct DepthObserver : IDepthObserver {
    int begins = 0;
    int updates = 0;
    bool listsInOrder = true;
    void OnDepthRefreshBegin() override { ++begins; }
    void OnDepthUpdate(bool, const DepthUpdate& changes) override {
        ++updates;
        listsInOrder = listsInOrder && SortedAndUnique(changes.added) && Unique(changes.removed);
    }
    void OnDepthCountersUpdate(CountInfoMap) override {}
};

// Two articles, ids far from what a fuzzer writes first.
const char kDepthSeedPage[] =
    "{\"errno\":0,\"data\":{\"banner\":[{\"title\":\"b\",\"img\":\"i\",\"jump\":\"j\"}],\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":9000000,\"status\":1},"
    "{\"type\":2,\"id\":900002,\"sort_score\":8000000,\"status\":1,\"is_top\":true}]}}";

// The depth publisher with an observer of the script's own, which every cycle
// checks. Answers get_depth with `depthBody`, and inform/modify pages from a
// queue that ends in an empty page, so a full fuzzed page cannot page forever.
class DepthScript {
public:
    DepthScript() : depth_(static_cast<CDepthPublisher*>(GetDepthPublisher())) {
        WaitForIdleCycle(depth_);
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (request.path == "/pc/information/get_depth")
                return hostdouble::Answer::Ok(depthBody_);
            if (informBodies_.empty())
                return hostdouble::Answer::Ok(kEmptyEdits);
            const std::string body = informBodies_.front();
            informBodies_.pop_front();
            return hostdouble::Answer::Ok(body);
        });
        depth_->Subscribe(&observer_);
    }

    CDepthPublisher* depth() const { return depth_; }

    void Cycle(const std::string& depthBody, const std::string& informBody = "") {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            depthBody_ = depthBody;
            informBodies_.clear();
            if (!informBody.empty())
                informBodies_.push_back(informBody);
        }
        const int updates = observer_.updates;
        depth_->Refresh();
        hostdouble::RunPendingTasks();
        Require(observer_.updates == updates + 1, "one update per cycle");
        Require(observer_.begins == observer_.updates, "each update follows its begin");
        Require(observer_.listsInOrder, "change sets sorted with unique ids");
    }

private:
    CDepthPublisher* depth_;
    std::mutex mutex_;
    std::string depthBody_;
    std::deque<std::string> informBodies_;
    DepthObserver observer_;
};

// The depth refresh page (get_depth through GetSync), on an empty cache and again over a known one.
void DepthRefresh(const std::uint8_t* data, std::size_t size) {
    DepthScript script;
    const std::string body = Text(data, size);
    script.Cycle(body);
    Require(LogCount() <= 1, "at most one log line per page");
    script.Cycle(kDepthSeedPage);
    script.Cycle(body);
    Require(LogCount() <= 2, "at most one log line per page");
}

// The depth older page (get_depth through GetAsyn), asked for over a loaded cache.
void DepthOlderPage(const std::uint8_t* data, std::size_t size) {
    DepthScript script;
    script.Cycle(kDepthSeedPage);
    hostdouble::TakeNext();  // the counters of the seed articles
    int calls = 0;
    bool newArticlesOnly = true;
    script.depth()->RequestEarlierDepth([&](const std::list<DepthArticle>& page) {
        ++calls;
        std::set<int> ids;
        for (const DepthArticle& article : page)
            newArticlesOnly = newArticlesOnly && article.id != 900001 && article.id != 900002 &&
                              ids.insert(article.id).second;
    });
    CompleteWith(data, size);
    Require(calls == 1, "the callback runs once");
    Require(newArticlesOnly, "the callback gets each new article once");
    Require(LogCount() <= 1, "at most one log line per response");
    script.Cycle(kDepthSeedPage);
}

// An inform-modify page read by the depth refresh: the first cycle loads the
// cache, the next ones fold in edits from the cursor it seeds.
void DepthInformModify(const std::uint8_t* data, std::size_t size) {
    DepthScript script;
    script.Cycle(kDepthSeedPage);
    const std::string body = Text(data, size);
    script.Cycle(kDepthSeedPage, body);
    Require(LogCount() <= 1, "at most one log line per page");
    script.Cycle(kDepthSeedPage, body);
    Require(LogCount() <= 2, "at most one log line per page");
}

// --- telegraph -----------------------------------------------------------------

struct TelegraphObserver : ITelegraphObserver {
    int begins = 0;
    int updates = 0;
    bool listsInOrder = true;
    bool unique = true;
    void OnTelegraphRefreshBegin() override { ++begins; }
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override {
        ++updates;
        unique = unique && UniqueIds(changes.added);
        listsInOrder = listsInOrder && SortedAndUnique(changes.added) && SortedAndUnique(changes.modified) &&
                       Unique(changes.removedIds);
    }
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
};

// Three visible telegraphs; leaves the cache non-empty, so the next page is incremental.
const char kTelegraphSeedPage[] =
    "{\"errno\":0,\"time\":1000,\"data\":{\"list\":["
    "{\"id\":900001,\"type\":-1,\"operation\":\"add\",\"operation_time\":500,"
    "\"info\":{\"id\":900001,\"sort_score\":3000,\"status\":1}},"
    "{\"id\":900002,\"type\":-1,\"operation\":\"add\",\"operation_time\":499,"
    "\"info\":{\"id\":900002,\"sort_score\":2000,\"status\":1}},"
    "{\"id\":900003,\"type\":-1,\"operation\":\"add\",\"operation_time\":498,"
    "\"info\":{\"id\":900003,\"sort_score\":1000,\"status\":1}}]}}";

// The refresh pages (batch_show through GetSync): a first load, then an incremental page over a known cache.
void TelegraphRefresh(const std::uint8_t* data, std::size_t size) {
    CTelegraphPublisher* telegraph = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
    WaitForIdleCycle(telegraph);
    TelegraphObserver observer;
    telegraph->Subscribe(&observer);
    const auto cycle = [&](const std::string& body) {
        const int updates = observer.updates;
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body));
        telegraph->Refresh();
        hostdouble::RunPendingTasks();
        Require(observer.updates == updates + 1, "one update per cycle");
        Require(observer.begins == observer.updates, "each update follows its begin");
    };
    const std::string body = Text(data, size);
    cycle(body);
    cycle(kTelegraphSeedPage);
    cycle(body);
    Require(observer.listsInOrder, "change sets sorted with unique ids");
    Require(LogCount() == 0, "the periodic refresh logs nothing");
    // A newcomer is handed the whole cache as `added`.
    TelegraphObserver newcomer;
    telegraph->Subscribe(&newcomer);
    Require(newcomer.unique, "the cache holds each id once");
}

// The older page (batch_show through GetAsyn).
void TelegraphOlderPage(const std::uint8_t* data, std::size_t size) {
    CTelegraphPublisher* telegraph = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
    int calls = 0;
    bool failed = true;
    telegraph->RequestEarlierTelegraph(5, [&](bool isFailed, const std::list<TelegraphInfo>&) {
        ++calls;
        failed = isFailed;
    });
    CompleteWith(data, size);
    Require(calls == 1, "the callback runs once");
    Require(!failed, "only a failed transfer is reported as failed");
    Require(LogCount() <= 1, "at most one log line per response");

    WaitForIdleCycle(telegraph);
    TelegraphObserver newcomer;
    telegraph->Subscribe(&newcomer);
    Require(newcomer.updates <= 1, "a newcomer gets the cache once");
    Require(newcomer.unique, "the cache holds each id once");
    telegraph->Unsubscribe(&newcomer);
}

// --- exclusive -----------------------------------------------------------------

const int kColumn = 7;

// Three articles at sort_score `scale` * 3, 2, 1; the seed corpora were written against these.
std::string ExclusiveSeedPage(int scale) {
    std::string page = "{\"errno\":0,\"data\":{\"list\":[";
    for (int i = 1; i <= 3; ++i)
        page += std::string(i > 1 ? "," : "") + "{\"type\":" + (i == 2 ? "3" : "2") + ",\"id\":90000" +
                std::to_string(i) + ",\"sort_score\":" + std::to_string((4 - i) * scale) + "}";
    return page + "]}}";
}

IExclusivePublisher* ExclusiveWithCache(const std::string& seedPage) {
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    exclusive->RequestArticleList(kColumn, ExclusiveArticleCallback());
    hostdouble::CompleteNext(true, seedPage);
    return exclusive;
}

// The first byte picks the column list, a first page, an earlier page or the
// page of an incremental refresh; the rest is the body, landing on a column with a cache.
void Exclusive(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    // An incremental refresh also asks for edits: there are none.
    hostdouble::SetSyncHandler([](const hostdouble::Request&) { return hostdouble::Answer::Ok(kEmptyEdits); });
    const std::string seedPage = ExclusiveSeedPage(1000);
    IExclusivePublisher* exclusive = ExclusiveWithCache(seedPage);
    int calls = 0;
    const auto articles = [&calls](int column, const std::list<ExclusiveArticle>&) {
        ++calls;
        Require(column == kColumn, "the callback names its column");
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
            Require(column == kColumn, "the callback names its column");
            // `added` starts as the page as served, repeats and all; edits are folded in sorted.
            Require(SortedAndUnique(changes.modified), "modified sorted with unique ids");
            Require(Unique(changes.removed), "removed ids unique");
        });
        break;
    }
    CompleteWith(data + 1, size - 1);
    Require(calls == 1, "the callback runs once");
    Require(LogCount() <= 1, "at most one log line per response");
    // The column's state must still serve an incremental refresh.
    exclusive->RequestArticleListOperation(kColumn, ExclusiveUpdateCallback());
    hostdouble::CompleteNext(true, seedPage);
}

// An inform-modify page read by the incremental refresh of a column with a cache.
void ExclusiveInformModify(const std::uint8_t* data, std::size_t size) {
    IExclusivePublisher* exclusive = ExclusiveWithCache(ExclusiveSeedPage(1000000));
    const std::string body = Text(data, size);
    for (int pass = 0; pass < 2; ++pass) {
        // A full page asks for the next one: an empty page ends it.
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body));
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(kEmptyEdits));
        int calls = 0;
        exclusive->RequestArticleListOperation(kColumn, [&calls](int column, const ExclusiveUpdate& changes) {
            ++calls;
            Require(column == kColumn, "the callback names its column");
            Require(SortedAndUnique(changes.added), "added sorted with unique ids");
            Require(SortedAndUnique(changes.modified), "modified sorted with unique ids");
            Require(Unique(changes.removed), "removed ids unique");
        });
        // One article newer than the cache, then the refresh asks for edits.
        hostdouble::CompleteNext(
            true, "{\"errno\":0,\"data\":{\"list\":[{\"type\":2,\"id\":900004,\"sort_score\":4000000}]}}");
        Require(calls == 1, "the callback runs once");
        Require(LogCount() <= 1, "at most one log line per page");
        // The queue may still hold the empty page when the fuzzed one was short.
        hostdouble::Reset();
    }
}

// --- the rest --------------------------------------------------------------------

// The article counters: the "time" just stored goes out with the next request.
void Counters(const std::uint8_t* data, std::size_t size) {
    int calls = 0;
    GetCommonPublisher()->RequestCountInfo({12, 15, 99}, [&calls](const CountInfoMap&) { ++calls; });
    CompleteWith(data, size);
    Require(calls <= 1, "one answer per request");
    Require(LogCount() <= 1, "at most one log line per response");
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    Require(hostdouble::Requests().back().has("time"), "time is always sent");
}

void Essence(const std::uint8_t* data, std::size_t size) {
    IInformationEssence* essence = GetInformationEssence();
    Subscriber<std::list<InformationEssence> > subscriber;
    essence->Attach(&subscriber);
    // The worker sends one of its own as well; both have the same completion.
    essence->FetchInformationEssence(0, 0, 50);
    CompleteWith(data, size);
    Require(subscriber.updates <= 2, "one publish per response");
    Require(LogCount() <= 1, "at most one log line per response");
    essence->Detach(&subscriber);
}

// The first byte picks red dots, the events of a day or an event's detail; the rest is the body.
void Timeline(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    ITimelinePublisher* timeline = GetTimelinePublisher();
    int calls = 0;
    switch (data[0] % 3) {
    case 0:
        timeline->RequestReddot(L"2026-12-01", L"2026-12-31", [&calls](const std::list<TimelineReddot>&) { ++calls; });
        break;
    case 1:
        timeline->RequestEventList(L"2026-12-06", [&calls](const std::list<TimelineEvent>&) { ++calls; });
        break;
    default:
        timeline->RequestEventDetail(42, [&calls](const TimelineEventDetail&) { ++calls; });
        break;
    }
    CompleteWith(data + 1, size - 1);
    Require(calls == 1, "the callback runs once");
    Require(LogCount() <= 1, "at most one log line per response");
}

// One body answers a run of requests for one stock whose ranges grow the cache
// at its start, at its end and over all of it; a request inside a cached range
// is answered from the cache and must hold only items of its days.
void LandMine(const std::uint8_t* data, std::size_t size) {
    struct Range {
        unsigned long start;
        unsigned long end;
    };
    const Range kRanges[] = {
        {20261203, 20261205}, {20261204, 20261208}, {20261201, 20261206}, {20261202, 20261207}, {20261101, 0},
    };
    hostdouble::SetServerDate(20261210);
    IStockLandMine* publisher = GetStockLandMine();
    Subscriber<StockLandMine> subscriber;
    publisher->Attach(&subscriber);
    for (const Range& range : kRanges) {
        const std::size_t logs = LogCount();
        const int before = subscriber.updates;
        publisher->RequestStockLandMineList(L"600000", range.start, range.end);
        if (hostdouble::PendingCount() == 0) {
            Require(subscriber.updates == before + 2, "a cached answer follows the reset");
            const unsigned long last = range.end ? range.end : 20261210;
            const unsigned long long from = hostdouble::TimeOf(range.start, 0, 0, 0);
            const unsigned long long to = hostdouble::TimeOf(last, 23, 59, 59);
            for (const StockLandMineItem& item : subscriber.last.items)
                Require(from <= item.publish_time && item.publish_time <= to, "a cached answer holds only its days");
        } else {
            CompleteWith(data, size);
            Require(subscriber.updates <= before + 2, "one publish per response");
            Require(LogCount() <= logs + 1, "at most one log line per response");
        }
        Require(subscriber.last.stock == L"600000", "tagged with the requested code");
    }
}

struct Reader {
    const char* name;  // the target and its corpus folder
    void (*read)(const std::uint8_t*, std::size_t);
};

const Reader kReaders[] = {
    {"counters_fuzzer", Counters},
    {"telegraph_older_page_fuzzer", TelegraphOlderPage},
    {"telegraph_refresh_fuzzer", TelegraphRefresh},
    {"depth_refresh_fuzzer", DepthRefresh},
    {"depth_older_page_fuzzer", DepthOlderPage},
    {"depth_inform_modify_fuzzer", DepthInformModify},
    {"exclusive_fuzzer", Exclusive},
    {"exclusive_inform_modify_fuzzer", ExclusiveInformModify},
    {"essence_fuzzer", Essence},
    {"timeline_fuzzer", Timeline},
    {"stock_announcement_fuzzer",
     [](const std::uint8_t* data, std::size_t size) {
         StockReader<StockAnnouncement, IStockAnnouncement>(
             GetStockAnnouncement(), [](IStockAnnouncement* p) { p->RequestStockAnnouncementList(L"600000", 1, 20); },
             data, size);
     }},
    {"stock_land_mine_fuzzer", LandMine},
    {"stock_news_fuzzer",
     [](const std::uint8_t* data, std::size_t size) {
         StockReader<StockNewsInfo, IStockNews>(
             GetStockNews(), [](IStockNews* p) { p->RequestStockNewsList(1, L"600000", 0, 0, 20); }, data, size);
     }},
    {"stock_unusual_trading_fuzzer",
     [](const std::uint8_t* data, std::size_t size) {
         StockReader<StockUnusualTradingInfo, IStockUnusualTrading>(
             GetStockUnusualTrading(), [](IStockUnusualTrading* p) { p->FetchStockUnusualTrading(L"600000"); },
             data, size);
     }},
};

void (*g_read)(const std::uint8_t*, std::size_t) = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const Reader& reader : kReaders) {
        if (std::strcmp(reader.name, kFuzzReader) == 0)
            g_read = reader.read;
    }
    Require(g_read != nullptr, "the target names a reader of the table");
    // The telegraph parser traces every id to the Qt debug log; at millions of
    // inputs that output would be most of the run.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Round round;
    g_read(data, size);
    return 0;
}
