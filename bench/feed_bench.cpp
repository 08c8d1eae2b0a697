// Per-response handling of each publisher, beside the bare parse of the same
// bytes: the response is taken from the host double and delivered on this
// thread; its handling (parse, record conversion, merge into the cache,
// delivery to a subscriber that does nothing) is what is timed.

#include <mutex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_bodies.h"
#include "bench/bench_support.h"
#include "bench/feed_rigs.h"

using benchsupport::FloorComparison;
using benchsupport::NullSubscriber;

namespace {

const int kResetEvery = 1000;  // requests the double records before a reset

// An asynchronous request answered with `body`: `send` issues it (untimed), its
// completion runs timed.
template <class Send>
void RunCompletions(benchmark::State& state, const std::string& body, Send send) {
    benchsupport::ResetDouble();
    FloorComparison compare;
    int sinceReset = 0;
    for (auto _ : state) {
        send();
        HttpCompletion completion = hostdouble::TakeNext();
        compare.ParseFloor(body);
        compare.Time(state, [&] { completion(true, body.data(), static_cast<long long>(body.size())); });
        if (++sinceReset == kResetEvery) {
            benchsupport::ResetDouble();
            sinceReset = 0;
        }
    }
    compare.Report(state);
}

// --- telegraph and depth: periodic refreshes, synchronous ------------------------

void BM_Telegraph_Refresh(benchmark::State& state) {
    benchrig::TelegraphRig& rig = benchrig::TelegraphRigOf(500);
    const std::string empty = benchrig::TelegraphRig::EmptyPage();
    FloorComparison compare;
    for (auto _ : state) {
        const std::string page = rig.NextPage();
        compare.ParseFloor(page);
        compare.ParseFloor(empty);  // a full page is followed by a second request
        rig.Prepare(page);
        compare.Time(state, [&] { rig.Run(); });
    }
    compare.Report(state);
}
BENCHMARK(BM_Telegraph_Refresh)->UseManualTime()->Unit(benchmark::kMicrosecond);

// An older page of 100 telegraphs, answered again and again: after the first
// answer every telegraph is cached, so each is converted, refused by the cache
// and handed to the callback.
void BM_Telegraph_OlderPage(benchmark::State& state) {
    ITelegraphPublisher* publisher = GetTelegraphPublisher();
    std::vector<std::string> elements;
    for (int id = 100; id > 0; --id)
        elements.push_back(benchbody::RollElement("add", id, 1, 1764900000ULL + static_cast<unsigned long long>(id)));
    const TelegraphListCallback callback = [](bool, const std::list<TelegraphInfo>& page) {
        benchmark::DoNotOptimize(&page);
    };
    RunCompletions(state, benchbody::RollPage(elements),
                   [&] { publisher->RequestEarlierTelegraph(1764990000, callback); });
}
BENCHMARK(BM_Telegraph_OlderPage)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A get_depth page of 20 with an inform-modify page of 15 or 100 entries.
void BM_Depth_Refresh(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    benchrig::DepthRig& rig = benchrig::DepthRigOf(200, entries);
    const std::string emptyInform = benchbody::InformPage(std::vector<std::string>());
    FloorComparison compare;
    for (auto _ : state) {
        std::string depth;
        std::string inform;
        rig.NextAnswers(depth, inform);
        compare.ParseFloor(depth);
        compare.ParseFloor(inform);
        if (entries >= 100)
            compare.ParseFloor(emptyInform);
        rig.Prepare(depth, inform);
        compare.Time(state, [&] { rig.Run(); });
    }
    compare.Report(state);
}
BENCHMARK(BM_Depth_Refresh)->Arg(15)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What the double's own GetSync adds to the timed handling of the two feeds that
// fetch synchronously: it records the request and copies the answer into the
// body, work a real transfer does outside the library. A body of `kB` kB.
void BM_Double_GetSync(benchmark::State& state) {
    const std::string body(static_cast<std::size_t>(state.range(0)) * 1024, ' ');
    const auto serve = [&body](const hostdouble::Request&) { return hostdouble::Answer::Ok(body); };
    benchsupport::ResetDouble(serve);
    int sinceReset = 0;
    for (auto _ : state) {
        std::vector<char> received;
        benchmark::DoNotOptimize(GetSync(L"https://example.test/pc/roll/get_roll_list?rn=100", received,
                                         HttpHeaderMap(), 30));
        if (++sinceReset == kResetEvery) {
            state.PauseTiming();
            benchsupport::ResetDouble(serve);
            sinceReset = 0;
            state.ResumeTiming();
        }
    }
    benchsupport::ResetDouble();
}
BENCHMARK(BM_Double_GetSync)->Arg(0)->Arg(20)->Arg(25)->Arg(83)->Arg(133)->Unit(benchmark::kMicrosecond);

// --- exclusive columns -------------------------------------------------------------

std::vector<std::string> ColumnArticles(int columnId, int newest, int count) {
    std::vector<std::string> articles;
    for (int id = newest; id > newest - count; --id)
        articles.push_back(benchbody::ExclusiveArticle(id, columnId, benchbody::ScoreOf(id)));
    return articles;
}

// The first page of a column again: every article is already cached.
void BM_Exclusive_ArticlePage(benchmark::State& state) {
    IExclusivePublisher* publisher = GetExclusivePublisher();
    const int column = 7;
    const std::string body = benchbody::ArticleListPage(ColumnArticles(column, 2000000, 15));
    const ExclusiveArticleCallback callback = [](int, const std::list<ExclusiveArticle>& page) {
        benchmark::DoNotOptimize(&page);
    };
    RunCompletions(state, body, [&] { publisher->RequestArticleList(column, callback); });
}
BENCHMARK(BM_Exclusive_ArticlePage)->UseManualTime()->Unit(benchmark::kMicrosecond);

// An incremental refresh: 3 new articles on a page of 15, then an inform-modify
// page of 15 or 100 entries (3 deletes of the oldest, the rest edits, each of
// another article).
void BM_Exclusive_Refresh(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    IExclusivePublisher* publisher = GetExclusivePublisher();
    // A column of its own for every run, so that no earlier run's cache counts.
    static int runs = 0;
    const int column = 100 + runs++;
    int hi = 3000000;  // cached ids [hi - 15, hi)
    unsigned long long operationTime = 1764900000;

    std::mutex mutex;
    std::string informPage;
    bool informServed = true;
    const std::string emptyInform = benchbody::InformPage(std::vector<std::string>());
    const auto serve = [&](const hostdouble::Request&) {
        std::lock_guard<std::mutex> lock(mutex);
        if (informServed)
            return hostdouble::Answer::Ok(emptyInform);
        informServed = true;
        return hostdouble::Answer::Ok(informPage);
    };
    benchsupport::ResetDouble(serve);
    const ExclusiveUpdateCallback callback = [](int, const ExclusiveUpdate& update) {
        benchmark::DoNotOptimize(&update);
    };
    publisher->RequestArticleList(column, ExclusiveArticleCallback());
    hostdouble::CompleteNext(true, benchbody::ArticleListPage(ColumnArticles(column, hi - 1, 15)));

    FloorComparison compare;
    int sinceReset = 0;
    for (auto _ : state) {
        const std::string page = benchbody::ArticleListPage(ColumnArticles(column, hi + 2, 15));
        std::vector<std::string> informEntries;
        for (int id = hi - 15; id < hi - 12; ++id) {
            informEntries.push_back(benchbody::InformEntry(
                "del", id, 2, ++operationTime, benchbody::ExclusiveArticle(id, column, benchbody::ScoreOf(id), 0)));
        }
        for (int k = 0; k < entries - 3; ++k) {
            // The 12 cached articles the page does not delete, then others of the column.
            const int id = k < 12 ? hi - 1 - k : 4000000 + k;
            informEntries.push_back(benchbody::InformEntry(
                "modify", id, 2, ++operationTime, benchbody::ExclusiveArticle(id, column, benchbody::ScoreOf(id))));
        }
        hi += 3;
        {
            std::lock_guard<std::mutex> lock(mutex);
            informPage = benchbody::InformPage(informEntries);
            informServed = false;
        }
        publisher->RequestArticleListOperation(column, callback);
        HttpCompletion completion = hostdouble::TakeNext();
        compare.ParseFloor(page);
        compare.ParseFloor(informPage);
        if (entries >= 100)
            compare.ParseFloor(emptyInform);
        compare.Time(state, [&] { completion(true, page.data(), static_cast<long long>(page.size())); });
        if (++sinceReset == kResetEvery) {
            benchsupport::ResetDouble(serve);
            sinceReset = 0;
        }
    }
    compare.Report(state);
    benchsupport::ResetDouble();  // the handler refers to this frame
}
BENCHMARK(BM_Exclusive_Refresh)->Arg(15)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- subject-based publishers ---------------------------------------------------------

void BM_Essence_List(benchmark::State& state) {
    // Its thread sends a fetch when it starts; should that one be taken instead
    // of ours, the handling is the same.
    IInformationEssence* publisher = GetInformationEssence();
    NullSubscriber<std::list<InformationEssence> > subscriber;
    publisher->Attach(&subscriber);
    RunCompletions(state, benchbody::EssencePage(50), [&] { publisher->FetchInformationEssence(0, 0, 50); });
    publisher->Detach(&subscriber);
}
BENCHMARK(BM_Essence_List)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Stock_Announcements(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    IStockAnnouncement* publisher = GetStockAnnouncement();
    NullSubscriber<StockAnnouncement> subscriber;
    publisher->Attach(&subscriber);
    RunCompletions(state, benchbody::AnnouncementPage(items), [&] {
        publisher->RequestStockAnnouncementList(L"600519", 1, static_cast<unsigned int>(items));
    });
    publisher->Detach(&subscriber);
}
BENCHMARK(BM_Stock_Announcements)->Arg(20)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

// End date 0 is never answered from the range cache: every request is sent,
// and every response replaces the stock's cache entry.
void BM_Stock_LandMines(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    IStockLandMine* publisher = GetStockLandMine();
    NullSubscriber<StockLandMine> subscriber;
    publisher->Attach(&subscriber);
    const long long newest = hostdouble::TimeOf(20261205, 15, 0, 0);
    RunCompletions(state, benchbody::LandMinePage(items, newest, 100000 / 4),
                   [&] { publisher->RequestStockLandMineList(L"600519", 20261101, 0); });
    publisher->Detach(&subscriber);
}
BENCHMARK(BM_Stock_LandMines)->Arg(20)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Stock_News(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    IStockNews* publisher = GetStockNews();
    NullSubscriber<StockNewsInfo> subscriber;
    publisher->Attach(&subscriber);
    RunCompletions(state, benchbody::StockNewsPage(items), [&] {
        publisher->RequestStockNewsList(1, L"600519", 0, 0, static_cast<unsigned int>(items));
    });
    publisher->Detach(&subscriber);
}
BENCHMARK(BM_Stock_News)->Arg(20)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Disclosures of 5 per day, each with five buyers and five sellers.
void BM_Stock_UnusualTrading(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    IStockUnusualTrading* publisher = GetStockUnusualTrading();
    NullSubscriber<StockUnusualTradingInfo> subscriber;
    publisher->Attach(&subscriber);
    RunCompletions(state, benchbody::UnusualTradingPage(items / 5, 5),
                   [&] { publisher->FetchStockUnusualTrading(L"600519"); });
    publisher->Detach(&subscriber);
}
BENCHMARK(BM_Stock_UnusualTrading)->Arg(20)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- callback publishers ----------------------------------------------------------------

void BM_Timeline_EventList(benchmark::State& state) {
    ITimelinePublisher* publisher = GetTimelinePublisher();
    const EventListCallback callback = [](const std::list<TimelineEvent>& events) {
        benchmark::DoNotOptimize(&events);
    };
    RunCompletions(state, benchbody::EventListPage(50), [&] { publisher->RequestEventList(L"2026-12-06", callback); });
}
BENCHMARK(BM_Timeline_EventList)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Counters(benchmark::State& state) {
    ICommonPublisher* publisher = GetCommonPublisher();
    std::vector<unsigned int> ids;
    std::vector<int> answered;
    for (int i = 0; i < 15; ++i) {
        ids.push_back(static_cast<unsigned int>(880000 + i));
        answered.push_back(880000 + i);
    }
    const CountInfoCallback callback = [](const CountInfoMap& counters) { benchmark::DoNotOptimize(&counters); };
    RunCompletions(state, benchbody::CounterPage(answered), [&] { publisher->RequestCountInfo(ids, callback); });
}
BENCHMARK(BM_Counters)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
