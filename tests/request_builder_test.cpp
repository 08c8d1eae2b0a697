#include "news_center/request/request_builder.h"

#include <gtest/gtest.h>

#include "tests/host_double/host_double.h"

using hostdouble::DecodeUrl;
using hostdouble::Request;
using news_center::internal::FetchKind;
using news_center::internal::RequestBuilder;

namespace {

class RequestBuilderTest : public hostdouble::HostDoubleTest {
protected:
    const RequestBuilder& builder = RequestBuilder::Instance();
};

std::map<std::string, std::string> Params(std::initializer_list<std::pair<const std::string, std::string> > list) {
    return std::map<std::string, std::string>(list);
}

TEST_F(RequestBuilderTest, InstanceIsSharedAndCreatedOnce) {
    EXPECT_EQ(&RequestBuilder::Instance(), &RequestBuilder::Instance());
}

TEST_F(RequestBuilderTest, BatchShowPagesOnlyForOlderPagesWithALastTime) {
    Request periodic = DecodeUrl(builder.BatchShowUrl(5, 9, FetchKind::Refresh));
    EXPECT_EQ("/pc/roll/batch_show", periodic.path);
    EXPECT_EQ(Params({{"last_time", "5"}, {"refresh_type", "0"}, {"rn", "15"}, {"time", "9"}}), periodic.params);

    Request older = DecodeUrl(builder.BatchShowUrl(5, 9, FetchKind::OlderPage));
    EXPECT_EQ(Params({{"last_time", "5"}, {"refresh_type", "1"}, {"rn", "10"}, {"time", "9"}}), older.params);

    Request olderFromZero = DecodeUrl(builder.BatchShowUrl(0, 0, FetchKind::OlderPage));
    EXPECT_EQ(Params({{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "15"}, {"time", "0"}}), olderFromZero.params);
}

TEST_F(RequestBuilderTest, LargestTimeIsWrittenInFullDigits) {
    Request request = DecodeUrl(builder.InformModifyUrl(18446744073709551615ULL, 1ULL << 53));
    EXPECT_EQ("/pc/inform/modify", request.path);
    EXPECT_EQ("18446744073709551615", request.param("last_time"));
    EXPECT_EQ("9007199254740992", request.param("time"));
}

TEST_F(RequestBuilderTest, DepthStickiesFlagFollowsPaging) {
    Request olderNormal = DecodeUrl(builder.DepthUrl(FetchKind::OlderPage, 7, false));
    EXPECT_EQ("/pc/information/get_depth", olderNormal.path);
    EXPECT_EQ(Params({{"last_is_stickies", "0"}, {"last_time", "7"}, {"refresh_type", "1"}}), olderNormal.params);

    Request olderSticky = DecodeUrl(builder.DepthUrl(FetchKind::OlderPage, 7, true));
    EXPECT_EQ("1", olderSticky.param("last_is_stickies"));
    EXPECT_EQ("1", olderSticky.param("refresh_type"));

    Request refresh = DecodeUrl(builder.DepthUrl(FetchKind::Refresh, 7, false));
    EXPECT_EQ(Params({{"last_is_stickies", "1"}, {"last_time", "7"}, {"refresh_type", "0"}}), refresh.params);

    Request olderFromZero = DecodeUrl(builder.DepthUrl(FetchKind::OlderPage, 0, false));
    EXPECT_EQ(Params({{"last_is_stickies", "1"}, {"last_time", "0"}, {"refresh_type", "0"}}), olderFromZero.params);
}

TEST_F(RequestBuilderTest, ColumnArticleListNewestPageSendsOnlyColumnAndCount) {
    Request newest = DecodeUrl(builder.ColumnArticleListUrl(12, 0));
    EXPECT_EQ("/pc/exclusive/column_article_list", newest.path);
    EXPECT_EQ(Params({{"column_id", "12"}, {"rn", "15"}}), newest.params);

    Request older = DecodeUrl(builder.ColumnArticleListUrl(4294967295u, 1700000000000ULL));
    EXPECT_EQ(Params({{"column_id", "4294967295"}, {"last_time", "1700000000000"}, {"refresh_type", "1"}, {"rn", "10"}}),
              older.params);
}

TEST_F(RequestBuilderTest, ParameterlessAndPassThroughBuilders) {
    Request columns = DecodeUrl(builder.ColumnListUrl());
    EXPECT_EQ("/pc/exclusive/column_list", columns.path);
    EXPECT_TRUE(columns.params.empty());

    Request essence = DecodeUrl(builder.SumArticleListUrl(0, 0, 50));
    EXPECT_EQ("/pc/information/sum_article_list", essence.path);
    EXPECT_EQ(Params({{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}}), essence.params);

    Request notice = DecodeUrl(builder.StockNoticeUrl(L"sh600000", 2, 20));
    EXPECT_EQ("/pc/rt/stock_notice", notice.path);
    EXPECT_EQ(Params({{"page", "2"}, {"rn", "20"}, {"stock", "sh600000"}}), notice.params);

    Request detail = DecodeUrl(builder.TimeAxisInfoByIdUrl(4000000000u));
    EXPECT_EQ("/pc/time_axis/get_info_by_id", detail.path);
    EXPECT_EQ(Params({{"id", "4000000000"}}), detail.params);
}

TEST_F(RequestBuilderTest, CountIdsMayBeEmptyOrNull) {
    Request empty = DecodeUrl(builder.CountByIdsUrl(L"", 3));
    EXPECT_EQ("/pc/information/get_count_by_ids", empty.path);
    EXPECT_EQ(Params({{"ids", ""}, {"time", "3"}}), empty.params);
    EXPECT_EQ(Params({{"ids", ""}, {"time", "0"}}), DecodeUrl(builder.CountByIdsUrl(nullptr, 0)).params);
    EXPECT_EQ("5,7", DecodeUrl(builder.CountByIdsUrl(L"5,7", 0)).param("ids"));
}

TEST_F(RequestBuilderTest, TextIsSentAsUtf8) {
    Request day = DecodeUrl(builder.TimeAxisListByDayUrl(L"2026\u5e7412\u67086\u65e5"));
    EXPECT_EQ("/pc/time_axis/get_list_by_day", day.path);
    EXPECT_EQ("2026\xe5\xb9\xb4"
              "12\xe6\x9c\x88"
              "6\xe6\x97\xa5",
              day.param("date"));
    EXPECT_EQ("50", day.param("rn"));

    Request reddot = DecodeUrl(builder.TimeAxisReddotUrl(L"20261201", nullptr));
    EXPECT_EQ("/pc/time_axis/reddot", reddot.path);
    EXPECT_EQ(Params({{"end_date", ""}, {"start_date", "20261201"}}), reddot.params);
}

TEST_F(RequestBuilderTest, StockDragonWrapsTheCodeInAJsonArrayUnescaped) {
    Request dragon = DecodeUrl(builder.StockDragonUrl(L"sz000001"));
    EXPECT_EQ("/pc/rt/stock_dragon", dragon.path);
    EXPECT_EQ(Params({{"stock_arr", "[\"sz000001\"]"}}), dragon.params);
    EXPECT_EQ("[\"a\"b\"]", DecodeUrl(builder.StockDragonUrl(L"a\"b")).param("stock_arr"));
}

TEST_F(RequestBuilderTest, LandmineRangeCoversWholeDaysAndZeroEndIsToday) {
    hostdouble::SetServerDate(20261206);
    Request explicitEnd = DecodeUrl(builder.StockLandmineUrl(L"sh600000", 20261101, 20261130));
    EXPECT_EQ("/pc/rt/stock_landmine", explicitEnd.path);
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261101, 0, 0, 0)), explicitEnd.param("start"));
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261130, 23, 59, 59)), explicitEnd.param("end"));
    EXPECT_EQ("sh600000", explicitEnd.param("stock"));

    Request today = DecodeUrl(builder.StockLandmineUrl(L"sh600000", 0, 0));
    EXPECT_EQ("0", today.param("start"));
    EXPECT_EQ(std::to_string(hostdouble::TimeOf(20261206, 23, 59, 59)), today.param("end"));
}

TEST_F(RequestBuilderTest, MarketListServesTypesOneAndTwoOnly) {
    EXPECT_TRUE(builder.MarketListUrl(0, L"sh600000", 1, 0, 20, 5).empty());
    EXPECT_TRUE(builder.MarketListUrl(3, L"sh600000", 1, 0, 20, 5).empty());
    EXPECT_EQ(0, hostdouble::SignCount());

    Request news = DecodeUrl(builder.MarketListUrl(2, L"sh600000", 1, 1, 20, 5));
    EXPECT_EQ("/v1/market/get_list", news.path);
    EXPECT_EQ(Params({{"last_time", "1"}, {"refresh_type", "1"}, {"rn", "20"}, {"time", "5"}, {"type", "2"},
                      {"unique_key", "sh600000"}}),
              news.params);
    EXPECT_EQ(1, hostdouble::SignCount());
}

}  // namespace
