// The host program's stop, with the real host libraries over loopback. A stop
// lasts for the rest of the process, so each case needs a process of its own
// (ctest runs every case alone).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "tests/raw_http_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Completions by request id: how often each ran, with which result, and on
// which threads. Each lingers, so that a stop that does not wait for it returns
// before it has.
class Calls {
public:
    HttpCompletion For(int id) {
        return [this, id](bool success, const char*, long long) {
            {
                std::lock_guard<std::mutex> lock(mu_);
                ++count_[id];
                successes_ += success ? 1 : 0;
                threads_[id] = std::this_thread::get_id();
            }
            std::this_thread::sleep_for(milliseconds(200));
            std::lock_guard<std::mutex> lock(mu_);
            ++returned_;
            cv_.notify_all();
        };
    }
    bool WaitReturned(int count) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, seconds(10), [&] { return returned_ >= count; });
    }
    int returned() {
        std::lock_guard<std::mutex> lock(mu_);
        return returned_;
    }
    std::map<int, int> counts() {
        std::lock_guard<std::mutex> lock(mu_);
        return count_;
    }
    int successes() {
        std::lock_guard<std::mutex> lock(mu_);
        return successes_;
    }
    std::thread::id ThreadOf(int id) {
        std::lock_guard<std::mutex> lock(mu_);
        return threads_[id];
    }
    std::set<std::thread::id> ThreadsBefore(int id) {
        std::lock_guard<std::mutex> lock(mu_);
        std::set<std::thread::id> threads;
        for (const auto& t : threads_)
            if (t.first < id) threads.insert(t.second);
        return threads;
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::map<int, int> count_;
    std::map<int, std::thread::id> threads_;
    int successes_ = 0;
    int returned_ = 0;
};

struct StopCase {
    const char* name;
    bool fromOwnThread;  // a completion (network) or a task (task manager) calls Stop
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }
const StopCase kStopCases[] = {{"FromAnotherThread", false}, {"FromOwnThread", true}};
std::string CaseName(const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; }

class NetworkStopTest : public ::testing::TestWithParam<StopCase> {};
class TaskStopTest : public ::testing::TestWithParam<StopCase> {};
INSTANTIATE_TEST_SUITE_P(Stop, NetworkStopTest, ::testing::ValuesIn(kStopCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Stop, TaskStopTest, ::testing::ValuesIn(kStopCases), CaseName);

TEST_P(NetworkStopTest, AbandonsRequestsInFlightAndFailsLaterOnes_Loopback) {
    constexpr int kStalled = 4;  // more than the two network threads: some wait in the queue
    const bool fromCompletion = GetParam().fromOwnThread;
    RawHttpServer server;
    Calls calls;
    std::promise<void> go, stopReturned;
    if (fromCompletion) {
        std::shared_future<void> goSignal = go.get_future().share();
        const HttpCompletion record = calls.For(-1);
        GetAsyn(
            server.Url("/healthy"),
            [&, goSignal, record](bool success, const char* body, long long length) {
                goSignal.wait();
                netwk::Stop();
                stopReturned.set_value();
                record(success, body, length);
            },
            {}, 60);
    }
    for (int i = 0; i < kStalled; ++i) GetAsyn(server.Url("/stall"), calls.For(i), {}, 60);
    std::future<bool> sync = std::async(std::launch::async, [&server] {
        std::vector<char> body;
        return GetSync(server.Url("/stall"), body, {}, 60);
    });
    ASSERT_TRUE(server.WaitRequests("/stall", fromCompletion ? 2 : 3, seconds(10)));

    const auto start = Clock::now();
    if (fromCompletion) {
        go.set_value();
        ASSERT_EQ(stopReturned.get_future().wait_for(seconds(10)), std::future_status::ready);
    } else {
        netwk::Stop();
        EXPECT_EQ(calls.returned(), kStalled);
    }
    ASSERT_EQ(sync.wait_for(seconds(10)), std::future_status::ready);
    EXPECT_FALSE(sync.get());
    ASSERT_TRUE(calls.WaitReturned(kStalled + (fromCompletion ? 1 : 0)));
    EXPECT_LT(Clock::now() - start, seconds(5));  // nowhere near the 60 s timeouts

    // Later requests fail without reaching the server; a second stop changes nothing.
    netwk::Stop();
    const int reached = server.requests("/healthy");
    std::vector<char> body;
    EXPECT_FALSE(GetSync(server.Url("/healthy"), body, {}, 60));
    GetAsyn(server.Url("/healthy"), calls.For(kStalled), {}, 60);
    ASSERT_TRUE(calls.WaitReturned(kStalled + 1 + (fromCompletion ? 1 : 0)));
    std::this_thread::sleep_for(milliseconds(100));  // room for a stray second call
    EXPECT_EQ(server.requests("/healthy"), reached);
    for (const auto& c : calls.counts()) EXPECT_EQ(c.second, 1) << "request " << c.first;
    EXPECT_EQ(calls.counts().size(), static_cast<std::size_t>(kStalled + 1 + (fromCompletion ? 1 : 0)));
    EXPECT_EQ(calls.successes(), fromCompletion ? 1 : 0);
    EXPECT_NE(calls.ThreadOf(kStalled), std::this_thread::get_id());
    EXPECT_EQ(calls.ThreadsBefore(kStalled).count(calls.ThreadOf(kStalled)), 1u);  // a network thread
}

TEST_P(TaskStopTest, DropsQueuedTasksAndWaitsForRunningOnes) {
    const bool fromTask = GetParam().fromOwnThread;
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

}  // namespace
