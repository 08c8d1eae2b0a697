// The four per-stock feeds through their interfaces: bodies and the records they
// give, the behaviour they share (one typed test over the four), and the
// land-mine cache. Requests and failures: failure_log_test.cpp.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <QString>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using hostdouble::Request;
using testsupport::Recorder;

namespace {

std::string U8(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }
std::string N(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A value reads "stock|record;record", a record its fields joined by ','.
template <class Item>
std::string Notice(const std::wstring& id, const Item& i) {
    return U8(id) + "," + U8(i.url) + "," + U8(i.title) + "," + U8(i.brief) + "," + U8(i.location) + "," +
           N(static_cast<double>(i.publish_time));
}
std::string Spell(const StockAnnouncementItem& i) { return Notice(i.hashid, i); }
std::string Spell(const StockLandMineItem& i) { return Notice(i.id, i); }
std::string Spell(const StockNewsItem& i) {
    return U8(i.id) + "," + std::to_string(i.type) + "," + std::to_string(i.column_id) + "," + U8(i.type_name) + "," +
           U8(i.title) + "," + U8(i.img) + "," + U8(i.level) + "," + U8(i.brief) + "," + std::to_string(i.ctime) + "," +
           std::to_string(i.operation_time) + "," + U8(i.showurl);
}
std::string Spell(const std::vector<StockUnusualTradingParty>& parties) {
    std::string text;
    for (const StockUnusualTradingParty& p : parties)
        text += (text.empty() ? "" : " ") + U8(p.name) + ":" + N(p.buy) + ":" + N(p.sell);
    return text;
}
std::string Spell(const StockUnusualTradingGroup& g) {
    std::string text = U8(g.key) + "=" + N(g.amount);
    for (const StockUnusualTradingItem& i : g.items)
        text += "(" + U8(i.msg) + "," + U8(i.type) + "," + Spell(i.buyer) + "," + Spell(i.seller) + ")";
    return text;
}
template <class Items>
std::string Spell(const std::wstring& stock, const Items& items) {
    std::string text = U8(stock) + "|";
    for (const auto& item : items)
        text += (text.back() == '|' ? "" : ";") + Spell(item);
    return text;
}
std::string Spell(const StockAnnouncement& v) { return Spell(v.stock, v.items); }
std::string Spell(const StockLandMine& v) { return Spell(v.stock, v.items); }
std::string Spell(const StockNewsInfo& v) { return Spell(v.stock, v.items); }
std::string Spell(const StockUnusualTradingInfo& v) { return Spell(v.stock, v.groups); }

template <class Value>
std::vector<std::string> Spelled(const Recorder<Value>& recorder) {
    std::vector<std::string> out;
    for (const Value& value : recorder.values())
        out.push_back(Spell(value));
    return out;
}

typedef std::vector<std::pair<const char*, const char*> > Rows;  // body, records for stock 600000

struct Announcements {
    typedef StockAnnouncement Value;
    static IStockAnnouncement* Get() { return GetStockAnnouncement(); }
    static void Ask(const std::wstring& stock) { Get()->RequestStockAnnouncementList(stock, 1, 20); }
    static std::string CodeOf(const Request& request) { return request.param("stock"); }
    static std::string Page(const std::string& t) { return "{\"data\":{\"list\":[{\"title\":\"" + t + "\"}]}}"; }
    static std::string Record(const std::string& t) { return ",," + t + ",,,0"; }
    static const bool kResets = false;  // publishes the stock with no items before it sends
    static Rows Bodies() {
        return {
            {R"({"errno":0,"data":{"list":[{"hashid":"h1","url":"u1","title":"t1","brief":"b1","location":"l1",)"
             R"("publish_time":1700000000,"x":1},{"hashid":"h2","title":"\u516c\u544a","publish_time":1600000000}]}})",
             "h1,u1,t1,b1,l1,1700000000;h2,,\xE5\x85\xAC\xE5\x91\x8A,,,1600000000"},
            {R"({"data":{"list":[7,{"publish_time":"123","Title":"T","hashid":5},{"publish_time":12.9,"url":null},)"
             R"({"publish_time":-4,"brief":["b"]}]}})",
             ",,,,,0;,,,,,0;,,,,,12;,,,,,0"},
            {R"({"data":{"list":[]}})", ""},
            {R"({"data":{"list":{"0":{"title":"t"}}}})", ""},
            {R"({"data":[{"list":[{"title":"t"}]}]})", ""},
            {R"({"list":[{"title":"t"}]})", ""},
            {R"([{"data":{"list":[{"title":"t"}]}}])", ""},
        };
    }
};

struct LandMines : Announcements {
    typedef StockLandMine Value;
    static IStockLandMine* Get() { return GetStockLandMine(); }
    // Without an end date nothing is answered from memory.
    static void Ask(const std::wstring& stock) { Get()->RequestStockLandMineList(stock, 20261201, 0); }
    static const bool kResets = true;
    static Rows Bodies() {
        return {
            {R"({"data":{"list":[{"id":"m1","hashid":"h","url":"u","title":"t","brief":"b","location":"l",)"
             R"("publish_time":2026120300000}]}})",
             "m1,u,t,b,l,2026120300000"},
            {R"({"data":{"list":{"0":{"id":"m"}}}})", ""},
        };
    }
};

struct News {
    typedef StockNewsInfo Value;
    static IStockNews* Get() { return GetStockNews(); }
    static void Ask(const std::wstring& stock) { Get()->RequestStockNewsList(1, stock, 0, 0, 20); }
    static std::string CodeOf(const Request& request) { return request.param("unique_key"); }
    static std::string Page(const std::string& t) { return "{\"data\":[{\"title\":\"" + t + "\"}]}"; }
    static std::string Record(const std::string& t) { return ",0,0,," + t + ",,,,0,0,"; }
    static const bool kResets = false;
    static Rows Bodies() {
        return {
            {R"({"errno":0,"data":[{"id":"n1","type":"2","column_id":"17","type_name":"tn","title":"t","img":"i",)"
             R"("level":"L","brief":"b","ctime":1700000000.5,"operation_time":7.9,"showurl":"s","extra":[1]},{}]})",
             "n1,2,17,tn,t,i,L,b,1700000000,7,s;,0,0,,,,,,0,0,"},
            // type and column_id only from decimal text
            {R"({"data":[{"type":2,"column_id":"x1"},{"type":"-3","column_id":"2.5"},)"
             R"({"type":true,"column_id":"99999999999"},{"id":5,"ctime":"100"},"text"]})",
             ",0,0,,,,,,0,0,;,-3,0,,,,,,0,0,;,0,0,,,,,,0,0,;,0,0,,,,,,0,0,;,0,0,,,,,,0,0,"},
            {R"({"errno":0,"data":{"list":[{"id":"n1"}]}})", ""},
        };
    }
};

struct Trading {
    typedef StockUnusualTradingInfo Value;
    static IStockUnusualTrading* Get() { return GetStockUnusualTrading(); }
    static void Ask(const std::wstring& stock) { Get()->FetchStockUnusualTrading(stock); }
    static std::string CodeOf(const Request& request) {
        const std::string array = request.param("stock_arr");  // ["code"]
        return array.substr(2, array.size() - 4);
    }
    static std::string Page(const std::string& t) { return "{\"data\":{\"list\":[{\"" + t + "\":[]}]}}"; }
    static std::string Record(const std::string& t) { return t + "=0"; }
    static const bool kResets = false;
    static Rows Bodies() {
        return {
            // groups in descending name order, from the first list element only
            {R"({"data":{"list":[{"k1":[{"amt":1}],"9":[],"k2":[{"amt":2}],"10":[]},{"k3":[{"amt":3}]}]}})",
             "k2=2(,,,);k1=1(,,,);9=0;10=0"},
            // the amount is the last entry's "amt"; a member that is not an array has no entries
            {R"({"data":{"list":[{"c":[{"amt":100},{"amt":250}],"b":[],"a":[{"amt":5},{"msg":"m"}],"0":{"amt":1}}]}})",
             "c=250(,,,)(,,,);b=0;a=0(,,,)(m,,,);0=0"},
            {R"({"data":{"list":[{"g":[{"amt":1.5,"msg":"m","type":"t","buyer":[{"name":"B1","buy":10.5,"sell":0.25},)"
             R"({"name":"B2","buy":3}],"seller":[{"name":"S1","sell":"9","buy":2},7]},)"
             R"({"type":4,"buyer":{"name":"x"},"seller":null},5]}]}})",
             "g=0(m,t,B1:10.5:0.25 B2:3:0,S1:2:0 :0:0)(,,,)(,,,)"},
            {R"({"data":{"list":[]}})", ""},
            {R"({"data":{"list":{"g":[]}}})", ""},
            {R"({"data":{"list":[7,{"g":[]}]}})", ""},
            {R"({"data":{"list":null}})", ""},
        };
    }
};

void Run(const HttpCompletion& completion, const std::string& body) {
    completion(true, body.data(), static_cast<long long>(body.size()));
}

template <class Feed>
class StockFeedTest : public hostdouble::HostDoubleTest {
protected:
    typedef typename Feed::Value Value;
    // What a subscriber sees of an answer `t` for `stock`, after the reset a land-mine request publishes first.
    static std::vector<std::string> Answered(const std::string& stock, const std::string& t, bool reset = true) {
        std::vector<std::string> values;
        if (Feed::kResets && reset)
            values.push_back(stock + "|");
        values.push_back(stock + "|" + Feed::Record(t));
        return values;
    }
};

typedef ::testing::Types<Announcements, LandMines, News, Trading> Feeds;
TYPED_TEST_SUITE(StockFeedTest, Feeds);

TYPED_TEST(StockFeedTest, BodiesBecomeRecords) {
    Recorder<typename TypeParam::Value> recorder;
    TypeParam::Get()->Attach(&recorder);
    for (const auto& row : TypeParam::Bodies()) {
        TypeParam::Ask(L"600000");
        hostdouble::CompleteNext(true, row.first);
        EXPECT_EQ("600000|" + std::string(row.second), Spell(recorder.last())) << row.first;
    }
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TYPED_TEST(StockFeedTest, SubscribersGetEachAnswerInArrivalOrderUntilDetached) {
    Recorder<typename TypeParam::Value> early, late, stranger;
    TypeParam::Get()->Attach(&early);
    TypeParam::Get()->Attach(&early);  // already attached: ignored
    TypeParam::Get()->Attach(nullptr);
    TypeParam::Get()->Detach(nullptr);
    TypeParam::Get()->Detach(&stranger);
    TypeParam::Ask(L"S1");
    TypeParam::Ask(L"S2");
    const HttpCompletion first = hostdouble::TakeNext(), second = hostdouble::TakeNext();
    Run(second, TypeParam::Page("two"));
    TypeParam::Get()->Attach(&late);  // handed the stored value at once
    Run(first, TypeParam::Page("one"));
    TypeParam::Get()->Detach(&early);
    TypeParam::Ask(L"S3");
    hostdouble::CompleteNext(true, TypeParam::Page("three"));

    std::vector<std::string> expected = {"|"};
    if (TypeParam::kResets)
        expected.insert(expected.end(), {"S1|", "S2|"});
    for (const auto& value : {this->Answered("S2", "two", false), this->Answered("S1", "one", false)})
        expected.insert(expected.end(), value.begin(), value.end());
    EXPECT_EQ(expected, Spelled(early));
    expected = {this->Answered("S2", "two", false)[0], this->Answered("S1", "one", false)[0]};
    for (const std::string& value : this->Answered("S3", "three"))
        expected.push_back(value);
    EXPECT_EQ(expected, Spelled(late));
    EXPECT_EQ(0u, stranger.count());
}

// Only the land-mine feed refuses an empty code or a market index; the others send them as they are.
TYPED_TEST(StockFeedTest, NonStockCodes) {
    hostdouble::SetSymbolType(L"sh000001", 1);
    Recorder<typename TypeParam::Value> recorder;
    TypeParam::Get()->Attach(&recorder);
    TypeParam::Ask(L"");
    TypeParam::Ask(L"sh000001");
    const std::vector<Request> requests = hostdouble::Requests();
    ASSERT_EQ(TypeParam::kResets ? 0u : 2u, requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(i == 0 ? "" : "sh000001", TypeParam::CodeOf(requests[i]));
        hostdouble::CompleteNext(true, TypeParam::Page("x"));
    }
    std::vector<std::string> expected = {"|", "|", "sh000001|"};
    if (!TypeParam::kResets)
        expected = {"|", "|" + TypeParam::Record("x"), "sh000001|" + TypeParam::Record("x")};
    EXPECT_EQ(expected, Spelled(recorder));
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TYPED_TEST(StockFeedTest, CompletionAfterTeardownTouchesNothing) {
    Recorder<typename TypeParam::Value> recorder;
    TypeParam::Get()->Attach(&recorder);
    TypeParam::Ask(L"600000");
    const HttpCompletion late = hostdouble::TakeNext();
    const std::size_t calls = recorder.count();
    DestroyAllPublisher();
    Run(late, "{\"errno\":3,\"data\":{\"list\":[{}]}}");
    late(false, nullptr, 0);
    EXPECT_EQ(calls, recorder.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

// Completions run side by side: each value is delivered whole, and the last delivered is the one kept.
TYPED_TEST(StockFeedTest, ConcurrentAnswersArePublishedWhole) {
    const int kRequests = 100;
    Recorder<typename TypeParam::Value> recorder;
    TypeParam::Get()->Attach(&recorder);
    for (int i = 0; i < kRequests; ++i)
        TypeParam::Ask(L"S" + std::to_wstring(i));
    hostdouble::DeliverConcurrently(
        [](const Request& request, std::size_t) { return TypeParam::Page(TypeParam::CodeOf(request)); });
    int answers = 0;
    for (const std::string& value : Spelled(recorder)) {
        const std::string stock = value.substr(0, value.find('|'));
        if (value == stock + "|")
            continue;  // the empty start, or a reset
        ++answers;
        EXPECT_EQ(stock + "|" + TypeParam::Record(stock), value);
    }
    EXPECT_EQ(kRequests, answers);
    Recorder<typename TypeParam::Value> late;
    TypeParam::Get()->Attach(&late);
    EXPECT_EQ(Spell(recorder.last()), Spell(late.last()));
}

// --- the land-mine cache ---------------------------------------------------------------

// "[stock:]start-end", days of December 2026 (0: none).
void AskLandMines(const std::string& query) {
    const std::size_t colon = query.find(':');
    const std::string stock = colon == std::string::npos ? "600000" : query.substr(0, colon);
    unsigned long start = 0, end = 0;
    std::sscanf(query.c_str() + (colon == std::string::npos ? 0 : colon + 1), "%lu-%lu", &start, &end);
    GetStockLandMine()->RequestStockLandMineList(QString::fromStdString(stock).toStdWString(),
                                                 start ? 20261200 + start : 0, end ? 20261200 + end : 0);
}

// "id@day.hour ...": hour 0 is the day's first second, "e" its last.
std::string MinesOf(const std::string& mines) {
    std::istringstream in(mines);
    std::string mine, list;
    while (in >> mine) {
        const std::size_t at = mine.find('@'), dot = mine.find('.');
        const unsigned int day = 20261200 + std::stoi(mine.substr(at + 1));
        const std::string hour = mine.substr(dot + 1);
        const long long time =
            hour == "e" ? hostdouble::TimeOf(day, 23, 59, 59) : hostdouble::TimeOf(day, std::stoi(hour), 0, 0);
        list += (list.empty() ? "" : ",") + ("{\"id\":\"" + mine.substr(0, at) + "\",\"publish_time\":") +
                std::to_string(time) + "}";
    }
    return "{\"errno\":0,\"data\":{\"list\":[" + list + "]}}";
}

struct CacheRow {
    std::vector<std::pair<const char*, const char*> > fetches;  // all sent, then answered in order
    const char* query;
    const char* expected;  // "sent"; "refused": nothing sent; else the ids answered from memory
};

const CacheRow kCacheRows[] = {
    {{{"1-5", "d5@5.0 d4@4.e d3@3.12 d2@2.0 d1@1.e"}}, "2-4", "d4 d3 d2"},
    {{{"1-5", "d5@5.0 d4@4.e d3@3.12 d2@2.0 d1@1.e"}}, "1-5", "d5 d4 d3 d2 d1"},
    {{{"1-5", "a@2.8"}}, "1-6", "sent"},
    {{{"1-5", "a@2.8"}}, "600001:2-4", "sent"},
    {{{"1-5", "a@2.8"}}, "600000 :2-4", "sent"},
    {{{"1-6", "d6@6.8 d1@1.8"}}, "3-0", "d6"},  // the end 0 is the server's today
    {{{"1-0", "a@2.8"}}, "1-0", "sent"},        // an entry without an end never answers
    {{{"1-0", "a@2.8"}}, "2-3", "sent"},
    {{{"3-5", "c5@5.8 c3@3.8"}, {"1-4", "n4@4.8 n3@3.0 n2@2.e n1@1.0"}}, "1-5", "c5 c3 n2 n1"},  // older days last
    {{{"1-3", "c3@3.8 c1@1.8"}, {"2-5", "n5@5.e n4@4.0 n3@3.e n2@2.8"}}, "1-5", "n5 n4 c3 c1"},  // newer days first
    {{{"2-3", "old@2.8"}, {"1-5", "new@4.8"}}, "1-5", "new"},  // a covering result replaces the entry
    {{{"1-3", "old@2.8"}, {"6-9", "far@6.8"}}, "1-3", "old"},  // disjoint results change nothing
    {{{"1-3", "old@2.8"}, {"6-9", "far@6.8"}}, "6-9", "sent"},
    {{{"1-3", "old@2.8"}, {"3-5", "edge@4.8"}}, "1-3", "old"},  // nor do those sharing a day
    {{{"1-3", "old@2.8"}, {"3-5", "edge@4.8"}}, "2-4", "sent"},
    {{{"1-5", "wide@3.8"}, {"2-4", "narrow@3.9"}}, "1-5", "wide"},  // nor one inside the range
    {{{"1-5", ""}}, "1-5", "sent"},                                  // an empty result is not kept
    {{}, "0-5", "refused"},
    {{}, "5-4", "refused"},
    {{}, "9-0", "refused"},  // after the server's today
    {{}, ":1-5", "refused"},
    {{}, "sh000001:1-5", "refused"},
    {{}, "odd:1-5", "sent"},  // only a market index is refused
    {{}, "5-5", "sent"},
    {{}, "6-0", "sent"},
};

class LandMineCacheTest : public hostdouble::HostDoubleTest {};

TEST_F(LandMineCacheTest, RangesAreAnsweredFromMemoryOnlyWhenCovered) {
    for (const CacheRow& row : kCacheRows) {
        SCOPED_TRACE(std::string(row.query) + " after " + (row.fetches.empty() ? "" : row.fetches.back().second));
        hostdouble::Reset();
        hostdouble::SetSymbolType(L"sh000001", 1);
        hostdouble::SetSymbolType(L"odd", 0);
        Recorder<StockLandMine> recorder;
        GetStockLandMine()->Attach(&recorder);
        for (const auto& fetch : row.fetches)
            AskLandMines(fetch.first);
        ASSERT_EQ(row.fetches.size(), hostdouble::RequestCount());
        for (const auto& fetch : row.fetches)
            hostdouble::CompleteNext(true, MinesOf(fetch.second));
        const std::size_t calls = recorder.count();
        AskLandMines(row.query);
        const std::vector<StockLandMine> values = recorder.values();
        std::string ids;
        for (const StockLandMineItem& item : values.back().items)
            ids += (ids.empty() ? "" : " ") + U8(item.id);
        const std::string expected = row.expected;
        EXPECT_EQ(row.fetches.size() + (expected == "sent"), hostdouble::RequestCount());
        EXPECT_EQ(calls + (expected == "sent" || expected == "refused" ? 1 : 2), values.size());
        EXPECT_TRUE(values[calls].items.empty());  // the reset comes first
        EXPECT_EQ(expected == "sent" || expected == "refused" ? "" : expected, ids);
        EXPECT_TRUE(hostdouble::Logs().empty());
        DestroyAllPublisher();
    }
}

TEST_F(LandMineCacheTest, RequestCoversWholeDays) {
    AskLandMines("2-4");
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261202, 0, 0, 0)), hostdouble::Requests()[0].param("start"));
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261204, 23, 59, 59)), hostdouble::Requests()[0].param("end"));
}

TEST_F(LandMineCacheTest, TwentyFirstStockEvictsTheElevenOldest) {
    for (int i = 0; i <= 20; ++i) {
        AskLandMines(std::to_string(i) + ":1-5");
        hostdouble::CompleteNext(true, MinesOf("a@2.8"));
    }
    for (int i = 0; i <= 20; ++i) {
        const std::size_t before = hostdouble::RequestCount();
        AskLandMines(std::to_string(i) + ":1-5");
        EXPECT_EQ(before + (i <= 10), hostdouble::RequestCount()) << i;
    }
}

}  // namespace
