// The four per-stock feeds: bodies and the records they give, the subscribers they share, the land-mine
// cache. Requests and failures: failure_log_test.cpp; teardown and concurrency: the stress tests.

#include <algorithm>
#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/feed_script.h"

using feedtest::Spell;
using testsupport::Recorder;

namespace {

typedef std::vector<std::pair<const char*, const char*> > Pairs;

struct Announcements {
    typedef StockAnnouncement Value;
    static IStockAnnouncement* Get() { return GetStockAnnouncement(); }
    static void Ask(const std::wstring& stock) { Get()->RequestStockAnnouncementList(stock, 1, 20); }
    static std::string Page(const std::string& t) { return "{\"data\":{\"list\":[{\"title\":\"" + t + "\"}]}}"; }
    static std::string Record(const std::string& t) { return ",," + t + ",,,0"; }
    static const bool kResets = false;  // publishes the stock with no items before it sends
    static Pairs Bodies() {
        return {{R"({"errno":0,"data":{"list":[{"hashid":"h1","url":"u1","title":"t1","brief":"b1","location":"l1",)"
                 R"("publish_time":1700000000,"x":1},{"hashid":"h2","title":"\u516c\u544a","publish_time":16}]}})",
                 "h1,u1,t1,b1,l1,1700000000;h2,,\xE5\x85\xAC\xE5\x91\x8A,,,16"},
                {R"({"data":{"list":[7,{"publish_time":"123","Title":"T","hashid":5},{"publish_time":12.9,"url":null},)"
                 R"({"publish_time":-4,"brief":["b"]}]}})",
                 ",,,,,0;,,,,,0;,,,,,12;,,,,,0"},
                {R"({"data":{"list":{"0":{"title":"t"}}}})", ""},
                {R"({"data":[{"list":[{"title":"t"}]}]})", ""},
                {R"([{"data":{"list":[{"title":"t"}]}}])", ""}};
    }
};

struct LandMines : Announcements {
    typedef StockLandMine Value;
    static IStockLandMine* Get() { return GetStockLandMine(); }
    // Without an end date nothing is answered from memory.
    static void Ask(const std::wstring& stock) { Get()->RequestStockLandMineList(stock, 20261201, 0); }
    static const bool kResets = true;
    static Pairs Bodies() { return {}; }  // read as announcements are; the "id" key: the cache test
};

struct News {
    typedef StockNewsInfo Value;
    static IStockNews* Get() { return GetStockNews(); }
    static void Ask(const std::wstring& stock) { Get()->RequestStockNewsList(1, stock, 0, 0, 20); }
    static std::string Page(const std::string& t) { return "{\"data\":[{\"title\":\"" + t + "\"}]}"; }
    static std::string Record(const std::string& t) { return ",0,0,," + t + ",,,,0,0,"; }
    static const bool kResets = false;
    static Pairs Bodies() {
        return {{R"({"errno":0,"data":[{"id":"n1","type":"2","column_id":"17","type_name":"tn","title":"t","img":"i",)"
                 R"("level":"L","brief":"b","ctime":1700000000.5,"operation_time":7.9,"showurl":"s","extra":[1]},{}]})",
                 "n1,2,17,tn,t,i,L,b,1700000000,7,s;,0,0,,,,,,0,0,"},
                // type and column_id only from decimal text
                {R"({"data":[{"type":2,"column_id":"x1"},{"type":"-3","column_id":"2.5"},)"
                 R"({"type":true,"column_id":"99999999999"},{"id":5,"ctime":"100"},"text"]})",
                 ",0,0,,,,,,0,0,;,-3,0,,,,,,0,0,;,0,0,,,,,,0,0,;,0,0,,,,,,0,0,;,0,0,,,,,,0,0,"},
                // unread keys before, between and after the read ones; a repeated key's last value
                {R"({"data":[{"a":1,"brief":"b","briefs":0,"ctim":0,"ctime":5,"\u0069d":"x","id":"y","title":"t1",)"
                 R"("Type":"9","title":"t2","type":"3","type_name":"tn","typf":0,"\u00e9":0}]})",
                 "y,3,0,tn,t2,,,b,5,0,"},
                {R"({"errno":0,"data":{"list":[{"id":"n1"}]}})", ""}};
    }
};

struct Trading {
    typedef StockUnusualTradingInfo Value;
    static IStockUnusualTrading* Get() { return GetStockUnusualTrading(); }
    static void Ask(const std::wstring& stock) { Get()->FetchStockUnusualTrading(stock); }
    static std::string Page(const std::string& t) { return "{\"data\":{\"list\":[{\"" + t + "\":[]}]}}"; }
    static std::string Record(const std::string& t) { return t + "=0"; }
    static const bool kResets = false;
    static Pairs Bodies() {
        // Groups in descending name order, from the first list element; the amount is the last entry's "amt".
        return {{R"({"data":{"list":[{"k1":[{"amt":1}],"9":[],"k2":[{"amt":2}],"10":[]},{"k3":[{"amt":3}]}]}})",
                 "k2=2(,,/);k1=1(,,/);9=0;10=0"},
                {R"({"data":{"list":[{"c":[{"amt":100},{"amt":250}],"a":[{"amt":5},{"msg":"m"}],"0":{"amt":1}}]}})",
                 "c=250(,,/)(,,/);a=0(,,/)(m,,/);0=0"},
                {R"({"data":{"list":[{"g":[{"amt":1.5,"msg":"m","type":"t","buyer":[{"name":"B1","buy":10.5,)"
                 R"("sell":0.25},{"name":"B2","buy":3}],"seller":[{"name":"S1","sell":"9","buy":2},7]},)"
                 R"({"type":4,"buyer":{"name":"x"},"seller":null},5]}]}})",
                 "g=0(m,t,B1,10.5,0.25;B2,3,0/S1,2,0;,0,0)(,,/)(,,/)"},
                {R"({"data":{"list":[7,{"g":[]}]}})", ""}};
    }
};

template <class Feed>
class StockFeedTest : public hostdouble::HostDoubleTest {};

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
    typedef TypeParam F;
    Recorder<typename F::Value> early, late, stranger;
    F::Get()->Attach(&early);
    F::Get()->Attach(&early);  // already attached: ignored
    F::Get()->Attach(nullptr);
    F::Get()->Detach(nullptr);
    F::Get()->Detach(&stranger);
    F::Ask(L"S1");
    F::Ask(L"S2");
    const HttpCompletion first = hostdouble::TakeNext();
    hostdouble::CompleteNext(true, F::Page("two"));
    F::Get()->Attach(&late);  // handed the stored value at once
    const std::string page = F::Page("one");
    first(true, page.data(), static_cast<long long>(page.size()));
    F::Get()->Detach(&early);
    F::Ask(L"S3");
    hostdouble::CompleteNext(true, F::Page("three"));

    const std::string one = "S1|" + F::Record("one"), two = "S2|" + F::Record("two");
    EXPECT_EQ("| " + std::string(F::kResets ? "S1| S2| " : "") + two + " " + one, Spell(early.values(), " "));
    EXPECT_EQ(two + " " + one + (F::kResets ? " S3| " : " ") + "S3|" + F::Record("three"), Spell(late.values(), " "));
    EXPECT_EQ(0u, stranger.count());
}

// "[stock:]start-end", days of December 2026 (0: none).
void AskLandMines(const std::string& query) {
    const std::size_t colon = query.find(':');
    unsigned long start = 0, end = 0;
    std::sscanf(query.c_str() + colon + 1, "%lu-%lu", &start, &end);
    GetStockLandMine()->RequestStockLandMineList(
        colon == std::string::npos ? L"600000" : QString::fromStdString(query.substr(0, colon)).toStdWString(),
        start ? 20261200 + start : 0, end ? 20261200 + end : 0);
}

// "id@day" at 8:00, "id@day<" the day's first second, "id@day>" its last.
std::string MinesOf(const std::string& mines) {
    std::istringstream in(mines);
    std::string mine, list;
    while (in >> mine) {
        const std::size_t at = mine.find('@');
        const unsigned int day = 20261200 + (mine[at + 1] - '0');
        const long long time = mine.back() == '<'   ? hostdouble::TimeOf(day, 0, 0, 0)
                               : mine.back() == '>' ? hostdouble::TimeOf(day, 23, 59, 59)
                                                    : hostdouble::TimeOf(day, 8, 0, 0);
        list += ",{\"id\":\"" + mine.substr(0, at) + "\",\"publish_time\":" + std::to_string(time) + "}";
    }
    return "{\"data\":{\"list\":[" + list.substr(list.empty() ? 0 : 1) + "]}}";
}

// Fetches sent, then answered in order; then queries one at a time: "sent", "-" (none sent) or the ids cached.
const struct { Pairs fetches, queries; } kCacheRows[] = {
    {{{"1-5", "d5@5< d4@4> d3@3 d2@2< d1@1>"}}, {{"2-4", "d4 d3 d2"}, {"1-5", "d5 d4 d3 d2 d1"}, {"1-6", "sent"}}},
    {{{"1-5", "a@2"}}, {{"600001:2-4", "sent"}, {"600000 :2-4", "sent"}}},
    {{{"1-6", "d6@6 d1@1"}}, {{"3-0", "d6"}}},                // the end 0 is the server's today
    {{{"1-0", "a@2"}}, {{"1-0", "sent"}, {"2-3", "sent"}}},    // an entry without an end never answers
    {{{"3-5", "c5@5 c3@3"}, {"1-4", "n4@4 n3@3< n2@2> n1@1<"}}, {{"1-5", "c5 c3 n2 n1"}}},  // older days last
    {{{"1-3", "c3@3 c1@1"}, {"2-5", "n5@5> n4@4< n3@3> n2@2"}}, {{"1-5", "n5 n4 c3 c1"}}},  // newer days first
    {{{"2-3", "old@2"}, {"1-5", "new@4"}}, {{"1-5", "new"}}},  // a covering result replaces the entry
    {{{"1-3", "old@2"}, {"6-9", "far@6"}}, {{"1-3", "old"}, {"6-9", "sent"}}},  // a disjoint one changes nothing
    {{{"1-3", "old@2"}, {"3-5", "edge@4"}}, {{"1-3", "old"}, {"2-4", "sent"}}},  // nor one sharing a day
    {{{"1-5", "wide@3"}, {"2-4", "narrow@3"}}, {{"1-5", "wide"}}},              // nor one inside the range
    {{{"1-5", ""}}, {{"1-5", "sent"}}},                                          // an empty result is not kept
    {{}, {{"0-5", "-"}, {"5-4", "-"}, {"9-0", "-"}, {":1-5", "-"}, {"sh000001:1-5", "-"}}},
    {{}, {{"odd:1-5", "sent"}, {"5-5", "sent"}, {"6-0", "sent"}}},  // only a market index is refused; 6 is today
};

class LandMineCacheTest : public hostdouble::HostDoubleTest {};

TEST_F(LandMineCacheTest, RangesAreAnsweredFromMemoryOnlyWhenCovered) {
    for (const auto& row : kCacheRows) {
        hostdouble::Reset();
        hostdouble::SetSymbolType(L"sh000001", 1);
        hostdouble::SetSymbolType(L"odd", 0);
        Recorder<StockLandMine> recorder;
        GetStockLandMine()->Attach(&recorder);
        for (const auto& fetch : row.fetches)
            AskLandMines(fetch.first);
        for (const auto& fetch : row.fetches)
            hostdouble::CompleteNext(true, MinesOf(fetch.second));
        for (const auto& query : row.queries) {
            SCOPED_TRACE(std::string(query.first) + " after " + (row.fetches.empty() ? "" : row.fetches[0].second));
            const std::size_t requests = hostdouble::RequestCount(), calls = recorder.count();
            AskLandMines(query.first);
            const std::string expected = query.second;
            const bool cached = expected != "sent" && expected != "-";
            EXPECT_EQ(requests + (expected == "sent"), hostdouble::RequestCount());
            ASSERT_EQ(calls + (cached ? 2 : 1), recorder.count());
            EXPECT_TRUE(recorder.values()[calls].items.empty());  // the reset comes first
            std::string ids;
            for (const StockLandMineItem& item : recorder.last().items)
                ids += (ids.empty() ? "" : " ") + feedtest::Field(item.id);
            EXPECT_EQ(cached ? expected : "", ids);
        }
        DestroyAllPublisher();
    }
    AskLandMines("2-4");  // whole days
    EXPECT_EQ("end=2026120486399&start=2026120200000&stock=600000", Spell(hostdouble::Requests().back()));
}

TEST_F(LandMineCacheTest, TwentyFirstStockEvictsTheElevenOldest) {
    for (int i = 0; i <= 20; ++i) {
        AskLandMines(std::to_string(i) + ":1-5");
        hostdouble::CompleteNext(true, MinesOf("a@2"));
    }
    for (int i = 0; i <= 20; ++i) {
        AskLandMines(std::to_string(i) + ":1-5");
        EXPECT_EQ(21u + std::min(i + 1, 11), hostdouble::RequestCount()) << i;
    }
}

}  // namespace
