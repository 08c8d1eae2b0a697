#include "news_center/stock/stock_unusual_trading.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using testsupport::Recorder;

namespace {

class StockUnusualTradingTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        GetStockUnusualTrading()->Attach(&recorder_);
    }

    // Answers a request with `list` as the "list" array; returns the groups published.
    std::vector<StockUnusualTradingGroup> Groups(const std::string& list) {
        GetStockUnusualTrading()->FetchStockUnusualTrading(L"600000");
        hostdouble::CompleteNext(true, "{\"errno\":0,\"data\":{\"list\":" + list + "}}");
        const StockUnusualTradingInfo value = recorder_.last();
        EXPECT_EQ(L"600000", value.stock);
        return std::vector<StockUnusualTradingGroup>(value.groups.begin(), value.groups.end());
    }

    Recorder<StockUnusualTradingInfo> recorder_;
};

TEST_F(StockUnusualTradingTest, RequestSendsTheStockAsAOneElementArray) {
    GetStockUnusualTrading()->FetchStockUnusualTrading(L"sz000001");
    ASSERT_EQ(1u, hostdouble::RequestCount());
    const hostdouble::Request request = hostdouble::Requests()[0];
    EXPECT_EQ("/pc/rt/stock_dragon", request.path);
    EXPECT_EQ("[\"sz000001\"]", request.param("stock_arr"));
    EXPECT_EQ(1u, request.params.size());
}

TEST_F(StockUnusualTradingTest, GroupsComeInDescendingNameOrderFromTheFirstListElementOnly) {
    const std::vector<StockUnusualTradingGroup> groups =
        Groups(R"([{"k1":[{"amt":1}],"9":[],"k2":[{"amt":2}],"10":[]},{"k3":[{"amt":3}]}])");
    ASSERT_EQ(4u, groups.size());
    EXPECT_EQ(L"k2", groups[0].key);
    EXPECT_EQ(L"k1", groups[1].key);
    EXPECT_EQ(L"9", groups[2].key);
    EXPECT_EQ(L"10", groups[3].key);
    EXPECT_EQ(2.0, groups[0].amount);
}

TEST_F(StockUnusualTradingTest, GroupAmountIsTheLastEntrysAmt) {
    const std::vector<StockUnusualTradingGroup> groups =
        Groups(R"([{"c":[{"amt":100},{"amt":250}],"b":[],"a":[{"amt":5},{"msg":"no amount"}],"0":{"amt":1}}])");
    ASSERT_EQ(4u, groups.size());
    EXPECT_EQ(L"c", groups[0].key);
    EXPECT_EQ(250.0, groups[0].amount);
    EXPECT_EQ(2u, groups[0].items.size());
    EXPECT_EQ(0.0, groups[1].amount);
    EXPECT_TRUE(groups[1].items.empty());
    EXPECT_EQ(0.0, groups[2].amount);
    EXPECT_EQ(2u, groups[2].items.size());
    // A member that is not an array is a group without entries.
    EXPECT_EQ(L"0", groups[3].key);
    EXPECT_EQ(0.0, groups[3].amount);
    EXPECT_TRUE(groups[3].items.empty());
}

TEST_F(StockUnusualTradingTest, EntriesCarryTheirMessageTypeAndParties) {
    const std::vector<StockUnusualTradingGroup> groups = Groups(
        R"([{"g":[{"amt":1.5,"msg":"m","type":"t",)"
        R"("buyer":[{"name":"B1","buy":10.5,"sell":0.25},{"name":"B2","buy":3}],)"
        R"("seller":[{"name":"S1","sell":"9","buy":2},7]},)"
        R"({"type":4,"buyer":{"name":"x"},"seller":null},5]}])");
    ASSERT_EQ(1u, groups.size());
    ASSERT_EQ(3u, groups[0].items.size());
    const StockUnusualTradingItem& entry = groups[0].items[0];
    EXPECT_EQ(L"m", entry.msg);
    EXPECT_EQ(L"t", entry.type);
    ASSERT_EQ(2u, entry.buyer.size());
    EXPECT_EQ(L"B1", entry.buyer[0].name);
    EXPECT_EQ(10.5, entry.buyer[0].buy);
    EXPECT_EQ(0.25, entry.buyer[0].sell);
    EXPECT_EQ(3.0, entry.buyer[1].buy);
    EXPECT_EQ(0.0, entry.buyer[1].sell);
    ASSERT_EQ(2u, entry.seller.size());
    EXPECT_EQ(L"S1", entry.seller[0].name);
    EXPECT_EQ(0.0, entry.seller[0].sell);
    EXPECT_EQ(2.0, entry.seller[0].buy);
    EXPECT_TRUE(entry.seller[1].name.empty());

    const StockUnusualTradingItem& odd = groups[0].items[1];
    EXPECT_TRUE(odd.type.empty());
    EXPECT_TRUE(odd.buyer.empty());
    EXPECT_TRUE(odd.seller.empty());
    EXPECT_TRUE(groups[0].items[2].msg.empty());
    EXPECT_EQ(0.0, groups[0].amount);  // the last entry, a number, has no "amt"
}

TEST_F(StockUnusualTradingTest, MissingEmptyOrMistypedListGivesNoGroups) {
    EXPECT_TRUE(Groups("[]").empty());
    EXPECT_TRUE(Groups("{\"g\":[]}").empty());
    EXPECT_TRUE(Groups("[7,{\"g\":[]}]").empty());
    EXPECT_TRUE(Groups("null").empty());
    EXPECT_EQ(5u, recorder_.count());
}

TEST_F(StockUnusualTradingTest, NonZeroErrnoStillPublishesTheGroups) {
    GetStockUnusualTrading()->FetchStockUnusualTrading(L"600000");
    hostdouble::CompleteNext(true, R"({"errno":4,"data":{"list":[{"g":[]}]}})");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"CStockUnusualTrading::FetchStockUnusualTrading Error Code: 4"));
    ASSERT_EQ(1u, recorder_.last().groups.size());
}

}  // namespace
