// The host program's stop, with the real host libraries over loopback. A stop
// lasts for the rest of the process, so each case needs a process of its own
// (ctest runs every case alone).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "tests/raw_http_server.h"
#include "tests/stress_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Completions by request id. Each lingers, so that a stop that does not wait
// for it returns before it has.
struct Calls {
    HttpCompletion For(int id) {
        return [this, id](bool success, const char*, long long) {
            {
                std::lock_guard<std::mutex> lock(mu);
                ++count[id], successes += success, threads[id] = std::this_thread::get_id();
            }
            std::this_thread::sleep_for(milliseconds(200));
            std::lock_guard<std::mutex> lock(mu);
            ++returned, cv.notify_all();
        };
    }
    bool WaitReturned(int n) {
        std::unique_lock<std::mutex> lock(mu);
        return cv.wait_for(lock, seconds(10), [&] { return returned >= n; });
    }
    std::mutex mu;
    std::condition_variable cv;
    std::map<int, int> count;
    std::map<int, std::thread::id> threads;
    int successes = 0, returned = 0;
};

// Stop from another thread, or from the stopped pool's own (a completion, a task).
class StopTest : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Stop, StopTest, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "FromOwnThread" : "FromAnotherThread");
});

TEST_P(StopTest, NetworkAbandonsRequestsInFlightAndFailsLaterOnes_Loopback) {
    constexpr int kStalled = 4;  // more than the two network threads: some wait in the queue
    const bool fromCompletion = GetParam();
    const int own = fromCompletion ? 1 : 0;
    RawHttpServer server;
    Calls calls;
    std::promise<void> go, stopReturned;
    std::shared_future<void> goSignal = go.get_future().share();
    if (fromCompletion) {
        GetAsyn(
            server.Url("/echo"),
            [&, goSignal, record = calls.For(-1)](bool success, const char* b, long long n) {
                goSignal.wait();
                netwk::Stop();
                stopReturned.set_value();
                record(success, b, n);
            },
            {}, 60);
    }
    for (int i = 0; i < kStalled; ++i) GetAsyn(server.Url("/stall"), calls.For(i), {}, 60);
    std::future<bool> sync = std::async(std::launch::async, [&server] {
        std::vector<char> body;
        return GetSync(server.Url("/stall"), body, {}, 60);
    });
    ASSERT_TRUE(server.WaitRequests("/stall", 3 - own, seconds(10)));

    const auto start = Clock::now();
    if (fromCompletion) {
        go.set_value();
        ASSERT_EQ(stopReturned.get_future().wait_for(seconds(10)), std::future_status::ready);
    } else {
        netwk::Stop();
        std::lock_guard<std::mutex> lock(calls.mu);
        EXPECT_EQ(calls.returned, kStalled);
    }
    ASSERT_EQ(sync.wait_for(seconds(10)), std::future_status::ready);
    EXPECT_FALSE(sync.get());
    ASSERT_TRUE(calls.WaitReturned(kStalled + own));
    EXPECT_LT(Clock::now() - start, seconds(5));  // nowhere near the 60 s timeouts

    // Later requests fail without reaching the server; a second stop changes nothing.
    netwk::Stop();
    const int reached = server.requests("/echo");
    std::vector<char> body;
    EXPECT_FALSE(GetSync(server.Url("/echo"), body, {}, 60));
    GetAsyn(server.Url("/echo"), calls.For(kStalled), {}, 60);
    ASSERT_TRUE(calls.WaitReturned(kStalled + 1 + own));
    std::this_thread::sleep_for(milliseconds(100));  // room for a stray second call
    EXPECT_EQ(server.requests("/echo"), reached);
    std::lock_guard<std::mutex> lock(calls.mu);
    for (const auto& c : calls.count) EXPECT_EQ(c.second, 1) << "request " << c.first;
    EXPECT_EQ(calls.count.size(), static_cast<std::size_t>(kStalled + 1 + own));
    EXPECT_EQ(calls.successes, own);
    int onNetworkThread = 0;  // the late completion's thread ran an earlier one
    for (int i = -1; i < kStalled; ++i)
        onNetworkThread += calls.threads.count(i) && calls.threads[i] == calls.threads[kStalled];
    EXPECT_GT(onNetworkThread, 0);
}

TEST_P(StopTest, TasksQueuedAreDroppedAndRunningOnesWaitedFor) {
    const bool fromTask = GetParam();
    base::TaskManager& tasks = base::TaskManagerInstance();
    std::promise<void> aRunning, bRunning, release, queued;
    std::shared_future<void> released = release.get_future().share(), allQueued = queued.get_future().share();
    std::atomic<bool> aDone{false}, bDone{false};
    std::promise<bool> aDoneWhenStopReturned;
    // A and B fill both task threads; B calls Stop in the own-thread case.
    tasks.AddTask([&] {
        aRunning.set_value();
        released.wait();
        std::this_thread::sleep_for(milliseconds(200));
        aDone = true;
    });
    tasks.AddTask([&] {
        bRunning.set_value();
        if (fromTask) {
            allQueued.wait();
            base::TaskManagerInstance().Stop();
            aDoneWhenStopReturned.set_value(aDone);
        } else {
            released.wait();
        }
        bDone = true;
    });
    ASSERT_EQ(aRunning.get_future().wait_for(seconds(10)), std::future_status::ready);
    ASSERT_EQ(bRunning.get_future().wait_for(seconds(10)), std::future_status::ready);

    const auto token = std::make_shared<int>(0);  // held by every task that must be dropped
    std::atomic<int> droppedRuns{0};
    const auto mustNotRun = [token, &droppedRuns] { ++droppedRuns; };
    for (int i = 0; i < 3; ++i) tasks.AddTask(mustNotRun);
    queued.set_value();
    if (fromTask) {
        release.set_value();
        auto stopped = aDoneWhenStopReturned.get_future();
        ASSERT_EQ(stopped.wait_for(seconds(10)), std::future_status::ready);
        EXPECT_TRUE(stopped.get());
    } else {
        std::thread releaser([&] {
            std::this_thread::sleep_for(milliseconds(100));
            release.set_value();
        });
        tasks.Stop();
        EXPECT_TRUE(aDone && bDone);
        releaser.join();
    }
    tasks.Stop();  // again; from here B, which may have been on its way out, has returned
    tasks.AddTask(mustNotRun);
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(droppedRuns.load(), 0);
    EXPECT_EQ(token.use_count(), 2);  // this one and `mustNotRun`'s: the dropped tasks were destroyed
}

// A desktop client closing while the network is bad: every publisher busy
// against a server that never answers. The host stop and DestroyAllPublisher
// end at once, not after a network timeout, and call nothing afterwards.
TEST(TeardownTest, HostStopThenTeardownEndsAtOnceWithEveryPublisherBusy_Loopback) {
    testsupport::SilenceQtDebug();
    RawHttpServer server;
    UrlHelper::SetServiceRoot(server.Url("/stall"));
    stress::Watchers watchers;
    stress::CallbackGates gates;
    const stress::Publishers publishers;
    watchers.Subscribe(publishers);
    for (int serial = 1; serial <= 2; ++serial) stress::RequestEverything(publishers, gates, serial);
    // Both refresh cycles have begun (and stalled) once their observers heard so.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return watchers.telegraph.calls() > 0 && watchers.depth.calls() > 0; }));
    std::this_thread::sleep_for(milliseconds(200));  // the rest reach the server

    const auto start = Clock::now();
    netwk::Stop();
    base::TaskManagerInstance().Stop();
    DestroyAllPublisher();
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    watchers.Close();
    gates.callbacks.Close();
    gates.timeline.Close();
    std::this_thread::sleep_for(milliseconds(200));
    std::cout << "[ measure  ] host stop + DestroyAllPublisher took " << took << " ms" << std::endl;
    EXPECT_LT(took, 5000);  // a prompt teardown takes milliseconds; one 30 s timeout fails
    EXPECT_EQ(0, watchers.strays());
    EXPECT_EQ(0, gates.callbacks.strays());
    EXPECT_EQ(0, gates.timeline.strays());
}

}  // namespace
