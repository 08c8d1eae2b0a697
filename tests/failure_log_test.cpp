// Every operation that reads an asynchronous answer, failed each way an answer
// can fail: the log lines it leaves (a failed transfer at level -1 through
// WriteProgramLogString, a parse error and a non-zero "errno" through
// WriteProgramLogNoMask; an empty or null body silently) and how often its
// callback or subscribers are still called.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace {

std::atomic<int> g_calls{0};

template <class T>
struct Counter : IUpdate1<T> {
    void Update(const T&) override { ++g_calls; }
};

template <class... Args>
auto Count() {
    return [](Args...) { ++g_calls; };
}

struct Operation {
    const wchar_t* transport;  // the whole line
    const wchar_t* parse;      // followed by the parser's error number
    const wchar_t* response;   // followed by the "errno"
    // Calls of the callback or subscribers after: a failed transfer, a body cut
    // in half, an empty body, a null body, an answer with "errno" 9.
    const char* calls;
    std::function<void()> send;
};

const std::wstring kStock = L"600000";

const Operation kOperations[] = {
    {L"CommonPublisher::RequestCountInfo Failed!", L"CommonPublisher::RequestCountInfo Json Parse Error Code: ",
     L"CommonPublisher::RequestCountInfo Response Error Code: ", "00001",
     [] { GetCommonPublisher()->RequestCountInfo({1, 2}, Count<const CountInfoMap&>()); }},
    {L"TelegraphPublisher::RequestEarlierTelegraph Failed!",
     L"TelegraphPublisher::RequestEarlierTelegraph Json Parse Error Code: ",
     L"TelegraphPublisher::RequestEarlierTelegraph Response Error Code: ", "11111",
     [] { GetTelegraphPublisher()->RequestEarlierTelegraph(5, Count<bool, const std::list<TelegraphInfo>&>()); }},
    {L"ExclusivePublisher::RequestColumnList Code fail", L"ExclusivePublisher::RequestColumnList Json Parse Error Code: ",
     L"DepthPublisher::RequestColumnList Response Error Code: ", "11111",
     [] { GetExclusivePublisher()->RequestColumnList(Count<const std::list<ExclusiveColumn>&>()); }},
    {L"ExclusivePublisher::RequestArticleList Code fail",
     L"ExclusivePublisher::RequestArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleList Response Error Code: ", "11111",
     [] { GetExclusivePublisher()->RequestArticleList(4, Count<int, const std::list<ExclusiveArticle>&>()); }},
    {L"ExclusivePublisher::RequestEarlierArticle Code fail",
     L"ExclusivePublisher::RequestEarlierArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestEarlierArticleList Response Error Code: ", "11111",
     [] {
         GetExclusivePublisher()->RequestEarlierArticleList(4, 100, Count<int, const std::list<ExclusiveArticle>&>());
     }},
    {L"ExclusivePublisher::RequestArticleListOp Code fail",
     L"ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleListOperation Response Error Code: ", "11111",
     [] { GetExclusivePublisher()->RequestArticleListOperation(4, Count<int, const ExclusiveUpdate&>()); }},
    {L"TimelinePublisher::RequestReddot Code fail", L"TimelinePublisher::RequestReddot Json Parse Error Code: ",
     L"TimelinePublisher::RequestReddot Response Error Code: ", "11111",
     [] { GetTimelinePublisher()->RequestReddot(L"a", L"b", Count<const std::list<TimelineReddot>&>()); }},
    {L"TimelinePublisher::RequestEventList Code fail", L"TimelinePublisher::RequestEventList Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventList Response Error Code: ", "11111",
     [] { GetTimelinePublisher()->RequestEventList(L"d", Count<const std::list<TimelineEvent>&>()); }},
    {L"TimelinePublisher::RequestEventDetail Code fail",
     L"TimelinePublisher::RequestEventDetail Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventDetail Response Error Code: ", "11111",
     [] { GetTimelinePublisher()->RequestEventDetail(1, Count<const TimelineEventDetail&>()); }},
    {L"CInformationEssence::FetchInformationEssence Code fail",
     L"CInformationEssence::FetchInformationEssence Json Parse Error Code: ",
     L"CInformationEssence::FetchInformationEssence Error Code: ", "00001",
     [] { GetInformationEssence()->FetchInformationEssence(0, 0, 50); }},
    {L"CStockAnnouncementPublisher::RequestStockAnnouncementList Code fail",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Json Parse Error Code: ",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Error Code: ", "00001",
     [] { GetStockAnnouncement()->RequestStockAnnouncementList(kStock, 1, 20); }},
    // Every request first publishes the stock with no items.
    {L"CStockLandMine::RequestStockLandMineList Code fail",
     L"CStockLandMine::RequestStockLandMineList Json Parse Error Code: ",
     L"CStockLandMine::RequestStockLandMineList Error Code: ", "11112",
     [] { GetStockLandMine()->RequestStockLandMineList(kStock, 20261201, 20261205); }},
    {L"CStockNews::RequestStockNewsList Code fail", L"CStockNews::RequestStockNewsList Json Parse Error Code: ",
     L"CStockNews::RequestStockNewsList Error Code: ", "00001",
     [] { GetStockNews()->RequestStockNewsList(1, kStock, 0, 0, 20); }},
    {L"CStockUnusualTrading::FetchStockUnusualTrading Code fail",
     L"CStockUnusualTrading::FetchStockUnusualTrading Json Parse Error Code: ",
     L"CStockUnusualTrading::FetchStockUnusualTrading Error Code: ", "00001",
     [] { GetStockUnusualTrading()->FetchStockUnusualTrading(kStock); }},
};

class FailureLogTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        // The essence worker's own first request, answered before the table runs.
        GetInformationEssence()->Attach(&essence_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (hostdouble::PendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(1u, hostdouble::PendingCount());
        hostdouble::CompleteNext(true, "{\"data\":{\"list\":{}}}");
        GetStockAnnouncement()->Attach(&announcements_);
        GetStockLandMine()->Attach(&landMines_);
        GetStockNews()->Attach(&news_);
        GetStockUnusualTrading()->Attach(&unusual_);
    }

    Counter<std::list<InformationEssence> > essence_;
    Counter<StockAnnouncement> announcements_;
    Counter<StockLandMine> landMines_;
    Counter<StockNewsInfo> news_;
    Counter<StockUnusualTradingInfo> unusual_;
};

TEST_F(FailureLogTest, EachFailureLeavesItsOperationsLineAndTheCallsItPromises) {
    const std::string cut = "{\"errno\":0,\"data\":{\"list\":[{\"tit";
    const std::function<void()> failures[] = {
        [] { hostdouble::CompleteNext(false, "{\"errno\":0,\"data\":{\"list\":[]}}"); },
        [&cut] { hostdouble::CompleteNext(true, cut); },
        [] { hostdouble::CompleteNext(true, ""); },
        [] { hostdouble::CompleteNextRaw(true, nullptr, 12); },
        [] { hostdouble::CompleteNext(true, "{\"errno\":9}"); },
    };
    for (const Operation& operation : kOperations) {
        SCOPED_TRACE(operation.transport);
        hostdouble::Reset();
        // An incremental column refresh also asks for edits: there are none.
        hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}"));
        for (int kind = 0; kind < 5; ++kind) {
            g_calls = 0;
            operation.send();
            ASSERT_EQ(1u, hostdouble::PendingCount());
            failures[kind]();
            EXPECT_EQ(operation.calls[kind] - '0', g_calls.load()) << "failure kind " << kind;
        }
        const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
        ASSERT_EQ(3u, logs.size());
        EXPECT_TRUE(logs[0].viaString);
        EXPECT_EQ(-1, logs[0].level);
        EXPECT_EQ(operation.transport, logs[0].text);
        EXPECT_FALSE(logs[1].viaString);
        EXPECT_EQ(operation.parse + std::to_wstring(testsupport::ParseErrorOf(cut)), logs[1].text);
        EXPECT_FALSE(logs[2].viaString);
        EXPECT_EQ(operation.response + std::wstring(L"9"), logs[2].text);
    }
}

}  // namespace
