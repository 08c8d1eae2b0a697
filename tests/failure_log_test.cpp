// Every asynchronous operation: its request, then each way an answer can go, with its log lines (a failed
// transfer at level -1 through WriteProgramLogString, a parse error and a non-zero "errno" through
// WriteProgramLogNoMask, nothing else) and its calls. An empty callback changes nothing but the calls.

#include <functional>

#include <gtest/gtest.h>

#include "tests/bodies.h"
#include "tests/feed_script.h"

using feedtest::Spell;

namespace {

const bool g_quiet = (testsupport::SilenceQtDebug(), true);
std::atomic<int> g_calls{0};

template <class T>
struct Counter : IUpdate1<T> { void Update(const T&) override { ++g_calls; } };
template <class T>
void Count(ISubject<IUpdate1<T> >* subject) { static Counter<T> counter; subject->Attach(&counter); }
template <class Callback>  // or an empty one
Callback Count(bool counted) { return counted ? Callback([](const auto&...) { ++g_calls; }) : Callback(); }

struct Operation {
    const wchar_t* name;       // the parse error's line: followed by " Json Parse Error Code: " and its number
    const wchar_t* transport;  // the whole line, after the name where it starts with a space
    const wchar_t* response;   // likewise, followed by the "errno"
    const char* calls;         // after each answer of RunTable
    bool takesCallback;
    const char* request;  // sent first, with its timeout
    int timeout;
    std::function<void(bool counted)> send;

    std::wstring Line(const wchar_t* text) const { return text[0] == L' ' ? name + std::wstring(text) : text; }
};

const wchar_t kCounters[] = L"CommonPublisher::RequestCountInfo";
const wchar_t kFail[] = L" Code fail", kResponse[] = L" Response Error Code: ", kError[] = L" Error Code: ";
const std::wstring kHuge = L"600000\u4e2d&=\" ";

const Operation kOperations[] = {
    {kCounters, L" Failed!", kResponse, "100001111", true, "/pc/information/get_count_by_ids?ids=1,4294967295,1&time=0",
     30, [](bool c) { GetCommonPublisher()->RequestCountInfo({1, 0, 4294967295u, 1}, Count<CountInfoCallback>(c)); }},
    {L"TelegraphPublisher::RequestEarlierTelegraph", L" Failed!", kResponse, "111111111", true,
     "/pc/roll/batch_show?last_time=18446744073709551615&refresh_type=1&rn=10&time=0", 5,
     [](bool c) { GetTelegraphPublisher()->RequestEarlierTelegraph(~0ULL, Count<TelegraphListCallback>(c)); }},
    {L"ExclusivePublisher::RequestColumnList", kFail, L"DepthPublisher::RequestColumnList Response Error Code: ",
     "111111111", true, "/pc/exclusive/column_list", 30,
     [](bool c) { GetExclusivePublisher()->RequestColumnList(Count<ExclusiveColumnCallback>(c)); }},
    {L"ExclusivePublisher::RequestArticleList", kFail, L"DepthPublisher::RequestArticleList Response Error Code: ",
     "111111111", true, "/pc/exclusive/column_article_list?column_id=4&rn=15", 30,
     [](bool c) { GetExclusivePublisher()->RequestArticleList(4, Count<ExclusiveArticleCallback>(c)); }},
    {L"ExclusivePublisher::RequestEarlierArticleList", L"ExclusivePublisher::RequestEarlierArticle Code fail",
     L"DepthPublisher::RequestEarlierArticleList Response Error Code: ", "111111111", true,
     "/pc/exclusive/column_article_list?column_id=4294967295&last_time=1700000000000&refresh_type=1&rn=10", 30,
     [](bool c) {
         GetExclusivePublisher()->RequestEarlierArticleList(-1, 1700000000000ULL, Count<ExclusiveArticleCallback>(c));
     }},
    {L"ExclusivePublisher::RequestArticleListOperation", L"ExclusivePublisher::RequestArticleListOp Code fail",
     L"DepthPublisher::RequestArticleListOperation Response Error Code: ", "111111111", true,
     "/pc/exclusive/column_article_list?column_id=4&rn=15", 30,
     [](bool c) { GetExclusivePublisher()->RequestArticleListOperation(4, Count<ExclusiveUpdateCallback>(c)); }},
    {L"TimelinePublisher::RequestReddot", kFail, kResponse, "111111111", true,
     "/pc/time_axis/reddot?end_date=&start_date=2026-12-31", 30,
     [](bool c) { GetTimelinePublisher()->RequestReddot(L"2026-12-31", nullptr, Count<ReddotCallback>(c)); }},
    {L"TimelinePublisher::RequestEventList", kFail, kResponse, "111111111", true,
     "/pc/time_axis/get_list_by_day?date=\xE4\xBB\x8A\xE5\xA4\xA9&rn=50", 30,
     [](bool c) { GetTimelinePublisher()->RequestEventList(L"\x4ECA\x5929", Count<EventListCallback>(c)); }},
    {L"TimelinePublisher::RequestEventDetail", kFail, kResponse, "111111111", true,
     "/pc/time_axis/get_info_by_id?id=4294967295", 30,
     [](bool c) { GetTimelinePublisher()->RequestEventDetail(4294967295u, Count<EventDetailCallback>(c)); }},
    {L"CInformationEssence::FetchInformationEssence", kFail, kError, "100001111", false,
     "/pc/information/sum_article_list?last_time=1700000000123&refresh_type=1&rn=20", 30,
     [](bool) { GetInformationEssence()->FetchInformationEssence(1700000000123ULL, 1, 20); }},
    {L"CStockAnnouncementPublisher::RequestStockAnnouncementList", kFail, kError, "100001111", false,
     "/pc/rt/stock_notice?page=3&rn=25&stock=600000\xE4\xB8\xAD&=\" ", 30,
     [](bool) { GetStockAnnouncement()->RequestStockAnnouncementList(kHuge, 3, 25); }},
    // Each request first publishes the stock with no items; the end 0 is the server's today, never cached.
    {L"CStockLandMine::RequestStockLandMineList", kFail, kError, "211112222", false,
     "/pc/rt/stock_landmine?end=2026120686399&start=2026120100000&stock=600000\xE4\xB8\xAD&=\" ", 30,
     [](bool) { GetStockLandMine()->RequestStockLandMineList(kHuge, 20261201, 0); }},
    // An empty code goes out as it is.
    {L"CStockNews::RequestStockNewsList", kFail, kError, "100001111", false,
     "/v1/market/get_list?last_time=18446744073709551615&refresh_type=0&rn=15&time=now&type=2&unique_key=", 30,
     [](bool) { GetStockNews()->RequestStockNewsList(2, L"", ~0ULL, 0, 15); }},
    {L"CStockUnusualTrading::FetchStockUnusualTrading", kFail, kError, "100001111", false,
     "/pc/rt/stock_dragon?stock_arr=[\"600000\xE4\xB8\xAD&=\" \"]", 30,
     [](bool) { GetStockUnusualTrading()->FetchStockUnusualTrading(kHuge); }},
};

class FailureLogTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        Count(GetInformationEssence());  // its worker's first request is answered before the table runs
        ASSERT_TRUE(testsupport::WaitUntil([] { return hostdouble::PendingCount() != 0; }));
        hostdouble::CompleteNext(true, "{}");
        Count(GetStockAnnouncement());
        Count(GetStockLandMine());
        Count(GetStockNews());
        Count(GetStockUnusualTrading());
    }

    void RunTable(bool counted) {
        const std::string cut = "{\"errno\":0,\"data\":{\"list\":[{\"tit";
        const std::function<void()> answers[] = {
            [] { hostdouble::CompleteNext(true, body::For(hostdouble::Requests().back().path)); },
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
            SCOPED_TRACE(operation.Line(operation.transport));
            hostdouble::Reset();
            // An incremental column refresh also asks for edits: there are none.
            hostdouble::SetSyncHandler([](const hostdouble::Request&) { return hostdouble::Answer::Ok("{}"); });
            for (int kind = 0; kind < 9; ++kind) {
                g_calls = 0;
                operation.send(counted);
                ASSERT_EQ(1u, hostdouble::PendingCount());
                if (kind == 0) {
                    ASSERT_EQ(1u, hostdouble::RequestCount());
                    const hostdouble::Request request = hostdouble::Requests()[0];
                    EXPECT_EQ(operation.request, request.path + (request.params.empty() ? "" : "?") + Spell(request));
                    EXPECT_EQ(operation.timeout, hostdouble::Requests()[0].timeout);
                    EXPECT_EQ(1, hostdouble::SignCount());
                }
                answers[kind]();
                EXPECT_EQ(counted ? operation.calls[kind] - '0' : 0, g_calls.load()) << "answer " << kind;
            }
            // Without a callback the counters' body is not read at all.
            const std::wstring response = operation.Line(operation.response);
            std::vector<std::wstring> lines = {operation.Line(operation.transport)};
            if (counted || operation.name != kCounters)
                lines.insert(lines.end(), {operation.name + (L" Json Parse Error Code: " +
                                                             std::to_wstring(testsupport::ParseErrorOf(cut))),
                                           response + L"9", response + L"8"});
            const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
            ASSERT_EQ(lines.size(), logs.size());
            for (std::size_t i = 0; i < logs.size(); ++i) {
                EXPECT_EQ(lines[i], logs[i].text);
                EXPECT_EQ(i == 0, logs[i].viaString);
            }
            EXPECT_EQ(-1, logs[0].level);
        }
    }
};

TEST_F(FailureLogTest, EachAnswerLeavesItsOperationsLineAndTheCallsItPromises) { RunTable(true); }

// Given an empty callback: the request goes out, a success is dropped quietly, the failures leave their lines.
TEST_F(FailureLogTest, EmptyCallbacksChangeNothingButTheCalls) { RunTable(false); }

TEST_F(FailureLogTest, StockNewsOfATypeOtherThanOneOrTwoSendsNothing) {
    GetStockNews()->RequestStockNewsList(0, L"600000", 0, 0, 20);
    GetStockNews()->RequestStockNewsList(3, L"600000", 0, 0, 20);
    EXPECT_EQ(1u, hostdouble::RequestCount());  // the digest worker's
    EXPECT_EQ(1, hostdouble::SignCount());
}

}  // namespace
