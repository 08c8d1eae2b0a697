// Work that a publisher hands out (completions, counter callbacks, posted
// refreshes) runs without a lock of its own: a refresh that finds another
// under way returns at once, completions of one publisher run side by side,
// and a callback may wait for a sibling or issue more requests.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "news_center/feeds/depth_publisher.h"
#include "news_center/feeds/telegraph_publisher.h"
#include "tests/stress_support.h"

using hostdouble::Answer;
using hostdouble::Request;

namespace {

using testsupport::WaitUntil;

const std::chrono::seconds kBound(5);  // only detects a wait that never ends

// Meets `parties` threads; false when they do not all arrive within kBound.
class Meeting {
public:
    explicit Meeting(int parties) : waiting_(parties) {}
    bool Arrive() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (--waiting_ == 0)
            all_.notify_all();
        return all_.wait_for(lock, kBound, [this] { return waiting_ <= 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable all_;
    int waiting_;
};

// One request of a publisher bound to its liveness token; its callback runs `inside`.
struct Operation {
    const char* name;
    std::function<void(const std::function<void()>& inside)> issue;
};

std::vector<Operation> Operations() {
    return {
        {"column list",
         [](const std::function<void()>& in) {
             GetExclusivePublisher()->RequestColumnList([in](const std::list<ExclusiveColumn>&) { in(); });
         }},
        {"column articles",
         [](const std::function<void()>& in) {
             GetExclusivePublisher()->RequestArticleList(7, [in](int, const std::list<ExclusiveArticle>&) { in(); });
         }},
        {"column operations",
         [](const std::function<void()>& in) {
             GetExclusivePublisher()->RequestArticleListOperation(7, [in](int, const ExclusiveUpdate&) { in(); });
         }},
        {"counters",
         [](const std::function<void()>& in) {
             GetCommonPublisher()->RequestCountInfo({1, 2}, [in](const CountInfoMap&) { in(); });
         }},
        {"older telegraphs",
         [](const std::function<void()>& in) {
             GetTelegraphPublisher()->RequestEarlierTelegraph(5, [in](bool, const std::list<TelegraphInfo>&) { in(); });
         }},
        {"older depth articles",
         [](const std::function<void()>& in) {
             GetDepthPublisher()->RequestEarlierDepth([in](const std::list<DepthArticle>&) { in(); });
         }},
    };
}

// The publisher once its thread has run its first, idle cycle: the next one is
// ten seconds (telegraph) or ten minutes (depth) away.
template <class Publisher>
Publisher* Settled(Publisher* publisher) {
    EXPECT_TRUE(WaitUntil([publisher] { return publisher->threadCycleCount() > 0; }));
    return publisher;
}

CTelegraphPublisher* Telegraph() { return Settled(static_cast<CTelegraphPublisher*>(GetTelegraphPublisher())); }
CDepthPublisher* Depth() { return Settled(static_cast<CDepthPublisher*>(GetDepthPublisher())); }

// A pending completion with the answer its request expects.
struct Pending {
    HttpCompletion completion;
    std::string body;
    void operator()() const { completion(true, body.data(), static_cast<long long>(body.size())); }
};

Pending TakePending() {
    Request request;
    Pending pending;
    pending.completion = hostdouble::TakeNext(&request);
    pending.body = body::For(request.path);
    return pending;
}

class LateWorkTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        testsupport::SilenceQtDebug();
    }

    // Depth asks for an older page only once something is cached.
    void LoadDepth() {
        Depth()->Subscribe(&depthWatcher_);
        hostdouble::QueueSyncAnswer(Answer::Ok(body::DepthPage(1)));
        GetDepthPublisher()->Refresh();
        hostdouble::RunPendingTasks();
        while (hostdouble::PendingCount() > 0)
            TakePending()();  // the counters
    }

    // Stalls a posted refresh in its fetch, posts another and runs it: it
    // must return at once, send nothing and tell no observer.
    template <class Publisher>
    void ExpectSecondPostedRefreshReturnsAtOnce(Publisher* publisher, stress::Gate& watcher) {
        hostdouble::SetSyncHandler([](const Request&) { return Answer::Stall(); });
        publisher->Refresh();
        publisher->Refresh();
        const boost::function<void()> first = hostdouble::TakeTask();
        const boost::function<void()> second = hostdouble::TakeTask();
        boost::thread stalled(first);
        ASSERT_TRUE(hostdouble::WaitForRequests(1));
        const int calls = watcher.calls();

        std::future<void> done = std::async(std::launch::async, [second] { second(); });
        const bool returned = done.wait_for(kBound) == std::future_status::ready;
        const std::size_t requests = hostdouble::RequestCount();
        hostdouble::ReleaseStalls();
        stalled.join();
        EXPECT_TRUE(returned) << "the second refresh waited for the first";
        EXPECT_EQ(1u, requests);
        EXPECT_EQ(calls + 1, watcher.calls());  // the first cycle's update, nothing of the second
    }

    stress::TelegraphWatcher telegraphWatcher_;
    stress::DepthWatcher depthWatcher_;
};

TEST_F(LateWorkTest, PostedTelegraphRefreshDuringAnotherReturnsAtOnce) {
    Telegraph()->Subscribe(&telegraphWatcher_);
    ExpectSecondPostedRefreshReturnsAtOnce(Telegraph(), telegraphWatcher_);
}

TEST_F(LateWorkTest, PostedDepthRefreshDuringAnotherReturnsAtOnce) {
    Depth()->Subscribe(&depthWatcher_);
    ExpectSecondPostedRefreshReturnsAtOnce(Depth(), depthWatcher_);
}

// Waits for the refresh thread's second cycle, ten seconds after the first.
TEST_F(LateWorkTest, TelegraphThreadCycleDuringAPostedRefreshSendsNothing) {
    CTelegraphPublisher* telegraph = Telegraph();
    hostdouble::SetSyncHandler([](const Request&) { return Answer::Stall(); });
    telegraph->Subscribe(&telegraphWatcher_);
    telegraph->Refresh();
    boost::thread stalled(hostdouble::TakeTask());
    ASSERT_TRUE(hostdouble::WaitForRequests(1));

    const bool cycled =
        WaitUntil([telegraph] { return telegraph->threadCycleCount() > 1; }, std::chrono::seconds(15));
    const std::size_t requests = hostdouble::RequestCount();
    hostdouble::ReleaseStalls();
    stalled.join();
    EXPECT_TRUE(cycled) << "the thread's cycle waited for the posted one";
    EXPECT_EQ(1u, requests);
}

TEST_F(LateWorkTest, CompletionsOfOnePublisherRunSideBySide) {
    LoadDepth();
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        Meeting meeting(2);
        bool met[2] = {false, false};
        operation.issue([&] { met[0] = meeting.Arrive(); });
        operation.issue([&] { met[1] = meeting.Arrive(); });
        const Pending a = TakePending();
        const Pending b = TakePending();
        std::thread other(b);
        a();
        other.join();
        EXPECT_TRUE(met[0] && met[1]) << "one completion waited for the other";
    }
}

TEST_F(LateWorkTest, CallbackMayWaitForASiblingAndRequestAgain) {
    LoadDepth();
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        Pending sibling;
        bool siblingReturned = false;
        std::size_t requestsBefore = 0;
        operation.issue([&] {
            std::future<void> done = std::async(std::launch::async, sibling);
            siblingReturned = done.wait_for(kBound) == std::future_status::ready;
            requestsBefore = hostdouble::RequestCount();
            operation.issue([] {});
            EXPECT_EQ(requestsBefore + 1, hostdouble::RequestCount());
        });
        operation.issue([] {});
        const Pending first = TakePending();
        sibling = TakePending();
        first();
        EXPECT_TRUE(siblingReturned) << "the sibling completion waited for the callback";
        while (hostdouble::PendingCount() > 0)
            hostdouble::TakeNext();
    }
}

TEST_F(LateWorkTest, TeardownWaitsForARunningCallbackAndThenCallsNothing) {
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false, release = false;
    int calls = 0;
    const auto hold = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        ++calls;
        inside = true;
        changed.notify_all();
        changed.wait_for(lock, kBound, [&] { return release; });
    };
    GetExclusivePublisher()->RequestColumnList([&](const std::list<ExclusiveColumn>&) { hold(); });
    GetExclusivePublisher()->RequestColumnList([&](const std::list<ExclusiveColumn>&) { hold(); });
    const Pending running = TakePending();
    const Pending late = TakePending();
    std::thread network(running);
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, kBound, [&] { return inside; }));
    }

    std::future<void> teardown = std::async(std::launch::async, &DestroyAllPublisher);
    const bool waited = teardown.wait_for(std::chrono::milliseconds(200)) == std::future_status::timeout;
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    network.join();
    teardown.wait();
    late();
    EXPECT_TRUE(waited) << "teardown returned while a callback ran";
    EXPECT_EQ(1, calls);
}

}  // namespace
