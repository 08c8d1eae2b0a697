// Many client threads subscribe, unsubscribe, attach, detach and request on
// every publisher at once, while refresh tasks and network completions run on
// threads of their own. Run under ThreadSanitizer too (label "concurrency").
// A watchdog ends the process if the run deadlocks.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/stress_support.h"

namespace {

const int kClients = 4;
const int kRoundsPerClient = 1500;
const int kTaskThreads = 2;
const int kNetworkThreads = 2;
const std::size_t kBacklog = 100;
// Generous: the run takes seconds, also under ThreadSanitizer.
const std::chrono::seconds kDeadlockBound(100);

// Aborts the process, naming `what`, when it is still alive after `limit`: a
// deadlock would otherwise wait silently for ctest's timeout.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const char* what)
        : thread_([this, limit, what] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "watchdog: %s still running after %lld s: deadlock\n", what,
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        ended_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;  // last: starts once the rest exists
};

// The host's threads: task-manager threads run what AddTask queued, network
// threads deliver completions, some of them as failed transfers.
class HostThreads {
public:
    HostThreads() {
        for (int i = 0; i < kTaskThreads; ++i)
            threads_.emplace_back([this] {
                while (!stop_) {
                    if (stress::RunOneTask())
                        ++worked_;
                    else
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            });
        for (int i = 0; i < kNetworkThreads; ++i)
            threads_.emplace_back([this] {
                while (!stop_) {
                    if (stress::DeliverOne(take_, ++serial_, true))
                        ++worked_;
                    else
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            });
    }
    void Stop() {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
    }
    ~HostThreads() {
        if (!threads_.empty())
            Stop();
    }
    // Tasks and completions these threads ran while the clients were busy.
    int worked() const { return worked_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> worked_{0};
    std::atomic<int> serial_{0};
    std::mutex take_;
    std::vector<std::thread> threads_;
};

class ConcurrencyStressTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        testsupport::SilenceQtDebug();
    }
};

// No call reaches a subscriber after its Unsubscribe or Detach returned, every
// callback runs exactly once, and nothing deadlocks.
TEST_F(ConcurrencyStressTest, ClientsRefreshesAndCompletionsInterleaveSafely) {
    Watchdog watchdog(kDeadlockBound, "ClientsRefreshesAndCompletionsInterleaveSafely");
    stress::AnswerSyncRequests();
    // The factories are not thread-safe on a first call: the host makes them from one thread.
    const stress::Publishers publishers;
    std::vector<stress::Watchers> watchers(kClients);
    stress::CallbackGates gates;
    std::atomic<int> expectedCallbacks{0};

    HostThreads host;
    std::vector<std::thread> clients;
    for (int t = 0; t < kClients; ++t) {
        clients.emplace_back([&, t] {
            stress::Watchers& mine = watchers[t];
            for (int round = 0; round < kRoundsPerClient; ++round) {
                // Keeps the host threads busy alongside the clients rather than after them.
                while (hostdouble::PendingCount() + hostdouble::PendingTaskCount() > kBacklog)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                mine.Subscribe(publishers);
                expectedCallbacks += stress::RequestEverything(publishers, gates, t * 100000 + round);
                if (round % 3 != 0)
                    mine.Unsubscribe(publishers);
            }
            mine.Unsubscribe(publishers);
        });
    }
    for (std::thread& client : clients)
        client.join();
    host.Stop();
    stress::DeliverAll(0);

    int calls = 0;
    for (stress::Watchers& mine : watchers) {
        EXPECT_EQ(0, mine.strays());
        calls += mine.telegraph.calls() + mine.depth.calls() + mine.announcement.calls() + mine.landMine.calls() +
                 mine.stockNews.calls() + mine.unusualTrading.calls() + mine.essence.calls();
    }
    EXPECT_EQ(expectedCallbacks.load(), gates.callbacks.calls());
    EXPECT_EQ(publishers.timeline ? 3 * kClients * kRoundsPerClient : 0, gates.timeline.calls());
    std::cout << "[ measure  ] " << kClients << " clients x " << kRoundsPerClient << " rounds: "
              << hostdouble::RequestCount() << " requests, " << host.worked()
              << " tasks and completions run alongside the clients, " << calls << " subscriber calls, "
              << gates.callbacks.calls() + gates.timeline.calls() << " callbacks" << std::endl;
}

}  // namespace
