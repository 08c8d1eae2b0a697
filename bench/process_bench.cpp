// The library as a process sees it, against the host double: what all ten
// publishers cost while nobody subscribes, and how long DestroyAllPublisher
// takes. Linux only (it reads /proc), like the rest of bench/.

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include <boost/thread/thread.hpp>

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "news_center/news_center.h"

using benchsupport::Clock;
using benchsupport::Seconds;
using hostdouble::Answer;
using hostdouble::Request;

namespace {

struct ThreadSample {
    unsigned long long runNanoseconds = 0;  // on a CPU
    unsigned long long voluntarySwitches = 0;  // blocked and woken again: wakeups
    unsigned long long involuntarySwitches = 0;
};

// Every thread of the process but the calling one.
std::map<long, ThreadSample> SampleOtherThreads() {
    std::map<long, ThreadSample> samples;
    const long self = static_cast<long>(syscall(SYS_gettid));
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return samples;
    while (dirent* entry = readdir(tasks)) {
        const long tid = std::atol(entry->d_name);
        if (tid <= 0 || tid == self)
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        ThreadSample sample;
        std::ifstream schedstat(base + "/schedstat");
        schedstat >> sample.runNanoseconds;
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line)) {
            std::istringstream fields(line);
            std::string key;
            fields >> key;
            if (key == "voluntary_ctxt_switches:")
                fields >> sample.voluntarySwitches;
            else if (key == "nonvoluntary_ctxt_switches:")
                fields >> sample.involuntarySwitches;
        }
        samples[tid] = sample;
    }
    closedir(tasks);
    return samples;
}

// All ten publishers, their threads past their first cycle and asleep.
void CreateAllAndLetThemSleep() {
    GetTelegraphPublisher();
    GetDepthPublisher();
    GetTimelinePublisher();
    GetExclusivePublisher();
    GetCommonPublisher();
    GetStockNews();
    GetStockAnnouncement();
    GetStockUnusualTrading();
    GetInformationEssence();
    GetStockLandMine();
    // The telegraph and depth threads' first cycles find nobody subscribed and send nothing.
    hostdouble::WaitForRequests(1, 5000);  // the essence thread's first fetch
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

double IdleSeconds() {
    const char* text = std::getenv("LX_IDLE_SECONDS");
    const double seconds = text ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 10;
}

// All ten publishers held for LX_IDLE_SECONDS (default 10) with no subscriber:
// CPU time and wakeups of every thread they started, extrapolated to a minute.
void BM_Idle_TenPublishers(benchmark::State& state) {
    const double seconds = IdleSeconds();
    for (auto _ : state) {
        hostdouble::Reset();
        CreateAllAndLetThemSleep();
        const std::map<long, ThreadSample> before = SampleOtherThreads();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const std::map<long, ThreadSample> after = SampleOtherThreads();
        DestroyAllPublisher();

        unsigned long long runNanoseconds = 0;
        unsigned long long wakeups = 0;
        unsigned long long preempted = 0;
        std::string perThread;
        for (const auto& entry : after) {
            const std::map<long, ThreadSample>::const_iterator was = before.find(entry.first);
            const ThreadSample start = was == before.end() ? ThreadSample() : was->second;
            runNanoseconds += entry.second.runNanoseconds - start.runNanoseconds;
            const unsigned long long threadWakeups = entry.second.voluntarySwitches - start.voluntarySwitches;
            wakeups += threadWakeups;
            preempted += entry.second.involuntarySwitches - start.involuntarySwitches;
            perThread += (perThread.empty() ? "" : "/") + std::to_string(threadWakeups);
        }
        state.SetIterationTime(seconds);
        const double perMinute = 60 / seconds;
        state.counters["publisher_threads"] = static_cast<double>(after.size());
        state.counters["cpu_us_per_min"] = static_cast<double>(runNanoseconds) / 1000 * perMinute;
        state.counters["wakeups_per_min"] = static_cast<double>(wakeups) * perMinute;
        state.counters["preempted_per_min"] = static_cast<double>(preempted) * perMinute;
        state.SetLabel("wakeups per thread in " + std::to_string(static_cast<int>(seconds)) + " s: " + perThread);
    }
}
BENCHMARK(BM_Idle_TenPublishers)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// DestroyAllPublisher with every publisher thread asleep.
void BM_Teardown_AllSleeping(benchmark::State& state) {
    for (auto _ : state) {
        hostdouble::Reset();
        CreateAllAndLetThemSleep();
        const Clock::time_point start = Clock::now();
        DestroyAllPublisher();
        state.SetIterationTime(Seconds(Clock::now() - start));
    }
}
BENCHMARK(BM_Teardown_AllSleeping)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.2);

// Observers outlive every teardown: a cycle cut short by it still reports.
benchsupport::NullTelegraphObserver g_telegraphObserver;
benchsupport::NullDepthObserver g_depthObserver;

// DestroyAllPublisher while the telegraph and depth threads are each inside a
// refresh whose request never answers: teardown interrupts them, the host
// abandons the request, the cycles finish and the threads end.
void BM_Teardown_RefreshStalledOnOwnThreads(benchmark::State& state) {
    int attempts = 0;
    for (auto _ : state) {
        for (;;) {
            hostdouble::Reset();
            hostdouble::SetSyncHandler([](const Request&) { return Answer::Stall(); });
            // Subscribed before the threads' first cycles, those cycles refresh.
            GetTelegraphPublisher()->Subscribe(&g_telegraphObserver);
            GetDepthPublisher()->Subscribe(&g_depthObserver);
            ++attempts;
            if (hostdouble::WaitForRequests(2, 500))
                break;
            hostdouble::ReleaseStalls();
            DestroyAllPublisher();  // a thread slept first: try again
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const Clock::time_point start = Clock::now();
        DestroyAllPublisher();
        state.SetIterationTime(Seconds(Clock::now() - start));
    }
    state.counters["attempts_per_run"] = static_cast<double>(attempts) / state.iterations();
}
BENCHMARK(BM_Teardown_RefreshStalledOnOwnThreads)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.2);

// DestroyAllPublisher while a Refresh() runs on a task-manager thread and its
// request never answers. Nothing interrupts that thread, so the telegraph's
// destructor waits for the request to end; here the stall is released after
// 200 ms, the real host gives up after the request's 30 s timeout.
void BM_Teardown_RefreshStalledOnTaskThread(benchmark::State& state) {
    const int releaseMs = 200;
    for (auto _ : state) {
        hostdouble::Reset();
        hostdouble::SetSyncHandler([](const Request&) { return Answer::Stall(); });
        CreateAllAndLetThemSleep();
        GetTelegraphPublisher()->Subscribe(&g_telegraphObserver);
        const std::size_t requests = hostdouble::RequestCount();
        GetTelegraphPublisher()->Refresh();
        boost::thread worker([] { hostdouble::RunPendingTasks(); });
        hostdouble::WaitForRequests(requests + 1, 5000);
        std::thread releaser([releaseMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(releaseMs));
            hostdouble::ReleaseStalls();
        });
        const Clock::time_point start = Clock::now();
        DestroyAllPublisher();
        state.SetIterationTime(Seconds(Clock::now() - start));
        releaser.join();
        worker.join();
    }
    state.SetLabel("stall released after 200 ms");
}
BENCHMARK(BM_Teardown_RefreshStalledOnTaskThread)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchsupport::InstallQuietMessageHandler();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    hostdouble::ReleaseStalls();
    DestroyAllPublisher();
    return 0;
}
