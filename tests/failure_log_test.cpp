// Every operation that reads an asynchronous answer, answered well and failed
// each way an answer can fail: the log lines it leaves (a failed transfer at
// level -1 through WriteProgramLogString, a parse error and a non-zero "errno"
// through WriteProgramLogNoMask; an empty or null body silently) and how often
// its callback or subscribers are called. An empty callback changes nothing
// but the calls.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace {

const bool g_quiet = (testsupport::SilenceQtDebug(), true);
std::atomic<int> g_calls{0};

template <class T>
struct Counter : IUpdate1<T> {
    void Update(const T&) override { ++g_calls; }
};

// A callback that counts its calls, or an empty one.
template <class Callback>
Callback Count(bool counted) {
    return counted ? Callback([](const auto&...) { ++g_calls; }) : Callback();
}

struct Operation {
    const wchar_t* transport;  // the whole line
    const wchar_t* parse;      // followed by the parser's error number
    const wchar_t* response;   // followed by the "errno"
    // Calls of the callback or subscribers after: a well-formed answer, a failed
    // transfer, a body cut in half, an empty body, a null body, "errno" 9.
    const char* calls;
    bool takesCallback;
    std::function<void(bool counted)> send;
};

const std::wstring kStock = L"600000";
const wchar_t kCountersResponse[] = L"CommonPublisher::RequestCountInfo Response Error Code: ";

const Operation kOperations[] = {
    {L"CommonPublisher::RequestCountInfo Failed!", L"CommonPublisher::RequestCountInfo Json Parse Error Code: ",
     kCountersResponse, "100001", true,
     [](bool counted) { GetCommonPublisher()->RequestCountInfo({1, 2}, Count<CountInfoCallback>(counted)); }},
    {L"TelegraphPublisher::RequestEarlierTelegraph Failed!",
     L"TelegraphPublisher::RequestEarlierTelegraph Json Parse Error Code: ",
     L"TelegraphPublisher::RequestEarlierTelegraph Response Error Code: ", "111111", true,
     [](bool counted) { GetTelegraphPublisher()->RequestEarlierTelegraph(5, Count<TelegraphListCallback>(counted)); }},
    {L"ExclusivePublisher::RequestColumnList Code fail", L"ExclusivePublisher::RequestColumnList Json Parse Error Code: ",
     L"DepthPublisher::RequestColumnList Response Error Code: ", "111111", true,
     [](bool counted) { GetExclusivePublisher()->RequestColumnList(Count<ExclusiveColumnCallback>(counted)); }},
    {L"ExclusivePublisher::RequestArticleList Code fail",
     L"ExclusivePublisher::RequestArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleList Response Error Code: ", "111111", true,
     [](bool counted) { GetExclusivePublisher()->RequestArticleList(4, Count<ExclusiveArticleCallback>(counted)); }},
    {L"ExclusivePublisher::RequestEarlierArticle Code fail",
     L"ExclusivePublisher::RequestEarlierArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestEarlierArticleList Response Error Code: ", "111111", true,
     [](bool counted) {
         GetExclusivePublisher()->RequestEarlierArticleList(4, 100, Count<ExclusiveArticleCallback>(counted));
     }},
    {L"ExclusivePublisher::RequestArticleListOp Code fail",
     L"ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleListOperation Response Error Code: ", "111111", true,
     [](bool counted) { GetExclusivePublisher()->RequestArticleListOperation(4, Count<ExclusiveUpdateCallback>(counted)); }},
    {L"TimelinePublisher::RequestReddot Code fail", L"TimelinePublisher::RequestReddot Json Parse Error Code: ",
     L"TimelinePublisher::RequestReddot Response Error Code: ", "111111", true,
     [](bool counted) { GetTimelinePublisher()->RequestReddot(L"a", L"b", Count<ReddotCallback>(counted)); }},
    {L"TimelinePublisher::RequestEventList Code fail", L"TimelinePublisher::RequestEventList Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventList Response Error Code: ", "111111", true,
     [](bool counted) { GetTimelinePublisher()->RequestEventList(L"d", Count<EventListCallback>(counted)); }},
    {L"TimelinePublisher::RequestEventDetail Code fail",
     L"TimelinePublisher::RequestEventDetail Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventDetail Response Error Code: ", "111111", true,
     [](bool counted) { GetTimelinePublisher()->RequestEventDetail(1, Count<EventDetailCallback>(counted)); }},
    {L"CInformationEssence::FetchInformationEssence Code fail",
     L"CInformationEssence::FetchInformationEssence Json Parse Error Code: ",
     L"CInformationEssence::FetchInformationEssence Error Code: ", "100001", false,
     [](bool) { GetInformationEssence()->FetchInformationEssence(0, 0, 50); }},
    {L"CStockAnnouncementPublisher::RequestStockAnnouncementList Code fail",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Json Parse Error Code: ",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Error Code: ", "100001", false,
     [](bool) { GetStockAnnouncement()->RequestStockAnnouncementList(kStock, 1, 20); }},
    // Every request first publishes the stock with no items.
    {L"CStockLandMine::RequestStockLandMineList Code fail",
     L"CStockLandMine::RequestStockLandMineList Json Parse Error Code: ",
     L"CStockLandMine::RequestStockLandMineList Error Code: ", "211112", false,
     [](bool) {
         static int serial = 0;
         GetStockLandMine()->RequestStockLandMineList(std::to_wstring(++serial), 20261201, 20261205);
     }},
    {L"CStockNews::RequestStockNewsList Code fail", L"CStockNews::RequestStockNewsList Json Parse Error Code: ",
     L"CStockNews::RequestStockNewsList Error Code: ", "100001", false,
     [](bool) { GetStockNews()->RequestStockNewsList(1, kStock, 0, 0, 20); }},
    {L"CStockUnusualTrading::FetchStockUnusualTrading Code fail",
     L"CStockUnusualTrading::FetchStockUnusualTrading Json Parse Error Code: ",
     L"CStockUnusualTrading::FetchStockUnusualTrading Error Code: ", "100001", false,
     [](bool) { GetStockUnusualTrading()->FetchStockUnusualTrading(kStock); }},
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

    void RunTable(bool counted) {
        const std::string cut = "{\"errno\":0,\"data\":{\"list\":[{\"tit";
        const std::function<void()> answers[] = {
            [] {
                hostdouble::Request request;
                const HttpCompletion completion = hostdouble::TakeNext(&request);
                const std::string served = body::For(request.path);
                completion(true, served.data(), static_cast<long long>(served.size()));
            },
            [] { hostdouble::CompleteNext(false, "{\"errno\":0,\"data\":{\"list\":[]}}"); },
            [&cut] { hostdouble::CompleteNext(true, cut); },
            [] { hostdouble::CompleteNext(true, ""); },
            [] { hostdouble::CompleteNextRaw(true, nullptr, 12); },
            [] { hostdouble::CompleteNext(true, "{\"errno\":9}"); },
        };
        for (const Operation& operation : kOperations) {
            if (!counted && !operation.takesCallback)
                continue;
            SCOPED_TRACE(operation.transport);
            hostdouble::Reset();
            // An incremental column refresh also asks for edits: there are none.
            hostdouble::SetSyncHandler(
                [](const hostdouble::Request&) { return hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}"); });
            for (int kind = 0; kind < 6; ++kind) {
                g_calls = 0;
                operation.send(counted);
                ASSERT_EQ(1u, hostdouble::PendingCount());
                answers[kind]();
                EXPECT_EQ(counted ? operation.calls[kind] - '0' : 0, g_calls.load()) << "answer " << kind;
            }
            const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
            // Without a callback the counters' body is not read at all.
            const bool read = counted || operation.response != kCountersResponse;
            ASSERT_EQ(read ? 3u : 1u, logs.size());
            EXPECT_TRUE(logs[0].viaString);
            EXPECT_EQ(-1, logs[0].level);
            EXPECT_EQ(operation.transport, logs[0].text);
            if (!read)
                continue;
            EXPECT_FALSE(logs[1].viaString);
            EXPECT_EQ(operation.parse + std::to_wstring(testsupport::ParseErrorOf(cut)), logs[1].text);
            EXPECT_FALSE(logs[2].viaString);
            EXPECT_EQ(operation.response + std::wstring(L"9"), logs[2].text);
        }
    }

    Counter<std::list<InformationEssence> > essence_;
    Counter<StockAnnouncement> announcements_;
    Counter<StockLandMine> landMines_;
    Counter<StockNewsInfo> news_;
    Counter<StockUnusualTradingInfo> unusual_;
};

TEST_F(FailureLogTest, EachAnswerLeavesItsOperationsLineAndTheCallsItPromises) { RunTable(true); }

// Every operation that takes a callback, given an empty one: the request goes
// out, a success is dropped quietly, the failures leave their lines.
TEST_F(FailureLogTest, EmptyCallbacksChangeNothingButTheCalls) { RunTable(false); }

}  // namespace
