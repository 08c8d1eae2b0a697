#include "news_center/stock/stock_news.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using testsupport::Recorder;

namespace {

long long NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class StockNewsTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        GetStockNews()->Attach(&recorder_);
    }

    void Ask(unsigned int type, const std::wstring& stock = L"600000") {
        GetStockNews()->RequestStockNewsList(type, stock, 1700000000123ULL, 1, 20);
    }

    StockNewsInfo Answer(const std::string& body) {
        Ask(1);
        hostdouble::CompleteNext(true, body);
        return recorder_.last();
    }

    Recorder<StockNewsInfo> recorder_;
};

TEST_F(StockNewsTest, OnlyTypesOneAndTwoAreSent) {
    Ask(0);
    Ask(3);
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(0, hostdouble::SignCount());
    Ask(1);
    Ask(2);
    const std::vector<hostdouble::Request> requests = hostdouble::Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("1", requests[0].param("type"));
    EXPECT_EQ("2", requests[1].param("type"));
    EXPECT_EQ(1u, recorder_.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(StockNewsTest, RequestPassesItsArgumentsAndTheCallersClock) {
    const long long before = NowSeconds();
    GetStockNews()->RequestStockNewsList(2, L"hk00700", 18446744073709551615ULL, 0, 15);
    const long long after = NowSeconds();
    ASSERT_EQ(1u, hostdouble::RequestCount());
    const hostdouble::Request request = hostdouble::Requests()[0];
    EXPECT_EQ("/v1/market/get_list", request.path);
    EXPECT_EQ("hk00700", request.param("unique_key"));
    EXPECT_EQ("18446744073709551615", request.param("last_time"));
    EXPECT_EQ("0", request.param("refresh_type"));
    EXPECT_EQ("15", request.param("rn"));
    const long long time = std::stoll(request.param("time"));
    EXPECT_LE(before, time);
    EXPECT_GE(after, time);
}

TEST_F(StockNewsTest, ItemsReadEveryFieldFromTheDataArray) {
    const StockNewsInfo value = Answer(
        R"({"errno":0,"data":[{"id":"n1","type":"2","column_id":"17","type_name":"tn","title":"t","img":"i",)"
        R"("level":"L","brief":"b","ctime":1700000000.5,"operation_time":7.9,"showurl":"s","extra":[1]}, {}]})");
    EXPECT_EQ(L"600000", value.stock);
    ASSERT_EQ(2u, value.items.size());
    const StockNewsItem& item = value.items.front();
    EXPECT_EQ(L"n1", item.id);
    EXPECT_EQ(2, item.type);
    EXPECT_EQ(17, item.column_id);
    EXPECT_EQ(L"tn", item.type_name);
    EXPECT_EQ(L"t", item.title);
    EXPECT_EQ(L"i", item.img);
    EXPECT_EQ(L"L", item.level);
    EXPECT_EQ(L"b", item.brief);
    EXPECT_EQ(1700000000u, item.ctime);
    EXPECT_EQ(7u, item.operation_time);
    EXPECT_EQ(L"s", item.showurl);
    EXPECT_EQ(0, value.items.back().type);
    EXPECT_TRUE(value.items.back().id.empty());
}

TEST_F(StockNewsTest, TypeAndColumnAreReadOnlyFromDecimalText) {
    const StockNewsInfo value = Answer(
        R"({"data":[{"type":2,"column_id":"x1"},{"type":"-3","column_id":"2.5"},)"
        R"({"type":true,"column_id":"99999999999"},{"id":5,"ctime":"100"},"text"]})");
    ASSERT_EQ(5u, value.items.size());
    std::vector<StockNewsItem> items(value.items.begin(), value.items.end());
    EXPECT_EQ(0, items[0].type);
    EXPECT_EQ(0, items[0].column_id);
    EXPECT_EQ(-3, items[1].type);
    EXPECT_EQ(0, items[1].column_id);
    EXPECT_EQ(0, items[2].type);
    EXPECT_EQ(0, items[2].column_id);
    EXPECT_TRUE(items[3].id.empty());
    EXPECT_EQ(0u, items[3].ctime);
    EXPECT_EQ(0, items[4].type);
}

TEST_F(StockNewsTest, AnnouncementShapedDataGivesNoItems) {
    const StockNewsInfo value = Answer(R"({"errno":0,"data":{"list":[{"id":"n1"}]}})");
    EXPECT_EQ(L"600000", value.stock);
    EXPECT_TRUE(value.items.empty());
}

TEST_F(StockNewsTest, NonZeroErrnoStillPublishesTheParsedItems) {
    const StockNewsInfo value = Answer(R"({"errno":2,"data":[{"id":"n1"}]})");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"CStockNews::RequestStockNewsList Error Code: 2"));
    ASSERT_EQ(1u, value.items.size());
    EXPECT_EQ(L"n1", value.items.front().id);
}

}  // namespace
