#include "news_center/stock/stock_announcement.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using testsupport::Recorder;

namespace {

class StockAnnouncementTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        GetStockAnnouncement()->Attach(&recorder_);
    }

    // Requests a page for `stock`, answers it with `body` and returns the value published.
    StockAnnouncement Answer(const std::string& body, const std::wstring& stock = L"600000") {
        const std::size_t before = recorder_.count();
        GetStockAnnouncement()->RequestStockAnnouncementList(stock, 1, 20);
        hostdouble::CompleteNext(true, body);
        EXPECT_EQ(before + 1, recorder_.count());
        return recorder_.last();
    }

    Recorder<StockAnnouncement> recorder_;
};

TEST_F(StockAnnouncementTest, RequestCarriesTheStockPageAndRows) {
    GetStockAnnouncement()->RequestStockAnnouncementList(L"600000\u4e2d", 3, 25);
    ASSERT_EQ(1u, hostdouble::RequestCount());
    const hostdouble::Request request = hostdouble::Requests()[0];
    EXPECT_EQ("/pc/rt/stock_notice", request.path);
    EXPECT_EQ("600000\xe4\xb8\xad", request.param("stock"));
    EXPECT_EQ("3", request.param("page"));
    EXPECT_EQ("25", request.param("rn"));
    EXPECT_EQ(3u, request.params.size());
}

TEST_F(StockAnnouncementTest, ItemsKeepTheResponseOrderAndEveryField) {
    const StockAnnouncement value = Answer(
        R"({"errno":0,"data":{"list":[)"
        R"({"hashid":"h1","url":"u1","title":"t1","brief":"b1","location":"l1","publish_time":1700000000,"x":1},)"
        R"({"hashid":"h2","title":"\u516c\u544a","publish_time":1600000000}]}})",
        L"sh600000");
    EXPECT_EQ(L"sh600000", value.stock);
    ASSERT_EQ(2u, value.items.size());
    const StockAnnouncementItem& first = value.items.front();
    EXPECT_EQ(L"h1", first.hashid);
    EXPECT_EQ(L"u1", first.url);
    EXPECT_EQ(L"t1", first.title);
    EXPECT_EQ(L"b1", first.brief);
    EXPECT_EQ(L"l1", first.location);
    EXPECT_EQ(1700000000u, first.publish_time);
    EXPECT_EQ(L"h2", value.items.back().hashid);
    EXPECT_EQ(L"\u516c\u544a", value.items.back().title);
    EXPECT_TRUE(value.items.back().url.empty());
}

TEST_F(StockAnnouncementTest, ItemFieldsFollowTheReadingRules) {
    const StockAnnouncement value = Answer(
        R"({"data":{"list":[7,)"
        R"({"publish_time":"123","Title":"T","hashid":5},)"
        R"({"publish_time":12.9,"url":null},)"
        R"({"publish_time":-4,"brief":["b"]}]}})");
    ASSERT_EQ(4u, value.items.size());
    std::vector<StockAnnouncementItem> items(value.items.begin(), value.items.end());
    for (const StockAnnouncementItem& item : items) {
        EXPECT_TRUE(item.hashid.empty());
        EXPECT_TRUE(item.url.empty());
        EXPECT_TRUE(item.title.empty());
        EXPECT_TRUE(item.brief.empty());
        EXPECT_TRUE(item.location.empty());
    }
    EXPECT_EQ(0u, items[0].publish_time);
    EXPECT_EQ(0u, items[1].publish_time);
    EXPECT_EQ(12u, items[2].publish_time);
    EXPECT_EQ(0u, items[3].publish_time);
}

TEST_F(StockAnnouncementTest, MissingOrMistypedListPublishesTheStockWithNoItems) {
    const char* bodies[] = {
        R"({"errno":0,"data":{"list":[]}})",
        R"({"errno":0,"data":{"list":{"0":{"title":"t"}}}})",
        R"({"errno":0,"data":[{"list":[{"title":"t"}]}]})",
        R"({"errno":0,"list":[{"title":"t"}]})",
        R"([{"data":{"list":[{"title":"t"}]}}])",
    };
    for (const char* body : bodies) {
        const StockAnnouncement value = Answer(body, L"000001");
        EXPECT_EQ(L"000001", value.stock) << body;
        EXPECT_TRUE(value.items.empty()) << body;
    }
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
