// Hostile arguments at the interface, across every publisher: null and unknown
// subscribers, empty and huge stock codes, thousands of ids, dates out of
// order, empty callbacks. Each gets its feed's behaviour and nothing else: no
// extra request, log line or call.

#include <chrono>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include <QString>

#include <gtest/gtest.h>

#include "news_center/feeds/depth_publisher.h"
#include "news_center/feeds/telegraph_publisher.h"
#include "tests/bodies.h"
#include "tests/stress_support.h"
#include "tests/test_support.h"

using hostdouble::Request;
using testsupport::Recorder;

namespace {

std::string Utf8(const std::wstring& text) { return QString::fromStdWString(text).toUtf8().toStdString(); }

// Answers the oldest pending completion as the service would.
void CompleteAsTheService() {
    hostdouble::Request request;
    const HttpCompletion completion = hostdouble::TakeNext(&request);
    const std::string body = body::For(request.path);
    completion(true, body.data(), static_cast<long long>(body.size()));
}

// Waits for the refresh thread's first cycle, which finds nobody and then
// sleeps for the rest of the test.
template <class Publisher>
bool WaitUntilIdle(const Publisher* publisher) {
    for (int i = 0; i < 5000 && publisher->threadCycleCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return publisher->threadCycleCount() > 0;
}

// Observers outlive the publishers (destroyed in TearDown): a refresh thread's
// first cycle may still find them registered.
class InterfaceInputTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        testsupport::SilenceQtDebug();
    }

    stress::Watchers registered_;
    stress::Watchers strangers_;
};

TEST_F(InterfaceInputTest, NullObserversAreNeverRegistered) {
    CTelegraphPublisher* telegraph = static_cast<CTelegraphPublisher*>(GetTelegraphPublisher());
    CDepthPublisher* depth = static_cast<CDepthPublisher*>(GetDepthPublisher());
    telegraph->Subscribe(nullptr);
    depth->Subscribe(nullptr);
    telegraph->Unsubscribe(nullptr);
    depth->Unsubscribe(nullptr);
    telegraph->Subscribe(nullptr);
    depth->Subscribe(nullptr);
    stress::AnswerSyncRequests();
    telegraph->Refresh();
    depth->Refresh();
    hostdouble::RunPendingTasks();
    // A refresh with nobody registered fetches nothing.
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(InterfaceInputTest, NullAndUnknownSubscribersLeaveDeliveryToTheRegisteredOnes) {
    const stress::Publishers publishers;
    stress::Watchers& registered = registered_;
    stress::Watchers& strangers = strangers_;
    publishers.telegraph->Subscribe(nullptr);
    publishers.depth->Subscribe(nullptr);
    publishers.stockNews->Attach(nullptr);
    publishers.announcement->Attach(nullptr);
    publishers.unusualTrading->Attach(nullptr);
    publishers.essence->Attach(nullptr);
    publishers.landMine->Attach(nullptr);
    registered.Subscribe(publishers);
    // Detaching a null or a never-attached subscriber must not drop a registered one.
    publishers.stockNews->Detach(nullptr);
    publishers.announcement->Detach(nullptr);
    publishers.unusualTrading->Detach(nullptr);
    publishers.essence->Detach(nullptr);
    publishers.landMine->Detach(nullptr);
    strangers.Unsubscribe(publishers);

    const int attachCalls = registered.announcement.calls();
    EXPECT_EQ(1, attachCalls);
    publishers.announcement->RequestStockAnnouncementList(L"600000", 1, 20);
    publishers.stockNews->RequestStockNewsList(1, L"600000", 0, 0, 20);
    publishers.unusualTrading->FetchStockUnusualTrading(L"600000");
    publishers.landMine->RequestStockLandMineList(L"600000", 20261201, 20261205);
    publishers.essence->FetchInformationEssence(0, 0, 50);
    while (hostdouble::PendingCount() > 0)
        CompleteAsTheService();

    EXPECT_EQ(2, registered.announcement.calls());
    EXPECT_EQ(2, registered.stockNews.calls());
    EXPECT_EQ(2, registered.unusualTrading.calls());
    EXPECT_EQ(3, registered.landMine.calls());  // the reset value, then the answer
    EXPECT_GE(registered.essence.calls(), 2);   // the worker's own fetch may have been answered too
    EXPECT_EQ(0, strangers.telegraph.calls() + strangers.depth.calls() + strangers.announcement.calls() +
                     strangers.stockNews.calls() + strangers.unusualTrading.calls() + strangers.essence.calls() +
                     strangers.landMine.calls());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(InterfaceInputTest, EmptyStockCodeIsSentAsItStandsExceptForLandMines) {
    Recorder<StockAnnouncement> announcements;
    Recorder<StockNewsInfo> news;
    Recorder<StockUnusualTradingInfo> trading;
    Recorder<StockLandMine> mines;
    GetStockAnnouncement()->Attach(&announcements);
    GetStockNews()->Attach(&news);
    GetStockUnusualTrading()->Attach(&trading);
    GetStockLandMine()->Attach(&mines);

    GetStockAnnouncement()->RequestStockAnnouncementList(L"", 1, 20);
    GetStockNews()->RequestStockNewsList(2, L"", 0, 0, 20);
    GetStockUnusualTrading()->FetchStockUnusualTrading(L"");
    GetStockLandMine()->RequestStockLandMineList(L"", 20261201, 20261205);

    ASSERT_EQ(3u, hostdouble::RequestCount());
    const std::vector<Request> requests = hostdouble::Requests();
    EXPECT_TRUE(requests[0].has("stock"));
    EXPECT_EQ("", requests[0].param("stock"));
    EXPECT_TRUE(requests[1].has("unique_key"));
    EXPECT_EQ("", requests[1].param("unique_key"));
    EXPECT_EQ("[\"\"]", requests[2].param("stock_arr"));
    // The land-mine request stops after its reset value.
    ASSERT_EQ(2u, mines.count());
    EXPECT_EQ(L"", mines.last().stock);
    EXPECT_TRUE(mines.last().items.empty());

    while (hostdouble::PendingCount() > 0)
        CompleteAsTheService();
    ASSERT_EQ(2u, announcements.count());
    EXPECT_EQ(L"", announcements.last().stock);
    EXPECT_EQ(1u, announcements.last().items.size());
    ASSERT_EQ(2u, news.count());
    EXPECT_EQ(1u, news.last().items.size());
    ASSERT_EQ(2u, trading.count());
    EXPECT_EQ(1u, trading.last().groups.size());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(InterfaceInputTest, HugeStockCodeGoesOutWholeAndComesBackAsPassed) {
    // Characters the URL and the one-element array must carry as they are.
    std::wstring code;
    while (code.size() < 60000)
        code += L"600000\u4e2d\u00e9&=?%\" ";
    Recorder<StockAnnouncement> announcements;
    Recorder<StockNewsInfo> news;
    Recorder<StockUnusualTradingInfo> trading;
    Recorder<StockLandMine> mines;
    GetStockAnnouncement()->Attach(&announcements);
    GetStockNews()->Attach(&news);
    GetStockUnusualTrading()->Attach(&trading);
    GetStockLandMine()->Attach(&mines);

    GetStockAnnouncement()->RequestStockAnnouncementList(code, 1, 20);
    GetStockNews()->RequestStockNewsList(1, code, 0, 0, 20);
    GetStockUnusualTrading()->FetchStockUnusualTrading(code);
    GetStockLandMine()->RequestStockLandMineList(code, 20261201, 20261205);

    const std::string utf8 = Utf8(code);
    const std::vector<Request> requests = hostdouble::Requests();
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ(utf8, requests[0].param("stock"));
    EXPECT_EQ(utf8, requests[1].param("unique_key"));
    EXPECT_EQ("[\"" + utf8 + "\"]", requests[2].param("stock_arr"));
    EXPECT_EQ(utf8, requests[3].param("stock"));
    while (hostdouble::PendingCount() > 0)
        CompleteAsTheService();
    EXPECT_EQ(code, announcements.last().stock);
    EXPECT_EQ(code, news.last().stock);
    EXPECT_EQ(code, trading.last().stock);
    EXPECT_EQ(code, mines.last().stock);
    ASSERT_EQ(1u, mines.last().items.size());
    EXPECT_TRUE(hostdouble::Logs().empty());

    // The land-mine cache keys on the whole code: the same days come from it.
    GetStockLandMine()->RequestStockLandMineList(code, 20261202, 20261204);
    EXPECT_EQ(4u, hostdouble::RequestCount());
    EXPECT_EQ(1u, mines.last().items.size());
}

TEST_F(InterfaceInputTest, ThousandsOfIdsMakeOneRequestAndOneMap) {
    std::vector<unsigned int> ids;
    std::string expectedText;
    for (unsigned int i = 0; i < 5000; ++i) {
        const unsigned int id = i % 10 == 0 ? 0 : 4294967295u - i % 2500;  // zeros, large ids, duplicates
        ids.push_back(id);
        if (id != 0)
            expectedText += (expectedText.empty() ? "" : ",") + std::to_string(id);
    }
    int calls = 0;
    CountInfoMap delivered;
    GetCommonPublisher()->RequestCountInfo(ids, [&](const CountInfoMap& map) {
        ++calls;
        delivered = map;
    });
    ASSERT_EQ(1u, hostdouble::RequestCount());
    EXPECT_EQ(expectedText, hostdouble::Requests()[0].param("ids"));

    std::string reading;
    for (unsigned int id = 1; id <= 5000; ++id)
        reading += (reading.empty() ? "\"" : ",\"") + std::to_string(id) + "\":" + std::to_string(id % 97);
    hostdouble::CompleteNext(true, "{\"errno\":0,\"data\":{\"reading_num\":{" + reading + "}}}");
    ASSERT_EQ(1, calls);
    ASSERT_EQ(5000u, delivered.size());
    EXPECT_EQ(4999 % 97, delivered[4999].reading_num);
    EXPECT_EQ(0, delivered[4999].comment_num);
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(InterfaceInputTest, LandMineDatesOutOfOrderPublishOnlyTheReset) {
    hostdouble::SetServerDate(20261206);
    Recorder<StockLandMine> mines;
    IStockLandMine* landMine = GetStockLandMine();
    landMine->Attach(&mines);
    landMine->RequestStockLandMineList(L"600000", 20261205, 20261201);  // start after end
    landMine->RequestStockLandMineList(L"600000", 20261207, 0);         // start after today
    landMine->RequestStockLandMineList(L"600000", 0, 20261205);         // no start
    landMine->RequestStockLandMineList(L"600000", 0, 0);
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(5u, mines.count());  // the attach, then one reset per call
    EXPECT_TRUE(hostdouble::Logs().empty());

    // A single day, and today through an absent end date, are in order.
    landMine->RequestStockLandMineList(L"600000", 20261205, 20261205);
    landMine->RequestStockLandMineList(L"000001", 20261206, 0);
    ASSERT_EQ(2u, hostdouble::RequestCount());
    const std::vector<Request> requests = hostdouble::Requests();
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261205, 0, 0, 0)), requests[0].param("start"));
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261205, 23, 59, 59)), requests[0].param("end"));
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261206, 23, 59, 59)), requests[1].param("end"));
}

TEST_F(InterfaceInputTest, TimelineDatesPassThroughUncheckedAndNullReadsAsEmpty) {
    ITimelinePublisher* timeline = GetTimelinePublisher();
    int calls = 0;
    timeline->RequestReddot(L"2026-12-31", L"2026-12-01", [&calls](const std::list<TimelineReddot>&) { ++calls; });
    timeline->RequestReddot(nullptr, nullptr, [&calls](const std::list<TimelineReddot>&) { ++calls; });
    timeline->RequestEventList(nullptr, [&calls](const std::list<TimelineEvent>&) { ++calls; });
    const std::vector<Request> requests = hostdouble::Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("2026-12-31", requests[0].param("start_date"));
    EXPECT_EQ("2026-12-01", requests[0].param("end_date"));
    EXPECT_TRUE(requests[1].has("start_date"));
    EXPECT_EQ("", requests[1].param("start_date"));
    EXPECT_EQ("", requests[1].param("end_date"));
    EXPECT_TRUE(requests[2].has("date"));
    EXPECT_EQ("", requests[2].param("date"));
    while (hostdouble::PendingCount() > 0)
        CompleteAsTheService();
    EXPECT_EQ(3, calls);
}

TEST_F(InterfaceInputTest, EmptyDepthCallbackStartsOverOnAnEmptyCacheAndIsOtherwiseIgnored) {
    CDepthPublisher* depth = static_cast<CDepthPublisher*>(GetDepthPublisher());
    depth->RequestEarlierDepth(DepthArticleCallback());
    EXPECT_EQ(0u, hostdouble::RequestCount());
    ASSERT_EQ(1u, hostdouble::PendingTaskCount());  // the refresh that replaces the page

    ASSERT_TRUE(WaitUntilIdle(depth));
    depth->Subscribe(&registered_.depth);
    stress::AnswerSyncRequests();
    hostdouble::RunPendingTasks();
    const std::size_t requests = hostdouble::RequestCount();
    ASSERT_GT(requests, 0u);
    depth->RequestEarlierDepth(DepthArticleCallback());
    EXPECT_EQ(requests, hostdouble::RequestCount());
    EXPECT_EQ(0u, hostdouble::PendingTaskCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
