#include "news_center/stock/stock_land_mine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using hostdouble::TimeOf;
using testsupport::Recorder;

namespace {

// Days of the double's calendar.
const unsigned int D1 = 20261201, D2 = 20261202, D3 = 20261203, D4 = 20261204, D5 = 20261205, D6 = 20261206,
                   D9 = 20261209;

struct Mine {
    std::string id;
    long long time;
};

std::string ListOf(const std::vector<Mine>& mines, int errorNumber = 0) {
    std::string list;
    for (const Mine& mine : mines) {
        if (!list.empty())
            list += ",";
        list += "{\"id\":\"" + mine.id + "\",\"title\":\"t\",\"publish_time\":" + std::to_string(mine.time) + "}";
    }
    return "{\"errno\":" + std::to_string(errorNumber) + ",\"data\":{\"list\":[" + list + "]}}";
}

std::vector<std::wstring> IdsOf(const StockLandMine& value) {
    std::vector<std::wstring> ids;
    for (const StockLandMineItem& item : value.items)
        ids.push_back(item.id);
    return ids;
}

class StockLandMineTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        GetStockLandMine()->Attach(&recorder_);
    }

    void Ask(const std::wstring& stock, unsigned long start, unsigned long end) {
        GetStockLandMine()->RequestStockLandMineList(stock, start, end);
    }

    // A request that must be sent, answered with `mines`.
    void Fetch(const std::wstring& stock, unsigned long start, unsigned long end, const std::vector<Mine>& mines) {
        const std::size_t before = hostdouble::RequestCount();
        Ask(stock, start, end);
        ASSERT_EQ(before + 1, hostdouble::RequestCount());
        hostdouble::CompleteNext(true, ListOf(mines));
    }

    // A request that must be answered from the cache: the reset, then the
    // cached items, and nothing sent.
    std::vector<std::wstring> Cached(const std::wstring& stock, unsigned long start, unsigned long end) {
        const std::size_t requests = hostdouble::RequestCount();
        const std::size_t updates = recorder_.count();
        Ask(stock, start, end);
        EXPECT_EQ(requests, hostdouble::RequestCount());
        const std::vector<StockLandMine> values = recorder_.values();
        EXPECT_EQ(updates + 2, values.size());
        if (values.size() < 2)
            return std::vector<std::wstring>();
        EXPECT_TRUE(values[values.size() - 2].items.empty());
        EXPECT_EQ(stock, values.back().stock);
        return IdsOf(values.back());
    }

    bool Sends(const std::wstring& stock, unsigned long start, unsigned long end) {
        const std::size_t before = hostdouble::RequestCount();
        Ask(stock, start, end);
        return hostdouble::RequestCount() == before + 1;
    }

    Recorder<StockLandMine> recorder_;
};

typedef std::vector<std::wstring> Ids;

TEST_F(StockLandMineTest, RequestCarriesTheStockAndTheDayBounds) {
    Ask(L"600000", D1, D5);
    Ask(L"600000", D2, 0);
    const std::vector<hostdouble::Request> requests = hostdouble::Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("/pc/rt/stock_landmine", requests[0].path);
    EXPECT_EQ("600000", requests[0].param("stock"));
    EXPECT_EQ(std::to_string(TimeOf(D1, 0, 0, 0)), requests[0].param("start"));
    EXPECT_EQ(std::to_string(TimeOf(D5, 23, 59, 59)), requests[0].param("end"));
    EXPECT_EQ(std::to_string(TimeOf(D6, 23, 59, 59)), requests[1].param("end"));  // the server's today
}

TEST_F(StockLandMineTest, EveryRequestFirstPublishesTheStockWithNoItems) {
    Fetch(L"600000", D1, D5, {{"a", TimeOf(D2, 9, 0, 0)}});
    ASSERT_EQ(1u, recorder_.last().items.size());

    Ask(L"", D1, D5);
    EXPECT_TRUE(recorder_.last().stock.empty());
    EXPECT_TRUE(recorder_.last().items.empty());
    Ask(L"300750", D1, D5);
    EXPECT_EQ(L"300750", recorder_.last().stock);
    EXPECT_TRUE(recorder_.last().items.empty());
    EXPECT_EQ(5u, recorder_.count());
}

TEST_F(StockLandMineTest, InvalidRequestsSendNothingAndLogNothing) {
    hostdouble::SetSymbolType(L"sh000001", 1);
    hostdouble::SetSymbolType(L"odd", 0);
    EXPECT_FALSE(Sends(L"", D1, D5));
    EXPECT_FALSE(Sends(L"sh000001", D1, D5));
    EXPECT_FALSE(Sends(L"600000", 0, D5));
    EXPECT_FALSE(Sends(L"600000", D5, D4));
    EXPECT_FALSE(Sends(L"600000", D9, 0));  // after the server's today
    EXPECT_TRUE(hostdouble::Logs().empty());
    EXPECT_EQ(6u, recorder_.count());

    EXPECT_TRUE(Sends(L"odd", D1, D5));  // only a market index is refused
    EXPECT_TRUE(Sends(L"600000", D5, D5));
    EXPECT_TRUE(Sends(L"600000", D6, 0));
}

TEST_F(StockLandMineTest, CoveredRangeIsAnsweredFromTheCacheWithinItsDayBounds) {
    Fetch(L"600000", D1, D5,
          {{"d5", TimeOf(D5, 0, 0, 0)},
           {"d4-last", TimeOf(D4, 23, 59, 59)},
           {"d3", TimeOf(D3, 12, 0, 0)},
           {"d2-first", TimeOf(D2, 0, 0, 0)},
           {"d1-last", TimeOf(D1, 23, 59, 59)}});
    EXPECT_EQ(5u, recorder_.last().items.size());  // published unfiltered

    EXPECT_EQ((Ids{L"d4-last", L"d3", L"d2-first"}), Cached(L"600000", D2, D4));
    EXPECT_EQ((Ids{L"d5", L"d4-last", L"d3", L"d2-first", L"d1-last"}), Cached(L"600000", D1, D5));
    EXPECT_TRUE(Sends(L"600000", D1, D6));
    EXPECT_TRUE(Sends(L"600001", D2, D4));  // another stock
    EXPECT_TRUE(Sends(L"600000 ", D2, D4));
}

TEST_F(StockLandMineTest, CachedRangeEndingTodayAnswersARequestWithoutEndDate) {
    hostdouble::SetServerDate(D5);
    Fetch(L"600000", D1, D5, {{"d5", TimeOf(D5, 8, 0, 0)}, {"d1", TimeOf(D1, 8, 0, 0)}});
    EXPECT_EQ((Ids{L"d5"}), Cached(L"600000", D3, 0));
}

TEST_F(StockLandMineTest, EntryWithoutEndDateNeverAnswers) {
    Fetch(L"600000", D1, 0, {{"a", TimeOf(D2, 8, 0, 0)}});
    EXPECT_TRUE(Sends(L"600000", D1, 0));
    EXPECT_TRUE(Sends(L"600000", D2, D3));
}

TEST_F(StockLandMineTest, ResultOverlappingTheBeginningAppendsOnlyTheOlderDays) {
    Fetch(L"600000", D3, D5, {{"c5", TimeOf(D5, 8, 0, 0)}, {"c3", TimeOf(D3, 8, 0, 0)}});
    Fetch(L"600000", D1, D4,
          {{"n4", TimeOf(D4, 8, 0, 0)},
           {"n3", TimeOf(D3, 0, 0, 0)},
           {"n2", TimeOf(D2, 23, 59, 59)},
           {"n1", TimeOf(D1, 0, 0, 0)}});
    EXPECT_EQ(4u, recorder_.last().items.size());
    EXPECT_EQ((Ids{L"c5", L"c3", L"n2", L"n1"}), Cached(L"600000", D1, D5));
}

TEST_F(StockLandMineTest, ResultOverlappingTheEndInsertsOnlyTheNewerDaysAtTheFront) {
    Fetch(L"600000", D1, D3, {{"c3", TimeOf(D3, 8, 0, 0)}, {"c1", TimeOf(D1, 8, 0, 0)}});
    Fetch(L"600000", D2, D5,
          {{"n5", TimeOf(D5, 23, 59, 59)},
           {"n4", TimeOf(D4, 0, 0, 0)},
           {"n3", TimeOf(D3, 23, 59, 59)},
           {"n2", TimeOf(D2, 8, 0, 0)}});
    EXPECT_EQ((Ids{L"n5", L"n4", L"c3", L"c1"}), Cached(L"600000", D1, D5));
}

TEST_F(StockLandMineTest, CoveringResultReplacesTheEntry) {
    Fetch(L"600000", D2, D3, {{"old", TimeOf(D2, 8, 0, 0)}});
    Fetch(L"600000", D1, D5, {{"new", TimeOf(D4, 8, 0, 0)}});
    EXPECT_EQ((Ids{L"new"}), Cached(L"600000", D1, D5));
}

TEST_F(StockLandMineTest, DisjointOrBoundarySharingResultLeavesTheEntryUnchanged) {
    Fetch(L"600000", D1, D3, {{"old", TimeOf(D2, 8, 0, 0)}});
    Fetch(L"600000", D6, D9, {{"far", TimeOf(D6, 8, 0, 0)}});
    EXPECT_EQ((Ids{L"far"}), IdsOf(recorder_.last()));  // still published
    Fetch(L"600000", D3, D5, {{"edge", TimeOf(D4, 8, 0, 0)}});
    EXPECT_EQ((Ids{L"old"}), Cached(L"600000", D1, D3));
    EXPECT_TRUE(Sends(L"600000", D6, D9));
    EXPECT_TRUE(Sends(L"600000", D2, D4));
}

TEST_F(StockLandMineTest, ResultInsideTheCachedRangeLeavesTheEntryUnchanged) {
    // Both sent before either answer, so the narrower one is not served from memory.
    Ask(L"600000", D1, D5);
    Ask(L"600000", D2, D4);
    hostdouble::CompleteNext(true, ListOf({{"wide", TimeOf(D3, 8, 0, 0)}}));
    hostdouble::CompleteNext(true, ListOf({{"narrow", TimeOf(D3, 9, 0, 0)}}));
    EXPECT_EQ((Ids{L"wide"}), Cached(L"600000", D1, D5));
}

TEST_F(StockLandMineTest, EmptyResultsAreNotCached) {
    Fetch(L"600000", D1, D5, {});
    EXPECT_TRUE(Sends(L"600000", D1, D5));
    hostdouble::CompleteNext(true, ListOf({{"a", TimeOf(D2, 8, 0, 0)}}, 6));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"CStockLandMine::RequestStockLandMineList Error Code: 6"));
    EXPECT_EQ((Ids{L"a"}), Cached(L"600000", D1, D5));  // a non-zero errno does not stop caching
}

TEST_F(StockLandMineTest, FailedResponsesLeaveTheResetValueAndTheCache) {
    Ask(L"600000", D1, D5);
    hostdouble::CompleteNext(false, "");
    Ask(L"600000", D1, D5);
    hostdouble::CompleteNext(true, "{\"data\":");
    EXPECT_EQ(L"600000", recorder_.last().stock);
    EXPECT_TRUE(recorder_.last().items.empty());
    EXPECT_TRUE(Sends(L"600000", D1, D5));
}

TEST_F(StockLandMineTest, TwentyFirstStockEvictsTheElevenOldest) {
    for (int i = 0; i < 20; ++i)
        Fetch(L"S" + std::to_wstring(i), D1, D5, {{"a", TimeOf(D2, 8, 0, 0)}});
    Cached(L"S0", D1, D5);  // 20 entries, none evicted yet

    Fetch(L"S20", D1, D5, {{"a", TimeOf(D2, 8, 0, 0)}});
    for (int i = 11; i <= 20; ++i)
        EXPECT_EQ((Ids{L"a"}), Cached(L"S" + std::to_wstring(i), D1, D5)) << i;
    EXPECT_TRUE(Sends(L"S0", D1, D5));
    EXPECT_TRUE(Sends(L"S10", D1, D5));
}

TEST_F(StockLandMineTest, CompletionAfterTeardownTouchesNothing) {
    Ask(L"600000", D1, D5);
    HttpCompletion late = hostdouble::TakeNext();
    const std::size_t updates = recorder_.count();
    DestroyAllPublisher();
    const std::string body = ListOf({{"a", TimeOf(D2, 8, 0, 0)}}, 3);
    late(true, body.data(), static_cast<long long>(body.size()));
    EXPECT_EQ(updates, recorder_.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
