// How the costs grow with what a publisher holds, and what it holds costs in
// memory. Complexity() fits the growth over the cache sizes.

#include <list>
#include <string>

#include <benchmark/benchmark.h>

#include "bench/bench_bodies.h"
#include "bench/bench_support.h"
#include "bench/feed_rigs.h"
#include "news_center/feeds/roll_list.h"

using benchsupport::Clock;
using benchsupport::Seconds;
using benchsupport::ThreadAllocations;

namespace {

void ReportAllocations(benchmark::State& state, unsigned long long allocations) {
    if (state.iterations() > 0)
        state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations) / state.iterations());
}

// One refresh of a prepared rig: its time to `state`, its allocations added up.
template <class Rig>
void TimeRun(benchmark::State& state, Rig& rig, unsigned long long& allocations) {
    const unsigned long long before = ThreadAllocations();
    const Clock::time_point start = Clock::now();
    rig.Run();
    state.SetIterationTime(Seconds(Clock::now() - start));
    allocations += ThreadAllocations() - before;
}

// --- telegraph ---------------------------------------------------------------------

// A steady refresh (40 new, 20 edits, 40 removals of the oldest) over a cache
// of 1k, 10k or 100k telegraphs.
void BM_Telegraph_RefreshScaling(benchmark::State& state) {
    const int cached = static_cast<int>(state.range(0));
    benchrig::TelegraphRig& rig = benchrig::TelegraphRigOf(cached);
    unsigned long long allocations = 0;
    for (auto _ : state) {
        rig.Prepare(rig.NextPage());
        TimeRun(state, rig, allocations);
    }
    state.SetComplexityN(cached);
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_Telegraph_RefreshScaling)
    ->Arg(1000)->Arg(10000)->Arg(100000)
    ->UseManualTime()->Complexity()->Unit(benchmark::kMicrosecond);

// Subscribe hands the whole cache to the new observer.
void BM_Telegraph_SubscribeHandOver(benchmark::State& state) {
    const int cached = static_cast<int>(state.range(0));
    benchrig::TelegraphRig& rig = benchrig::TelegraphRigOf(cached);
    benchsupport::NullTelegraphObserver observer;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        rig.publisher()->Subscribe(&observer);
        state.SetIterationTime(Seconds(Clock::now() - start));
        rig.publisher()->Unsubscribe(&observer);
    }
    state.SetComplexityN(cached);
}
BENCHMARK(BM_Telegraph_SubscribeHandOver)
    ->Arg(1000)->Arg(10000)->Arg(100000)
    ->UseManualTime()->Complexity()->Unit(benchmark::kMicrosecond);

TelegraphInfo MakeTelegraph(int id) {
    TelegraphInfo item;
    item.id = id;
    item.author = L"财经快讯";
    item.content = QString::fromUtf8(benchbody::ChineseText(static_cast<unsigned long long>(id), 130).c_str())
                       .toStdWString();
    item.sort_score = benchbody::ScoreOf(id);
    item.ctime = item.sort_score / 1000;
    item.shareurl = L"https://www.news-service.example/share/telegraph/" + std::to_wstring(id);
    item.showurl = L"https://www.news-service.example/detail/" + std::to_wstring(id);
    item.status = 1;
    return item;
}

// The change set of a steady refresh applied straight to a cache.
void BM_Telegraph_ApplyUpdate(benchmark::State& state) {
    const int cached = static_cast<int>(state.range(0));
    news_center::internal::TelegraphCache cache;  // what the publisher keeps
    for (int id = cached - 1; id >= 0; --id)
        cache.Insert(MakeTelegraph(id));
    int lo = 0;
    int hi = cached;
    for (auto _ : state) {
        TelegraphUpdate changes;
        for (int id = hi + 39; id >= hi; --id)
            changes.added.push_back(MakeTelegraph(id));
        for (int id = hi - 1; id >= hi - 15; --id)
            changes.modified.push_back(MakeTelegraph(id));
        for (int id = lo; id < lo + 40; ++id)
            changes.removedIds.push_back(id);
        lo += 40;
        hi += 40;
        const Clock::time_point start = Clock::now();
        news_center::internal::ApplyTelegraphUpdate(changes, cache);
        state.SetIterationTime(Seconds(Clock::now() - start));
    }
    state.SetComplexityN(cached);
}
BENCHMARK(BM_Telegraph_ApplyUpdate)
    ->Arg(1000)->Arg(10000)->Arg(100000)
    ->UseManualTime()->Complexity()->Unit(benchmark::kMicrosecond);

// --- depth ---------------------------------------------------------------------------

void BM_Depth_RefreshScaling(benchmark::State& state) {
    const int cached = static_cast<int>(state.range(0));
    benchrig::DepthRig& rig = benchrig::DepthRigOf(cached, 15);
    unsigned long long allocations = 0;
    for (auto _ : state) {
        std::string depth;
        std::string inform;
        rig.NextAnswers(depth, inform);
        rig.Prepare(depth, inform);
        TimeRun(state, rig, allocations);
    }
    state.SetComplexityN(cached);
    ReportAllocations(state, allocations);
}
BENCHMARK(BM_Depth_RefreshScaling)
    ->Arg(1000)->Arg(10000)
    ->UseManualTime()->Complexity()->Unit(benchmark::kMicrosecond);

// --- land-mines ------------------------------------------------------------------------

// 20 stocks cached, each with `items` land-mines over November; a request for
// days inside that range is answered from memory (two deliveries).
void BM_LandMine_CachedLookup(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    benchrig::DropRigs();  // a fresh range cache
    IStockLandMine* publisher = GetStockLandMine();
    struct : IUpdate1<StockLandMine> {
        void Update(const StockLandMine& value) override { delivered = value.items.size(); }
        std::size_t delivered = 0;
    } subscriber;
    publisher->Attach(&subscriber);
    benchsupport::ResetDouble();
    const long long newest = hostdouble::TimeOf(20261130, 20, 0, 0);
    const long long step = (newest - hostdouble::TimeOf(20261101, 4, 0, 0)) / items;
    const std::string body = benchbody::LandMinePage(items, newest, step);
    std::vector<std::wstring> stocks;
    for (int i = 0; i < 20; ++i) {
        stocks.push_back(L"6000" + std::to_wstring(10 + i));
        publisher->RequestStockLandMineList(stocks.back(), 20261101, 20261130);
        hostdouble::CompleteNext(true, body);
    }
    const std::size_t requests = hostdouble::RequestCount();
    std::size_t next = 0;
    for (auto _ : state) {
        const std::wstring& stock = stocks[next++ % stocks.size()];
        const Clock::time_point start = Clock::now();
        publisher->RequestStockLandMineList(stock, 20261105, 20261125);
        state.SetIterationTime(Seconds(Clock::now() - start));
    }
    if (hostdouble::RequestCount() != requests)
        state.SkipWithError("a lookup went to the network");
    state.counters["items_delivered"] = static_cast<double>(subscriber.delivered);
    publisher->Detach(&subscriber);
    state.SetComplexityN(items);
}
BENCHMARK(BM_LandMine_CachedLookup)
    ->Arg(100)->Arg(1000)
    ->UseManualTime()->Complexity()->Unit(benchmark::kMicrosecond);

// --- memory -------------------------------------------------------------------------------

// Heap held per cached record: the live heap before and after adding `grown`
// records to a warm publisher, with the double's records dropped both times.
void BM_Memory_Telegraph(benchmark::State& state) {
    const int grown = 10000;
    for (auto _ : state) {
        benchrig::TelegraphRig& rig = benchrig::TelegraphRigOf(1000);
        const std::size_t before = benchsupport::LiveHeapBytes();
        rig.Grow(grown);
        rig.Install();
        const std::size_t after = benchsupport::LiveHeapBytes();
        state.counters["bytes_per_record"] = static_cast<double>(after - before) / grown;
    }
    state.counters["sizeof_record"] = sizeof(TelegraphInfo);
}
BENCHMARK(BM_Memory_Telegraph)->Iterations(1);

void BM_Memory_Depth(benchmark::State& state) {
    const int grown = 5000;
    for (auto _ : state) {
        benchrig::DepthRig& rig = benchrig::DepthRigOf(200, 15);
        const std::size_t before = benchsupport::LiveHeapBytes();
        rig.Grow(grown);
        rig.Install();
        const std::size_t after = benchsupport::LiveHeapBytes();
        state.counters["bytes_per_record"] = static_cast<double>(after - before) / grown;
    }
    state.counters["sizeof_record"] = sizeof(DepthArticle);
}
BENCHMARK(BM_Memory_Depth)->Iterations(1);

}  // namespace
