// Threads against the publishers: many clients with refreshes and completions
// on host threads, work that outlives its publisher, a refresh stalled in its
// fetch, and completions of one publisher side by side. Also run under
// ThreadSanitizer (label "concurrency"); a deadlock ends in ctest's timeout.

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/stress_support.h"

namespace {

using hostdouble::Answer;
using hostdouble::Request;
using testsupport::WaitUntil;
using Clock = std::chrono::steady_clock;

const std::chrono::seconds kBound(10);  // only detects a wait that never ends

// The test's own thread and those it runs posted tasks on; never a refresh thread.
thread_local bool t_host = false;

void Sleep(int microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); }

class ConcurrencyTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        testsupport::SilenceQtDebug();
        t_host = true;
    }
    // Counts every GetSync, [0] the refresh threads', [1] the host's; those of
    // the host (`host` true) or of the threads stall, the others fail at once.
    void StallFetches(bool host) {
        fetches_[0] = fetches_[1] = 0;
        hostdouble::SetSyncHandler([this, host](const Request&) {
            ++fetches_[t_host];
            return t_host == host ? Answer::Stall() : Answer::Fail();
        });
    }
    int fetches() const { return fetches_[0] + fetches_[1]; }
    void RunPosted() {
        postedDone_ = false;
        posted_ = std::thread([this, task = hostdouble::TakeTask()] {
            t_host = true;
            task();
            postedDone_ = true;
        });
    }
    void JoinPosted() {
        if (posted_.joinable())
            posted_.join();
    }
    stress::Watchers watchers_;
    std::atomic<int> fetches_[2];
    std::thread posted_;
    std::atomic<bool> postedDone_{false};
};

TEST_F(ConcurrencyTest, ClientsRefreshesAndCompletionsInterleaveSafely) {
    const int kClients = 4, kRounds = 1500;
    stress::AnswerSyncRequests();
    const stress::Publishers publishers;  // the factories are not thread-safe on a first call
    std::vector<stress::Watchers> watchers(kClients);
    stress::CallbackGates gates;
    std::atomic<int> expected{0};
    std::atomic<bool> stop{false};
    std::mutex take;
    std::vector<std::thread> host, clients;
    // Two task-manager threads and two network threads, some of whose transfers fail.
    for (int i = 0; i < 4; ++i)
        host.emplace_back([&, i] {
            for (int serial = i; !stop; serial += 4)
                if (!(i % 2 ? stress::DeliverOne(take, serial, true) : stress::RunOneTask()))
                    Sleep(200);
        });
    for (int t = 0; t < kClients; ++t)
        clients.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                while (hostdouble::PendingCount() + hostdouble::PendingTaskCount() > 100)
                    Sleep(100);  // the host threads work alongside the clients rather than after them
                watchers[t].Subscribe(publishers);
                expected += stress::RequestEverything(publishers, gates, t * 100000 + round);
                if (round % 3 != 0)
                    watchers[t].Unsubscribe(publishers);
            }
            watchers[t].Unsubscribe(publishers);
        });
    for (std::thread& client : clients)
        client.join();
    stop = true;
    for (std::thread& thread : host)
        thread.join();
    stress::DeliverAll(0);
    for (stress::Watchers& mine : watchers)
        EXPECT_EQ(0, mine.strays());
    EXPECT_EQ(expected.load(), gates.callbacks.calls());
    EXPECT_EQ(3 * kClients * kRounds, gates.timeline.calls());
}

// Completions, counter callbacks and refresh tasks pending at teardown, some
// delivered on another thread while it runs; odd rounds run the refreshes first,
// so that the counter requests bound to the telegraph and depth are pending too.
TEST_F(ConcurrencyTest, WorkDeliveredAfterTeardownReachesNoPublisher) {
    stress::CallbackGates gates;
    for (int round = 0; round < 1000; ++round) {
        hostdouble::Reset();
        stress::AnswerSyncRequests();
        gates.callbacks.Open();
        {
            const stress::Publishers publishers;
            watchers_.Subscribe(publishers);
            stress::RequestEverything(publishers, gates, round);
            if (round % 2 == 1) {
                hostdouble::RunPendingTasks();
                publishers.telegraph->Refresh(), publishers.depth->Refresh();
            }
        }
        ASSERT_GT(hostdouble::PendingCount(), 0u);
        ASSERT_GT(hostdouble::PendingTaskCount(), 0u);
        std::thread racer;
        if (round % 4 == 2)
            racer = std::thread([round] { stress::DeliverAll(round); });
        DestroyAllPublisher();
        if (racer.joinable())
            racer.join();
        watchers_.Close();
        gates.callbacks.Close();
        const std::size_t requests = hostdouble::RequestCount(), logs = hostdouble::Logs().size();
        stress::DeliverAll(round);
        ASSERT_EQ(0, watchers_.strays() + gates.callbacks.strays()) << "round " << round;
        ASSERT_EQ(requests, hostdouble::RequestCount()) << "late work sent a request, round " << round;
        ASSERT_EQ(logs, hostdouble::Logs().size()) << "late work wrote a log line, round " << round;
    }
    EXPECT_EQ(3 * 1000, gates.timeline.calls());  // the timeline holds nothing of itself
}

// One refresh of a feed stalled in its fetch (the publisher's own thread, or a
// posted one on a task-manager thread), then another refresh or the teardown.
enum class Who { Thread, Posted };
enum class Then { PostedRefresh, ThreadCycle, Teardown };
struct Race {
    const char* name;
    bool depth;
    Who stalled;
    Then then;
};
const Race kRaces[] = {
    {"telegraph: posted refresh during a posted one", false, Who::Posted, Then::PostedRefresh},
    {"depth: posted refresh during a posted one", true, Who::Posted, Then::PostedRefresh},
    {"telegraph: posted refresh during the thread's cycle", false, Who::Thread, Then::PostedRefresh},
    {"depth: posted refresh during the thread's cycle", true, Who::Thread, Then::PostedRefresh},
    {"telegraph: the thread's next cycle during a posted refresh", false, Who::Posted, Then::ThreadCycle},
    {"telegraph: teardown interrupts the thread's fetch", false, Who::Thread, Then::Teardown},
    {"depth: teardown interrupts the thread's fetch", true, Who::Thread, Then::Teardown},
    {"telegraph: teardown waits for a posted refresh", false, Who::Posted, Then::Teardown},
    {"depth: teardown waits for a posted refresh", true, Who::Posted, Then::Teardown},
};

class RaceTest : public ConcurrencyTest {
protected:
    stress::Gate& Subscribe(bool depth) {
        watchers_.Open();
        if (depth)
            return GetDepthPublisher()->Subscribe(&watchers_.depth), watchers_.depth;
        return GetTelegraphPublisher()->Subscribe(&watchers_.telegraph), watchers_.telegraph;
    }
    void Refresh(bool depth) { depth ? GetDepthPublisher()->Refresh() : GetTelegraphPublisher()->Refresh(); }

    // The thread's first cycle runs as the publisher is made and may or may not
    // find the watcher subscribed; a new publisher until the row's refresh stalls.
    bool Stall(const Race& race) {
        for (int attempt = 0; attempt < 40; ++attempt) {
            hostdouble::Reset();
            StallFetches(race.stalled == Who::Posted);
            Subscribe(race.depth);
            if (race.stalled == Who::Thread &&
                WaitUntil([this] { return fetches_[0] > 0; }, std::chrono::milliseconds(250)))
                return true;
            if (race.stalled == Who::Posted) {
                Refresh(race.depth);
                RunPosted();
                if (WaitUntil([this] { return fetches_[1] > 0 || postedDone_; }) && fetches_[1] > 0)
                    return true;  // else the thread's cycle had the feed
                JoinPosted();
            }
            DestroyAllPublisher();
        }
        return false;
    }
};

TEST_F(RaceTest, ARefreshInItsFetchKeepsOthersOutAndTeardownEndsIt) {
    for (const Race& race : kRaces) {
        SCOPED_TRACE(race.name);
        ASSERT_TRUE(Stall(race));
        stress::Gate& watcher = Subscribe(race.depth);
        const int calls = watcher.calls(), sent = fetches();
        if (race.then == Then::PostedRefresh) {
            Refresh(race.depth);
            std::future<void> second = std::async(std::launch::async, [task = hostdouble::TakeTask()] {
                t_host = true;
                task();
            });
            EXPECT_EQ(std::future_status::ready, second.wait_for(kBound)) << "the second refresh waited";
            EXPECT_EQ(calls, watcher.calls()) << "the second refresh told the observer";
            EXPECT_EQ(sent, fetches()) << "the second refresh fetched";
        } else if (race.then == Then::ThreadCycle) {
            // The thread's next cycle is ten seconds after its first.
            EXPECT_FALSE(WaitUntil([&] { return fetches() > sent; }, std::chrono::seconds(12))) << "it fetched";
        } else {
            const stress::Publishers publishers;  // every other publisher with work in flight too
            stress::CallbackGates gates;
            watchers_.Subscribe(publishers);
            stress::RequestEverything(publishers, gates, 1);
            int callsAtTeardown = 0;
            std::future<void> teardown = std::async(std::launch::async, [&] {
                DestroyAllPublisher();
                callsAtTeardown = watcher.calls();
            });
            if (race.stalled == Who::Posted) {
                // Nobody interrupts a task-manager thread: the host's GetSync ends by its own timeout.
                EXPECT_EQ(std::future_status::timeout, teardown.wait_for(std::chrono::milliseconds(100)));
                hostdouble::ReleaseStalls();
            }
            const bool prompt = teardown.wait_for(kBound) == std::future_status::ready;
            hostdouble::ReleaseStalls();
            teardown.wait();
            EXPECT_TRUE(prompt) << "teardown waited for a stalled fetch";
            EXPECT_TRUE(race.stalled == Who::Thread || callsAtTeardown == calls + 1)
                << "teardown returned while the refresh was inside";
            watchers_.Close();
            gates.callbacks.Close();
            JoinPosted();
            stress::DeliverAll(1);
            EXPECT_EQ(0, watchers_.strays() + gates.callbacks.strays());
        }
        hostdouble::ReleaseStalls();
        JoinPosted();
        // The stalled cycle's update, nothing of the other.
        EXPECT_TRUE(race.then == Then::Teardown || WaitUntil([&] { return watcher.calls() == calls + 1; }));
        DestroyAllPublisher();
    }
}

// Every operation bound to a publisher's liveness.
struct Operation {
    const char* name;
    std::function<void(const std::function<void()>& inside)> issue;  // its callback runs `inside`
};

const Operation kOperations[] = {
    {"column list",
     [](auto in) { GetExclusivePublisher()->RequestColumnList([in](const std::list<ExclusiveColumn>&) { in(); }); }},
    {"column articles",
     [](auto in) {
         GetExclusivePublisher()->RequestArticleList(7, [in](int, const std::list<ExclusiveArticle>&) { in(); });
     }},
    {"column operations",
     [](auto in) { GetExclusivePublisher()->RequestArticleListOperation(7, [in](int, const ExclusiveUpdate&) { in(); }); }},
    {"counters", [](auto in) { GetCommonPublisher()->RequestCountInfo({1, 2}, [in](const CountInfoMap&) { in(); }); }},
    {"older telegraphs",
     [](auto in) {
         GetTelegraphPublisher()->RequestEarlierTelegraph(5, [in](bool, const std::list<TelegraphInfo>&) { in(); });
     }},
    {"older depth articles",
     [](auto in) { GetDepthPublisher()->RequestEarlierDepth([in](const std::list<DepthArticle>&) { in(); }); }},
};

// Completions run without a lock of their own: two of one operation meet inside
// their callbacks, and a callback may request again.
TEST_F(ConcurrencyTest, CompletionsOfOnePublisherRunSideBySide) {
    // Depth asks for an older page only once something is cached. The thread's
    // first cycle may find the watcher too: its fetch fails, and it gets none later.
    hostdouble::SetSyncHandler([](const Request& r) {
        return t_host || r.path != "/pc/information/get_depth" ? Answer::Ok(body::For(r.path)) : Answer::Fail();
    });
    GetDepthPublisher()->Subscribe(&watchers_.depth);
    ASSERT_TRUE(WaitUntil([] {
        GetDepthPublisher()->Refresh();
        hostdouble::RunPendingTasks();
        return hostdouble::PendingCount() > 0;
    }));
    GetDepthPublisher()->Unsubscribe(&watchers_.depth);
    stress::DeliverAll(0);  // the counters
    for (const Operation& operation : kOperations) {
        SCOPED_TRACE(operation.name);
        std::atomic<int> arrived{0};
        bool met[2] = {false, false};
        std::size_t sent = 0;
        const auto meet = [&](int i) {
            ++arrived;
            met[i] = WaitUntil([&] { return arrived == 2; }, kBound);
        };
        operation.issue([&] {
            meet(0);
            sent = hostdouble::RequestCount();
            operation.issue([] {});
            sent = hostdouble::RequestCount() - sent;
        });
        operation.issue([&] { meet(1); });
        hostdouble::DeliverConcurrently([](const Request& r, std::size_t) { return body::For(r.path); }, 2);
        EXPECT_TRUE(met[0] && met[1]) << "one completion waited for the other";
        EXPECT_EQ(1u, sent) << "a callback's request was not sent";
        while (hostdouble::PendingCount() > 0)
            hostdouble::TakeNext();
    }
}

// Teardown waits for a callback under way; the completion after it calls nothing.
TEST_F(ConcurrencyTest, TeardownWaitsForARunningCallbackAndThenCallsNothing) {
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    for (int i = 0; i < 2; ++i)
        GetExclusivePublisher()->RequestColumnList([&](const std::list<ExclusiveColumn>&) {
            ++calls;
            WaitUntil([&] { return release.load(); }, kBound);
        });
    const HttpCompletion running = hostdouble::TakeNext(), late = hostdouble::TakeNext();
    const std::string body = body::For("/pc/exclusive/column_list");
    std::thread network([&] { running(true, body.data(), static_cast<long long>(body.size())); });
    ASSERT_TRUE(WaitUntil([&] { return calls == 1; }));
    std::future<void> teardown = std::async(std::launch::async, &DestroyAllPublisher);
    EXPECT_EQ(std::future_status::timeout, teardown.wait_for(std::chrono::milliseconds(200)))
        << "teardown returned while a callback ran";
    release = true;
    network.join();
    teardown.wait();
    late(true, body.data(), static_cast<long long>(body.size()));
    EXPECT_EQ(1, calls.load());
}

}  // namespace
