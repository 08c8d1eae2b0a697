// Every asynchronous operation once: the request it sends (path, parameters,
// timeout, one signature), then answered well and failed each way an answer can
// fail, with the log lines it leaves (a failed transfer at level -1 through
// WriteProgramLogString, a parse error and a non-zero "errno" through
// WriteProgramLogNoMask; an empty or null body, wrong types and missing keys
// silently) and how often its callback or subscribers are called. An empty
// callback changes nothing but the calls.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

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

// "path?k=v&k=v", keys in order; a value within a minute of the clock reads "now".
std::string Spelled(const hostdouble::Request& request) {
    const long long now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string text = request.path + "?";
    for (const auto& param : request.params) {
        const bool clock =
            !param.second.empty() && param.second.size() < 12 && std::abs(std::atoll(param.second.c_str()) - now) < 60;
        text += (text.back() == '?' ? "" : "&") + param.first + "=" + (clock ? "now" : param.second);
    }
    return text;
}

struct Operation {
    const wchar_t* transport;  // the whole line
    const wchar_t* parse;      // followed by the parser's error number
    const wchar_t* response;   // followed by the "errno"
    // Calls of the callback or subscribers after each answer of RunTable, in order.
    const char* calls;
    bool takesCallback;
    const char* request;
    int timeout;
    std::function<void(bool counted)> send;
};

const wchar_t kCountersResponse[] = L"CommonPublisher::RequestCountInfo Response Error Code: ";
const std::wstring kHuge = L"600000\u4e2d&=\" ";

const Operation kOperations[] = {
    {L"CommonPublisher::RequestCountInfo Failed!", L"CommonPublisher::RequestCountInfo Json Parse Error Code: ",
     kCountersResponse, "100001111", true, "/pc/information/get_count_by_ids?ids=1,4294967295,1&time=0", 30,
     [](bool counted) {
         GetCommonPublisher()->RequestCountInfo({1, 0, 4294967295u, 1}, Count<CountInfoCallback>(counted));
     }},
    {L"TelegraphPublisher::RequestEarlierTelegraph Failed!",
     L"TelegraphPublisher::RequestEarlierTelegraph Json Parse Error Code: ",
     L"TelegraphPublisher::RequestEarlierTelegraph Response Error Code: ", "111111111", true,
     "/pc/roll/batch_show?last_time=18446744073709551615&refresh_type=1&rn=10&time=0", 5,
     [](bool counted) {
         GetTelegraphPublisher()->RequestEarlierTelegraph(18446744073709551615ULL,
                                                          Count<TelegraphListCallback>(counted));
     }},
    {L"ExclusivePublisher::RequestColumnList Code fail",
     L"ExclusivePublisher::RequestColumnList Json Parse Error Code: ",
     L"DepthPublisher::RequestColumnList Response Error Code: ", "111111111", true, "/pc/exclusive/column_list?", 30,
     [](bool counted) { GetExclusivePublisher()->RequestColumnList(Count<ExclusiveColumnCallback>(counted)); }},
    {L"ExclusivePublisher::RequestArticleList Code fail",
     L"ExclusivePublisher::RequestArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleList Response Error Code: ", "111111111", true,
     "/pc/exclusive/column_article_list?column_id=4&rn=15", 30,
     [](bool counted) { GetExclusivePublisher()->RequestArticleList(4, Count<ExclusiveArticleCallback>(counted)); }},
    {L"ExclusivePublisher::RequestEarlierArticle Code fail",
     L"ExclusivePublisher::RequestEarlierArticleList Json Parse Error Code: ",
     L"DepthPublisher::RequestEarlierArticleList Response Error Code: ", "111111111", true,
     "/pc/exclusive/column_article_list?column_id=4294967295&last_time=1700000000000&refresh_type=1&rn=10", 30,
     [](bool counted) {
         GetExclusivePublisher()->RequestEarlierArticleList(-1, 1700000000000ULL,
                                                            Count<ExclusiveArticleCallback>(counted));
     }},
    {L"ExclusivePublisher::RequestArticleListOp Code fail",
     L"ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: ",
     L"DepthPublisher::RequestArticleListOperation Response Error Code: ", "111111111", true,
     "/pc/exclusive/column_article_list?column_id=4&rn=15", 30,
     [](bool counted) {
         GetExclusivePublisher()->RequestArticleListOperation(4, Count<ExclusiveUpdateCallback>(counted));
     }},
    {L"TimelinePublisher::RequestReddot Code fail", L"TimelinePublisher::RequestReddot Json Parse Error Code: ",
     L"TimelinePublisher::RequestReddot Response Error Code: ", "111111111", true,
     "/pc/time_axis/reddot?end_date=&start_date=2026-12-31", 30,
     [](bool counted) {
         GetTimelinePublisher()->RequestReddot(L"2026-12-31", nullptr, Count<ReddotCallback>(counted));
     }},
    {L"TimelinePublisher::RequestEventList Code fail", L"TimelinePublisher::RequestEventList Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventList Response Error Code: ", "111111111", true,
     "/pc/time_axis/get_list_by_day?date=\xE4\xBB\x8A\xE5\xA4\xA9&rn=50", 30,
     [](bool counted) {
         GetTimelinePublisher()->RequestEventList(L"\x4ECA\x5929", Count<EventListCallback>(counted));
     }},
    {L"TimelinePublisher::RequestEventDetail Code fail",
     L"TimelinePublisher::RequestEventDetail Json Parse Error Code: ",
     L"TimelinePublisher::RequestEventDetail Response Error Code: ", "111111111", true,
     "/pc/time_axis/get_info_by_id?id=4294967295", 30,
     [](bool counted) {
         GetTimelinePublisher()->RequestEventDetail(4294967295u, Count<EventDetailCallback>(counted));
     }},
    {L"CInformationEssence::FetchInformationEssence Code fail",
     L"CInformationEssence::FetchInformationEssence Json Parse Error Code: ",
     L"CInformationEssence::FetchInformationEssence Error Code: ", "100001111", false,
     "/pc/information/sum_article_list?last_time=1700000000123&refresh_type=1&rn=20", 30,
     [](bool) { GetInformationEssence()->FetchInformationEssence(1700000000123ULL, 1, 20); }},
    {L"CStockAnnouncementPublisher::RequestStockAnnouncementList Code fail",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Json Parse Error Code: ",
     L"CStockAnnouncementPublisher::RequestStockAnnouncementList Error Code: ", "100001111", false,
     "/pc/rt/stock_notice?page=3&rn=25&stock=600000\xE4\xB8\xAD&=\" ", 30,
     [](bool) { GetStockAnnouncement()->RequestStockAnnouncementList(kHuge, 3, 25); }},
    // Every request first publishes the stock with no items. The end 0 is the
    // server's today, and a range without an end is never answered from memory.
    {L"CStockLandMine::RequestStockLandMineList Code fail",
     L"CStockLandMine::RequestStockLandMineList Json Parse Error Code: ",
     L"CStockLandMine::RequestStockLandMineList Error Code: ", "211112222", false,
     "/pc/rt/stock_landmine?end=2026120686399&start=2026120100000&stock=600000\xE4\xB8\xAD&=\" ", 30,
     [](bool) { GetStockLandMine()->RequestStockLandMineList(kHuge, 20261201, 0); }},
    {L"CStockNews::RequestStockNewsList Code fail", L"CStockNews::RequestStockNewsList Json Parse Error Code: ",
     L"CStockNews::RequestStockNewsList Error Code: ", "100001111", false,
     "/v1/market/get_list?last_time=18446744073709551615&refresh_type=0&rn=15&time=now&type=2&unique_key=hk00700", 30,
     [](bool) { GetStockNews()->RequestStockNewsList(2, L"hk00700", 18446744073709551615ULL, 0, 15); }},
    {L"CStockUnusualTrading::FetchStockUnusualTrading Code fail",
     L"CStockUnusualTrading::FetchStockUnusualTrading Json Parse Error Code: ",
     L"CStockUnusualTrading::FetchStockUnusualTrading Error Code: ", "100001111", false,
     "/pc/rt/stock_dragon?stock_arr=[\"600000\xE4\xB8\xAD&=\" \"]", 30,
     [](bool) { GetStockUnusualTrading()->FetchStockUnusualTrading(kHuge); }},
};

class FailureLogTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        // The essence worker's own first request, answered before the table runs.
        GetInformationEssence()->Attach(&essence_);
        ASSERT_TRUE(testsupport::WaitUntil([] { return hostdouble::PendingCount() != 0; }));
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
            [] { hostdouble::CompleteNext(true, "{\"errno\":\"9\",\"time\":\"5\",\"data\":7}"); },  // wrong types
            [] { hostdouble::CompleteNext(true, "{}"); },                                           // missing keys
            [] { hostdouble::CompleteNextRaw(true, "{\"errno\":8}garbage", 11); },  // only the length is read
        };
        for (const Operation& operation : kOperations) {
            if (!counted && !operation.takesCallback)
                continue;
            SCOPED_TRACE(operation.transport);
            hostdouble::Reset();
            // An incremental column refresh also asks for edits: there are none.
            hostdouble::SetSyncHandler(
                [](const hostdouble::Request&) { return hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}"); });
            for (int kind = 0; kind < 9; ++kind) {
                g_calls = 0;
                operation.send(counted);
                ASSERT_EQ(1u, hostdouble::PendingCount());
                if (kind == 0) {
                    ASSERT_EQ(1u, hostdouble::RequestCount());
                    const hostdouble::Request request = hostdouble::Requests()[0];
                    EXPECT_EQ(operation.request, Spelled(request));
                    EXPECT_EQ(operation.timeout, request.timeout);
                    EXPECT_FALSE(request.sync);
                    EXPECT_EQ(1, hostdouble::SignCount());
                }
                answers[kind]();
                EXPECT_EQ(counted ? operation.calls[kind] - '0' : 0, g_calls.load()) << "answer " << kind;
            }
            const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
            // Without a callback the counters' body is not read at all.
            const bool read = counted || operation.response != kCountersResponse;
            ASSERT_EQ(read ? 4u : 1u, logs.size());
            EXPECT_TRUE(logs[0].viaString);
            EXPECT_EQ(-1, logs[0].level);
            EXPECT_EQ(operation.transport, logs[0].text);
            if (!read)
                continue;
            EXPECT_EQ(operation.parse + std::to_wstring(testsupport::ParseErrorOf(cut)), logs[1].text);
            EXPECT_EQ(operation.response + std::wstring(L"9"), logs[2].text);
            EXPECT_EQ(operation.response + std::wstring(L"8"), logs[3].text);
            for (std::size_t i = 1; i < logs.size(); ++i)
                EXPECT_FALSE(logs[i].viaString);
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

// Only types 1 and 2 are served: no request, no signature, no call.
TEST_F(FailureLogTest, StockNewsOfAnotherTypeSendsNothing) {
    for (unsigned int type : {0u, 3u})
        GetStockNews()->RequestStockNewsList(type, L"600000", 0, 0, 20);
    EXPECT_EQ(1u, hostdouble::RequestCount());  // the essence worker's
    EXPECT_EQ(1, hostdouble::SignCount());
}

}  // namespace
