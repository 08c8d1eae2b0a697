#include "news_center/feeds/telegraph_publisher.h"

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/bodies.h"
#include "tests/test_support.h"

using body::Element;
using hostdouble::Answer;
using hostdouble::Request;
using testsupport::Ids;

namespace {

using testsupport::WaitUntil;

const bool g_quiet = (testsupport::SilenceQtDebug(), true);
const auto Page = body::RollPage;

struct Event {
    enum Kind { Begin, Update, Counters };
    explicit Event(Kind what) : kind(what) {}
    Kind kind;
    bool failed = false;
    TelegraphUpdate changes;
    CountInfoMap counters;
    std::thread::id thread = std::this_thread::get_id();
};

class Recorder : public ITelegraphObserver {
public:
    void OnTelegraphRefreshBegin() override { Add(Event(Event::Begin)); }
    void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) override {
        Event event(Event::Update);
        event.failed = failed;
        event.changes = changes;
        Add(event);
    }
    void OnTelegraphCountersUpdate(CountInfoMap counters) override {
        Event event(Event::Counters);
        event.counters = counters;
        Add(event);
    }

    // Events since the last call.
    std::vector<Event> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Event> events;
        events.swap(events_);
        return events;
    }
    std::size_t count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.size();
    }

private:
    void Add(const Event& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    std::mutex mutex_;
    std::vector<Event> events_;
};

using ListCapture = testsupport::Capture<bool, const std::list<TelegraphInfo>&>;

// Waits until the refresh thread has run its first (idle) cycle: it then
// sleeps 10 s, so it cannot meet a subscriber during a short test.
void WaitForThreadToSleep(CTelegraphPublisher* publisher) {
    ASSERT_TRUE(WaitUntil([publisher] { return publisher->threadCycleCount() > 0; }));
}

// A refresh's notifications: Begin, then one Update with `failed`.
TelegraphUpdate ExpectRefresh(Recorder& recorder, bool failed) {
    const std::vector<Event> events = recorder.Take();
    EXPECT_EQ(2u, events.size());
    if (events.size() != 2)
        return TelegraphUpdate();
    EXPECT_EQ(Event::Begin, events[0].kind);
    EXPECT_EQ(Event::Update, events[1].kind);
    EXPECT_EQ(failed, events[1].failed);
    return events[1].changes;
}

std::vector<Request> SyncRequests() {
    std::vector<Request> syncs;
    for (const Request& request : hostdouble::Requests())
        if (request.sync)
            syncs.push_back(request);
    return syncs;
}

// `count` adds with ids first.., sort scores falling from 10000 and
// operation times falling from firstOperationTime.
std::vector<std::string> Adds(int first, int count, unsigned long long firstOperationTime) {
    std::vector<std::string> elements;
    for (int i = 0; i < count; ++i)
        elements.push_back(Element("add", first + i, 10000 - i, 1, firstOperationTime - i));
    return elements;
}

class TelegraphPublisherTest : public hostdouble::HostDoubleTest {
protected:
    CTelegraphPublisher* publisher() {
        CTelegraphPublisher* publisher = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
        WaitForThreadToSleep(publisher);
        return publisher;
    }

    // Runs one refresh cycle on this thread, the way Refresh posts it.
    void RunRefresh(const std::string& body) {
        hostdouble::QueueSyncAnswer(Answer::Ok(body));
        RunRefresh();
    }
    void RunRefresh() {
        publisher()->Refresh();
        hostdouble::RunPendingTasks();
    }

    // Subscribes `recorder` and loads `elements` as a first load.
    void Load(Recorder& recorder, const std::vector<std::string>& elements, unsigned long long time = 1000) {
        publisher()->Subscribe(&recorder);
        recorder.Take();
        RunRefresh(Page(time, elements));
        recorder.Take();
    }
};

TEST_F(TelegraphPublisherTest, NothingIsRequestedWithoutASubscriber) {
    CTelegraphPublisher* telegraph = publisher();
    telegraph->Refresh();
    EXPECT_EQ(1u, hostdouble::PendingTaskCount());
    hostdouble::RunPendingTasks();

    Recorder gone;
    telegraph->Subscribe(&gone);
    telegraph->Unsubscribe(&gone);
    telegraph->Unsubscribe(&gone);
    RunRefresh();
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(0u, gone.count());
}

TEST_F(TelegraphPublisherTest, MarksFollowTheResponsesFromFirstLoadToIncremental) {
    Recorder recorder;
    publisher()->Subscribe(&recorder);
    RunRefresh(Page(1000, {Element("add", 3, 300, 1, 50), Element("add", 2, 200, 1, 40),
                           Element("add", 9, 100, 0, 30)}));
    ASSERT_EQ(1u, SyncRequests().size());
    const Request first = SyncRequests()[0];
    EXPECT_EQ("/pc/roll/batch_show", first.path);
    EXPECT_EQ(30, first.timeout);
    EXPECT_EQ("0", first.param("last_time"));
    EXPECT_EQ("0", first.param("time"));
    EXPECT_EQ("0", first.param("refresh_type"));
    EXPECT_EQ("15", first.param("rn"));
    // A first load is not filtered: 9 has status 0.
    EXPECT_EQ((std::vector<int>{3, 2, 9}), Ids(ExpectRefresh(recorder, false).added));
    EXPECT_EQ("3,2,9", hostdouble::Requests().back().param("ids"));

    // Incremental: filtered, and the mark comes from the last element.
    RunRefresh(Page(900, {Element("modify", 3, 300, 1, 60, "edited"), Element("add", 4, 400, 0, 70),
                          Element("del", 2, 200, 0, 65)}));
    EXPECT_EQ("50", SyncRequests()[1].param("last_time"));
    EXPECT_EQ("1000", SyncRequests()[1].param("time"));
    EXPECT_EQ("15", SyncRequests()[1].param("rn"));
    const TelegraphUpdate changes = ExpectRefresh(recorder, false);
    EXPECT_TRUE(changes.added.empty());
    EXPECT_EQ((std::vector<int>{3}), Ids(changes.modified));
    EXPECT_EQ((std::list<int>{2}), changes.removedIds);

    RunRefresh(Page(1200, {}));
    EXPECT_EQ("65", SyncRequests()[2].param("last_time"));
    EXPECT_EQ("1000", SyncRequests()[2].param("time"));  // 900 did not lower it
    ExpectRefresh(recorder, false);
    RunRefresh();
    EXPECT_EQ("1200", SyncRequests()[3].param("time"));
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(TelegraphPublisherTest, FullFirstPageFetchesASecondPageTreatedAsIncremental) {
    Recorder recorder;
    publisher()->Subscribe(&recorder);
    std::vector<std::string> firstPage = Adds(1, 100, 500);
    firstPage[49] = Element("add", 50, 9951, 0, 451);  // kept: a first load is not filtered
    hostdouble::QueueSyncAnswer(Answer::Ok(Page(1000, firstPage)));
    hostdouble::QueueSyncAnswer(Answer::Ok(Page(2000, {Element("add", 200, 50000, 1, 600, "added"),
                                                       Element("modify", 200, 50000, 1, 610, "later"),
                                                       Element("add", 201, 40000, 0, 620),
                                                       Element("del", 1, 10000, 0, 605)})));
    RunRefresh();

    const std::vector<Request> syncs = SyncRequests();
    ASSERT_EQ(2u, syncs.size());
    EXPECT_EQ("500", syncs[1].param("last_time"));  // first element of the first load
    EXPECT_EQ("1000", syncs[1].param("time"));
    const TelegraphUpdate changes = ExpectRefresh(recorder, false);
    ASSERT_EQ(101u, changes.added.size());
    EXPECT_EQ(200, changes.added.front().id);
    EXPECT_EQ(L"added", changes.added.front().content);  // the modify was collapsed away
    EXPECT_TRUE(changes.modified.empty());
    EXPECT_EQ((std::list<int>{1}), changes.removedIds);
    const std::vector<int> ids = Ids(changes.added);
    EXPECT_EQ(1, std::count(ids.begin(), ids.end(), 50));
    EXPECT_EQ(0, std::count(ids.begin(), ids.end(), 201));

    RunRefresh(Page(2000, {}));
    EXPECT_EQ("605", SyncRequests()[2].param("last_time"));  // last element of the second page
}

TEST_F(TelegraphPublisherTest, FailedTransferReportsFailedAndKeepsAFirstLoad) {
    Recorder recorder;
    publisher()->Subscribe(&recorder);
    RunRefresh();  // the double fails with an empty body
    const TelegraphUpdate nothing = ExpectRefresh(recorder, true);
    EXPECT_TRUE(nothing.added.empty() && nothing.modified.empty() && nothing.removedIds.empty());
    EXPECT_EQ(0u, hostdouble::PendingCount());  // no counters for an empty cache

    // A failed transfer that still brought a body is read, and still failed.
    hostdouble::QueueSyncAnswer(Answer{false, Page(1000, {Element("add", 1, 100, 1, 10)}), false});
    RunRefresh();
    EXPECT_EQ("0", SyncRequests()[1].param("last_time"));
    EXPECT_EQ((std::vector<int>{1}), Ids(ExpectRefresh(recorder, true).added));
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(TelegraphPublisherTest, UnreadableBodyEndsThePageLoopSilently) {
    Recorder recorder;
    publisher()->Subscribe(&recorder);
    std::string first = Page(1000, Adds(1, 100, 500));
    first.replace(first.find("\"errno\":0"), 9, "\"errno\":5");
    hostdouble::QueueSyncAnswer(Answer::Ok(first));
    hostdouble::QueueSyncAnswer(Answer::Ok("{\"data\":{\"list\":[{\"id\""));
    RunRefresh();
    EXPECT_EQ(2u, SyncRequests().size());
    EXPECT_EQ(100u, ExpectRefresh(recorder, false).added.size());
    EXPECT_TRUE(hostdouble::Logs().empty());  // neither the parse error nor "errno" is logged
}

TEST_F(TelegraphPublisherTest, TelegraphsAlreadyCachedAreNotAddedAgain) {
    Recorder recorder;
    Load(recorder, {Element("add", 1, 100, 1, 10, "original")});
    RunRefresh(Page(1000, {Element("add", 1, 100, 1, 20, "again"), Element("show", 1, 100, 1, 21)}));
    EXPECT_TRUE(ExpectRefresh(recorder, false).added.empty());

    Recorder late;
    publisher()->Subscribe(&late);
    const TelegraphUpdate handOver = ExpectRefresh(late, false);
    ASSERT_EQ(1u, handOver.added.size());
    EXPECT_EQ(L"original", handOver.added.front().content);
}

TEST_F(TelegraphPublisherTest, RefreshThatEmptiesTheCacheStartsOverWithAFirstLoad) {
    Recorder recorder;
    Load(recorder, {Element("add", 1, 100, 1, 10)}, 100);
    const std::size_t asyncBefore = hostdouble::PendingCount();
    RunRefresh(Page(100, {Element("del", 1, 100, 0, 20)}));
    EXPECT_EQ((std::list<int>{1}), ExpectRefresh(recorder, false).removedIds);
    EXPECT_EQ(asyncBefore, hostdouble::PendingCount());  // no counters for an empty cache

    RunRefresh(Page(100, {}));
    EXPECT_EQ("0", SyncRequests().back().param("last_time"));
    EXPECT_EQ("100", SyncRequests().back().param("time"));
}

TEST_F(TelegraphPublisherTest, SubscribeHandsTheWholeCacheToTheNewcomerOnly) {
    CTelegraphPublisher* telegraph = publisher();
    Recorder early, first, newcomer;
    telegraph->Subscribe(&early);
    telegraph->Subscribe(nullptr);
    EXPECT_EQ(0u, early.count());  // nothing cached yet

    Load(first, {Element("add", 1, 100, 1, 10), Element("add", 2, 200, 1, 11)});
    RunRefresh(Page(1000, {Element("modify", 1, 100, 1, 20, "edited")}));
    early.Take();
    first.Take();

    telegraph->Subscribe(&newcomer);
    const TelegraphUpdate handOver = ExpectRefresh(newcomer, false);
    EXPECT_EQ((std::vector<int>{2, 1}), Ids(handOver.added));
    EXPECT_EQ(L"edited", handOver.added.back().content);
    EXPECT_EQ((std::vector<int>{1}), Ids(handOver.modified));  // as the last refresh left it
    EXPECT_EQ(0u, early.count() + first.count());

    telegraph->Subscribe(&newcomer);
    EXPECT_EQ(0u, newcomer.count());

    telegraph->Unsubscribe(&first);
    RunRefresh(Page(1000, {}));
    EXPECT_EQ(0u, first.count());
    ExpectRefresh(early, false);
    ExpectRefresh(newcomer, false);
}

TEST_F(TelegraphPublisherTest, CountersOfTheFifteenNewestReachEveryObserver) {
    Recorder one, two;
    publisher()->Subscribe(&two);
    Load(one, Adds(1, 20, 500));
    two.Take();
    const Request counters = hostdouble::Requests().back();
    EXPECT_EQ("/pc/information/get_count_by_ids", counters.path);
    EXPECT_EQ("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", counters.param("ids"));

    hostdouble::CompleteNext(true, "{\"data\":{\"reading_num\":{\"3\":30},\"comment_num\":{\"3\":4}}}");
    for (Recorder* recorder : {&one, &two}) {
        const std::vector<Event> events = recorder->Take();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(Event::Counters, events[0].kind);
        ASSERT_EQ(1u, events[0].counters.size());
        EXPECT_EQ(30, events[0].counters.at(3).reading_num);
        EXPECT_EQ(4, events[0].counters.at(3).comment_num);
    }
}

TEST_F(TelegraphPublisherTest, OlderPageIsCachedAndLowersTheEarliestSortScore) {
    CTelegraphPublisher* telegraph = publisher();
    ListCapture capture;
    telegraph->RequestEarlierTelegraph(555, capture.callback());
    const Request request = hostdouble::Requests().back();
    EXPECT_FALSE(request.sync);
    EXPECT_EQ(5, request.timeout);
    EXPECT_EQ("555", request.param("last_time"));
    EXPECT_EQ("0", request.param("time"));
    EXPECT_EQ("1", request.param("refresh_type"));
    EXPECT_EQ("10", request.param("rn"));
    hostdouble::CompleteNext(
        true, Page(0, {Element("add", 7, 700, 0), Element("modify", 8, 800), Element("del", 9, 900),
                       Element("add", 7, 700), Element("show", 11, 1100),
                       "{\"id\":12,\"type\":0,\"operation\":\"add\",\"info\":{\"id\":12}}"}));
    EXPECT_EQ(1, capture.calls());
    EXPECT_FALSE(capture.last<0>());
    EXPECT_EQ((std::vector<int>{7, 8, 7}), Ids(capture.last<1>()));

    // With 700 now the oldest cached score, a "show" at 750 is ours and one at 650 is not.
    Recorder recorder;
    telegraph->Subscribe(&recorder);
    EXPECT_EQ((std::vector<int>{8, 7}), Ids(ExpectRefresh(recorder, false).added));
    RunRefresh(Page(3000, {Element("show", 12, 750), Element("show", 13, 650)}));
    EXPECT_EQ((std::vector<int>{12}), Ids(ExpectRefresh(recorder, false).added));

    telegraph->RequestEarlierTelegraph(0, TelegraphListCallback());
    const Request zero = hostdouble::Requests().back();
    EXPECT_EQ("3000", zero.param("time"));
    EXPECT_EQ("0", zero.param("refresh_type"));
    EXPECT_EQ("15", zero.param("rn"));
}

TEST_F(TelegraphPublisherTest, OlderPageDeliversCachedTelegraphsAgainWithoutDuplicating) {
    Recorder recorder;
    Load(recorder, {Element("add", 1, 300, 1, 10), Element("add", 2, 200, 1, 11, "cached")});
    ListCapture capture;
    publisher()->RequestEarlierTelegraph(200, capture.callback());
    while (hostdouble::PendingCount() > 1)  // the refresh's counters request
        hostdouble::TakeNext();
    hostdouble::CompleteNext(true, Page(0, {Element("add", 2, 200, 1, 0, "older"), Element("add", 3, 100)}));
    EXPECT_EQ((std::vector<int>{2, 3}), Ids(capture.last<1>()));
    EXPECT_EQ(L"older", capture.last<1>().front().content);

    Recorder late;
    publisher()->Subscribe(&late);
    const TelegraphUpdate handOver = ExpectRefresh(late, false);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Ids(handOver.added));
    EXPECT_EQ(L"cached", (++handOver.added.begin())->content);
    EXPECT_EQ(0u, recorder.count());  // subscribers are not told of an older page
}

// Their log lines: failure_log_test.cpp.
TEST_F(TelegraphPublisherTest, OlderPageFailuresStillCallBackAndOnlyATransferFailureSaysFailed) {
    CTelegraphPublisher* telegraph = publisher();
    ListCapture transport, parse, response, empty;
    telegraph->RequestEarlierTelegraph(1, transport.callback());
    hostdouble::CompleteNext(false, "");
    telegraph->RequestEarlierTelegraph(1, parse.callback());
    hostdouble::CompleteNext(true, "{\"errno\":0,\"data\":{\"list\":[");
    telegraph->RequestEarlierTelegraph(1, response.callback());
    hostdouble::CompleteNext(true, "{\"errno\":5,\"data\":{\"list\":[" + Element("add", 4, 400) + "]}}");
    telegraph->RequestEarlierTelegraph(1, empty.callback());
    hostdouble::CompleteNextRaw(true, nullptr, 12);

    EXPECT_EQ(1, transport.calls());
    EXPECT_TRUE(transport.last<0>());
    EXPECT_TRUE(transport.last<1>().empty());
    EXPECT_EQ(1, parse.calls());
    EXPECT_FALSE(parse.last<0>());
    EXPECT_TRUE(parse.last<1>().empty());
    EXPECT_EQ((std::vector<int>{4}), Ids(response.last<1>()));
    EXPECT_EQ(1, empty.calls());
    EXPECT_TRUE(empty.last<1>().empty());

    // Without a callback the page is still cached.
    telegraph->RequestEarlierTelegraph(1, TelegraphListCallback());
    hostdouble::CompleteNext(true, Page(0, {Element("add", 6, 600)}));
    Recorder recorder;
    telegraph->Subscribe(&recorder);
    EXPECT_EQ((std::vector<int>{6, 4}), Ids(ExpectRefresh(recorder, false).added));
}

TEST_F(TelegraphPublisherTest, WorkArrivingAfterTeardownTouchesNothing) {
    std::unique_ptr<CTelegraphPublisher> telegraph(new CTelegraphPublisher);
    WaitForThreadToSleep(telegraph.get());
    Recorder recorder;
    telegraph->Subscribe(&recorder);
    hostdouble::QueueSyncAnswer(Answer::Ok(Page(1000, {Element("add", 1, 100, 1, 10)})));
    telegraph->Refresh();
    hostdouble::RunPendingTasks();
    recorder.Take();
    ListCapture capture;
    telegraph->RequestEarlierTelegraph(1, capture.callback());
    telegraph->Refresh();

    // The counters request belongs to the article counter publisher, which outlives this one.
    const HttpCompletion counters = hostdouble::TakeNext();
    const HttpCompletion earlier = hostdouble::TakeNext();
    const boost::function<void()> task = hostdouble::TakeTask();
    telegraph.reset();

    const std::size_t requests = hostdouble::RequestCount();
    task();
    const std::string page = Page(0, {Element("add", 2, 200)});
    earlier(true, page.data(), static_cast<long long>(page.size()));
    earlier(false, nullptr, 0);
    const std::string counts = "{\"data\":{\"reading_num\":{\"1\":3}}}";
    counters(true, counts.data(), static_cast<long long>(counts.size()));

    EXPECT_EQ(requests, hostdouble::RequestCount());
    EXPECT_EQ(0, capture.calls());
    EXPECT_EQ(0u, recorder.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(TelegraphPublisherTest, DestroyingWhileTheThreadSleepsReturnsPromptly) {
    std::unique_ptr<CTelegraphPublisher> telegraph(new CTelegraphPublisher);
    WaitForThreadToSleep(telegraph.get());
    const auto start = std::chrono::steady_clock::now();
    telegraph.reset();
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::cout << "[ measure  ] destroying a sleeping publisher took " << ms << " ms" << std::endl;
    EXPECT_LT(ms, 2000);  // only catches a hang
}

// Waits for the refresh thread's second cycle, ten seconds after the first.
TEST_F(TelegraphPublisherTest, RefreshDuringTheThreadsOwnCycleSendsNothing) {
    CTelegraphPublisher* telegraph = publisher();
    std::atomic<bool> inside(false), release(false);
    const std::thread::id testThread = std::this_thread::get_id();
    hostdouble::SetSyncHandler([&](const Request&) {
        if (std::this_thread::get_id() != testThread) {
            inside = true;
            WaitUntil([&] { return release.load(); }, std::chrono::seconds(30));
        }
        return Answer::Fail();
    });
    Recorder recorder;
    telegraph->Subscribe(&recorder);
    ASSERT_TRUE(WaitUntil([&] { return inside.load(); }, std::chrono::seconds(15)));

    telegraph->Refresh();
    hostdouble::RunPendingTasks();
    EXPECT_EQ(1u, hostdouble::RequestCount());
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return recorder.count() == 2; }));
    const std::vector<Event> events = recorder.Take();
    EXPECT_NE(testThread, events[1].thread);
    EXPECT_TRUE(events[1].failed);
}

TEST_F(TelegraphPublisherTest, ConcurrentOlderPagesAndARefreshKeepEachIdOnce) {
    CTelegraphPublisher* telegraph = publisher();
    const int kPages = 40;
    std::vector<ListCapture> captures(kPages);
    for (int i = 0; i < kPages; ++i)
        telegraph->RequestEarlierTelegraph(static_cast<unsigned long long>(i + 1), captures[i].callback());
    Recorder recorder;
    telegraph->Subscribe(&recorder);
    hostdouble::QueueSyncAnswer(Answer::Ok(Page(1000, {Element("add", 5000, 5000, 1, 1)})));
    telegraph->Refresh();
    hostdouble::DeliverConcurrently(
        [](const Request&, std::size_t i) {
            return Page(0, {Element("add", static_cast<int>(i) + 1, 100 + i), Element("add", 5000, 5000)});
        },
        4, [] { hostdouble::RunPendingTasks(); });

    for (const ListCapture& capture : captures)
        EXPECT_EQ(1, capture.calls());
    Recorder late;
    telegraph->Subscribe(&late);
    const std::vector<int> ids = Ids(ExpectRefresh(late, false).added);
    EXPECT_EQ(static_cast<std::size_t>(kPages + 1), ids.size());
    EXPECT_EQ(ids.size(), std::set<int>(ids.begin(), ids.end()).size());
}

}  // namespace
