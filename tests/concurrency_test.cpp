// Threads against the publishers, also run under ThreadSanitizer; a deadlock ends in ctest's timeout.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "tests/stress_support.h"

namespace {

using hostdouble::Answer;
using hostdouble::Request;
using std::chrono::milliseconds;
using stress::t_host;
using testsupport::WaitUntil;

const std::chrono::seconds kBound(10);  // only detects a wait that never ends

void Pause() { std::this_thread::sleep_for(std::chrono::microseconds(200)); }
bool Done(std::future<void>& work, milliseconds wait) { return work.wait_for(wait) == std::future_status::ready; }
std::future<void> RunPosted() {
    return std::async(std::launch::async, [task = hostdouble::TakeTask()] { t_host = true, task(); });
}

class ConcurrencyTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override { HostDoubleTest::SetUp(), testsupport::SilenceQtDebug(), t_host = true; }
    stress::Watchers watchers_;
};

// Clients subscribe, unsubscribe and request while two task and two network threads (some failing) run the work.
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
    for (int i = 0; i < 4; ++i)
        host.emplace_back([&, i] {
            for (int serial = i; !stop; serial += 4)
                if (!(i % 2 ? stress::DeliverOne(take, serial, true) : stress::RunOneTask())) Pause();
        });
    for (int t = 0; t < kClients; ++t)
        clients.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                while (hostdouble::PendingCount() + hostdouble::PendingTaskCount() > 100)
                    Pause();  // the host works alongside the clients rather than after them
                watchers[t].Subscribe(publishers);
                expected += stress::RequestEverything(publishers, gates, t * 100000 + round);
                if (round % 3 != 0) watchers[t].Unsubscribe(publishers);
            }
            watchers[t].Unsubscribe(publishers);
        });
    for (std::thread& thread : clients) thread.join();
    stop = true;
    for (std::thread& thread : host) thread.join();
    stress::DeliverAll(0);
    for (stress::Watchers& mine : watchers) EXPECT_EQ(0, mine.strays());
    EXPECT_EQ(expected.load(), gates.callbacks.calls());
    EXPECT_EQ(3 * kClients * kRounds, gates.timeline.calls());
}

// Completions, counter callbacks and refresh tasks pending at teardown, some delivered on another thread while it
// runs; odd rounds run the refreshes first, so that counter requests bound to the telegraph and depth are pending.
TEST_F(ConcurrencyTest, WorkDeliveredAfterTeardownReachesNoPublisher) {
    stress::CallbackGates gates;
    for (int round = 0; round < 1000; ++round) {
        hostdouble::Reset();
        stress::AnswerSyncRequests();
        gates.callbacks.Open();
        const stress::Publishers publishers;
        watchers_.Subscribe(publishers);
        stress::RequestEverything(publishers, gates, round);
        if (round % 2 == 1) {
            hostdouble::RunPendingTasks();
            publishers.telegraph->Refresh();
            publishers.depth->Refresh();
        }
        ASSERT_TRUE(hostdouble::PendingCount() > 0 && hostdouble::PendingTaskCount() > 0);
        std::thread racer([round] { round % 4 == 2 ? stress::DeliverAll(round) : void(); });
        DestroyAllPublisher();
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

// A refresh stalled in its fetch (the feed's own thread's, or a posted one), then another refresh or the teardown.
enum class Then { PostedRefresh, ThreadCycle, Teardown };
const struct Race {
    const char* name;
    bool depth, posted;  // whose refresh stalls
    Then then;
} kRaces[] = {
    {"telegraph: a posted refresh during a posted one", false, true, Then::PostedRefresh},
    {"depth: a posted refresh during a posted one", true, true, Then::PostedRefresh},
    {"telegraph: a posted refresh during the thread's cycle", false, false, Then::PostedRefresh},
    {"depth: a posted refresh during the thread's cycle", true, false, Then::PostedRefresh},
    {"telegraph: the thread's next cycle, ten seconds on, during a posted refresh", false, true, Then::ThreadCycle},
    {"telegraph: teardown interrupts the thread's fetch", false, false, Then::Teardown},
    {"depth: teardown interrupts the thread's fetch", true, false, Then::Teardown},
    {"telegraph: teardown waits for a posted refresh", false, true, Then::Teardown},
    {"depth: teardown waits for a posted refresh", true, true, Then::Teardown},
};

TEST_F(ConcurrencyTest, ARefreshInItsFetchKeepsOthersOutUntilTeardown) {
    for (const Race& race : kRaces) {
        SCOPED_TRACE(race.name);
        stress::Watcher& watcher = race.depth ? watchers_.depth : watchers_.telegraph;
        const auto refresh = [&] { race.depth ? GetDepthPublisher()->Refresh() : GetTelegraphPublisher()->Refresh(); };
        // The row's side stalls, the other fails at once; [0] counts the feed's thread, [1] the host.
        std::atomic<int> fetches[2] = {{0}, {0}};
        std::future<void> first, second;
        // The thread's first cycle may find the watcher or not: a new publisher until the row's refresh stalls.
        for (int attempt = 0; attempt < 40 && fetches[race.posted] == 0; ++attempt) {
            DestroyAllPublisher();
            hostdouble::Reset();
            watcher.Open();
            fetches[0] = fetches[1] = 0;
            hostdouble::SetSyncHandler([&](const Request&) {
                ++fetches[t_host];
                return t_host == race.posted ? Answer::Stall() : Answer::Fail();
            });
            race.depth ? GetDepthPublisher()->Subscribe(&watcher) : GetTelegraphPublisher()->Subscribe(&watcher);
            if (race.posted) {
                refresh();
                first = RunPosted();
            }
            WaitUntil([&] { return fetches[race.posted] > 0 || (race.posted && Done(first, milliseconds(0))); },
                      milliseconds(race.posted ? 5000 : 250));
        }
        ASSERT_GT(fetches[race.posted], 0);
        const int calls = watcher.calls(), sent = fetches[0] + fetches[1];
        if (race.then == Then::PostedRefresh) {
            refresh();
            second = RunPosted();
            EXPECT_TRUE(Done(second, kBound)) << "the second refresh waited";
            EXPECT_EQ(calls, watcher.calls()) << "the second refresh told the watcher";
        } else if (race.then == Then::ThreadCycle) {
            WaitUntil([&] { return fetches[0] + fetches[1] > sent; }, std::chrono::seconds(12));
        } else {
            // Nobody interrupts a task-manager thread: the host's GetSync ends by its own timeout.
            std::future<void> teardown = std::async(std::launch::async, &DestroyAllPublisher);
            EXPECT_TRUE(!race.posted || !Done(teardown, milliseconds(100))) << "it did not wait";
            if (race.posted) hostdouble::ReleaseStalls();
            EXPECT_TRUE(Done(teardown, kBound)) << "teardown waited for a stalled fetch";
            hostdouble::ReleaseStalls();
            teardown.wait();
            watchers_.Close();
        }
        EXPECT_EQ(sent, fetches[0] + fetches[1]) << "a refresh fetched during another";
        hostdouble::ReleaseStalls();
        if (first.valid()) first.wait();
        // The stalled cycle's update, nothing of the other; after teardown it is a stray.
        EXPECT_TRUE(WaitUntil([&] { return watcher.calls() == calls + 1; }));
        EXPECT_EQ(0, watchers_.strays());
        DestroyAllPublisher();
    }
}

// Each operation bound to a publisher; its callback runs `in`.
auto Calls(const std::function<void()>& in) {
    return [in](auto&&...) { in(); };
}
const struct Operation {
    const char* name;
    void (*issue)(const std::function<void()>& in);
} kOperations[] = {
    {"column list", [](auto& in) { GetExclusivePublisher()->RequestColumnList(Calls(in)); }},
    {"column articles", [](auto& in) { GetExclusivePublisher()->RequestArticleList(7, Calls(in)); }},
    {"column operations", [](auto& in) { GetExclusivePublisher()->RequestArticleListOperation(7, Calls(in)); }},
    {"counters", [](auto& in) { GetCommonPublisher()->RequestCountInfo(std::vector<unsigned int>(2, 1), Calls(in)); }},
    {"older telegraphs", [](auto& in) { GetTelegraphPublisher()->RequestEarlierTelegraph(5, Calls(in)); }},
    {"older depth articles", [](auto& in) { GetDepthPublisher()->RequestEarlierDepth(Calls(in)); }},
};

// Completions run without a lock of their own: two of one operation meet in their callbacks, which may request again.
TEST_F(ConcurrencyTest, CompletionsOfOnePublisherRunSideBySide) {
    // Depth asks for an older page only once something is cached; the thread's fetch fails.
    hostdouble::SetSyncHandler([](const Request& r) {
        return t_host || r.path != "/pc/information/get_depth" ? Answer::Ok(body::For(r.path)) : Answer::Fail();
    });
    GetDepthPublisher()->Subscribe(&watchers_.depth);
    ASSERT_TRUE(WaitUntil(
        [] { return GetDepthPublisher()->Refresh(), hostdouble::RunPendingTasks(), hostdouble::PendingCount() > 0; }));
    GetDepthPublisher()->Unsubscribe(&watchers_.depth);
    stress::DeliverAll(0);  // the counters
    for (const Operation& operation : kOperations) {
        SCOPED_TRACE(operation.name);
        std::atomic<int> arrived{0};
        std::atomic<bool> met[2] = {{false}, {false}};
        std::size_t sent = 0;
        const auto meet = [&](int i) { ++arrived, met[i] = WaitUntil([&] { return arrived == 2; }, kBound); };
        operation.issue([&] {
            meet(0);
            sent = hostdouble::RequestCount();
            operation.issue([] {});
            sent = hostdouble::RequestCount() - sent;
        });
        operation.issue([&] { meet(1); });
        ASSERT_EQ(2u, hostdouble::PendingCount());
        std::thread deliverers[2];
        for (std::thread& deliverer : deliverers) {
            Request request;
            const HttpCompletion completion = hostdouble::TakeNext(&request);
            deliverer = std::thread([request, completion] {
                const std::string text = body::For(request.path);
                completion(true, text.data(), static_cast<long long>(text.size()));
            });
        }
        for (std::thread& deliverer : deliverers)
            deliverer.join();
        EXPECT_TRUE(met[0] && met[1]) << "one completion waited for the other";
        EXPECT_EQ(1u, sent) << "a callback's request was not sent";
        while (hostdouble::PendingCount() > 0) hostdouble::TakeNext();
    }
}

}  // namespace
