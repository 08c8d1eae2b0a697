// The shape the four per-stock publishers share, driven through the
// announcement publisher. The other publishers' tests check only that their
// own texts, requests and records are wired into it.

#include "news_center/common/subject_publisher.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using testsupport::Recorder;

namespace {

const std::wstring kOperation = L"CStockAnnouncementPublisher::RequestStockAnnouncementList";

std::string PageOf(const std::string& title) {
    return "{\"errno\":0,\"data\":{\"list\":[{\"title\":\"" + title + "\"}]}}";
}

class StockPublisherShapeTest : public hostdouble::HostDoubleTest {
protected:
    IStockAnnouncement* publisher() { return GetStockAnnouncement(); }
    void Ask(const std::wstring& stock) { publisher()->RequestStockAnnouncementList(stock, 1, 20); }
};

TEST_F(StockPublisherShapeTest, EveryCallSendsItsOwnAsynchronousRequest) {
    Ask(L"600000");
    Ask(L"600000");
    const std::vector<hostdouble::Request> requests = hostdouble::Requests();
    ASSERT_EQ(2u, requests.size());
    for (const hostdouble::Request& request : requests) {
        EXPECT_FALSE(request.sync);
        EXPECT_EQ(30, request.timeout);
    }
    EXPECT_EQ(2u, hostdouble::PendingCount());
}

TEST_F(StockPublisherShapeTest, FailuresKeepTheValueAndNotifyNobody) {
    Ask(L"600000");
    hostdouble::CompleteNext(true, PageOf("kept"));
    Recorder<StockAnnouncement> recorder;
    publisher()->Attach(&recorder);

    Ask(L"600001");
    hostdouble::CompleteNext(false, PageOf("lost"));  // a body with a failed transfer is not read
    Ask(L"600001");
    hostdouble::CompleteNext(true, "");
    Ask(L"600001");
    hostdouble::CompleteNextRaw(true, nullptr, 12);
    const std::string cut = PageOf("lost").substr(0, 20);
    Ask(L"600001");
    hostdouble::CompleteNext(true, cut);

    EXPECT_EQ(1u, recorder.count());
    EXPECT_EQ(2u, hostdouble::Logs().size());  // which: failure_log_test.cpp

    Recorder<StockAnnouncement> late;
    publisher()->Attach(&late);
    ASSERT_EQ(1u, late.last().items.size());
    EXPECT_EQ(L"kept", late.last().items.front().title);
    EXPECT_EQ(L"600000", late.last().stock);
}

TEST_F(StockPublisherShapeTest, NonZeroErrnoIsLoggedAndTheValueStillPublished) {
    Recorder<StockAnnouncement> recorder;
    publisher()->Attach(&recorder);
    Ask(L"600000");
    hostdouble::CompleteNext(true, PageOf("old"));
    Ask(L"300750");
    hostdouble::CompleteNext(true, "{\"errno\":1}");

    EXPECT_EQ(1u, hostdouble::CountLogs(kOperation + L" Error Code: 1"));
    EXPECT_EQ(1u, hostdouble::Logs().size());
    ASSERT_EQ(3u, recorder.count());
    EXPECT_EQ(L"300750", recorder.last().stock);
    EXPECT_TRUE(recorder.last().items.empty());
}

TEST_F(StockPublisherShapeTest, ResponsesArePublishedInArrivalOrder) {
    Recorder<StockAnnouncement> recorder;
    publisher()->Attach(&recorder);
    Ask(L"S1");
    Ask(L"S2");
    HttpCompletion first = hostdouble::TakeNext();
    HttpCompletion second = hostdouble::TakeNext();
    const std::string body2 = PageOf("two"), body1 = PageOf("one");
    second(true, body2.data(), static_cast<long long>(body2.size()));
    first(true, body1.data(), static_cast<long long>(body1.size()));

    const std::vector<StockAnnouncement> values = recorder.values();
    ASSERT_EQ(3u, values.size());
    EXPECT_EQ(L"S2", values[1].stock);
    EXPECT_EQ(L"S1", values[2].stock);
    EXPECT_EQ(L"one", values[2].items.front().title);
}

TEST_F(StockPublisherShapeTest, CompletionAfterTeardownTouchesNothing) {
    Recorder<StockAnnouncement> recorder;
    publisher()->Attach(&recorder);
    Ask(L"600000");
    Ask(L"600001");
    HttpCompletion late = hostdouble::TakeNext();
    HttpCompletion failed = hostdouble::TakeNext();
    DestroyAllPublisher();

    const std::string body = "{\"errno\":3,\"data\":{\"list\":[{}]}}";
    late(true, body.data(), static_cast<long long>(body.size()));
    failed(false, nullptr, 0);
    EXPECT_EQ(1u, recorder.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(StockPublisherShapeTest, ManyConcurrentCompletionsArePublishedWhole) {
    const int kRequests = 200;
    Recorder<StockAnnouncement> recorder;
    publisher()->Attach(&recorder);
    for (int i = 0; i < kRequests; ++i)
        Ask(L"S" + std::to_wstring(i));
    // Each page carries its own stock code as the title.
    hostdouble::DeliverConcurrently(
        [](const hostdouble::Request& request, std::size_t) { return PageOf(request.param("stock")); });

    // Completions run side by side, so a value may be delivered twice and
    // another never; each is whole, and the last delivered is the one kept.
    const std::vector<StockAnnouncement> values = recorder.values();
    ASSERT_EQ(static_cast<std::size_t>(kRequests + 1), values.size());
    for (std::size_t i = 1; i < values.size(); ++i) {
        ASSERT_EQ(1u, values[i].items.size());
        EXPECT_EQ(values[i].stock, values[i].items.front().title);
    }
    Recorder<StockAnnouncement> late;
    publisher()->Attach(&late);
    EXPECT_EQ(values.back().stock, late.last().stock);
    EXPECT_EQ(values.back().items.front().title, late.last().items.front().title);
}

TEST_F(StockPublisherShapeTest, PublisherAfterTeardownStartsFreshWithoutSubscribers) {
    Recorder<StockAnnouncement> old;
    publisher()->Attach(&old);
    Ask(L"600000");
    hostdouble::CompleteNext(true, PageOf("x"));
    DestroyAllPublisher();

    Recorder<StockAnnouncement> fresh;
    publisher()->Attach(&fresh);
    EXPECT_TRUE(fresh.last().stock.empty());
    Ask(L"600001");
    hostdouble::CompleteNext(true, PageOf("y"));
    EXPECT_EQ(2u, old.count());
    ASSERT_EQ(2u, fresh.count());
    EXPECT_EQ(L"600001", fresh.last().stock);
}

}  // namespace
