#include "news_center/request/json_read.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace news_center::internal;

namespace {

QJsonValue Value(const char* json) {
    return QJsonDocument::fromJson(QByteArray("{\"v\":") + json + "}").object().value(QStringLiteral("v"));
}

TEST(JsonReadTest, IntegersFollowQtWholeNumberReading) {
    EXPECT_EQ(12, ReadInt(Value("12")));
    EXPECT_EQ(-3, ReadInt(Value("-3")));
    EXPECT_EQ(0, ReadInt(Value("2.9")));
    EXPECT_EQ(0, ReadInt(Value("true")));
    EXPECT_EQ(0, ReadInt(Value("\"12\"")));
    EXPECT_EQ(0, ReadInt(Value("null")));
    EXPECT_EQ(0, ReadInt(QJsonValue(QJsonValue::Undefined)));
}

TEST(JsonReadTest, CountsAreTruncatedTowardZeroAndClamped) {
    EXPECT_EQ(2, ReadTruncatedInt(Value("2.9")));
    EXPECT_EQ(-2, ReadTruncatedInt(Value("-2.9")));
    EXPECT_EQ(2147483647, ReadTruncatedInt(Value("1e20")));
    EXPECT_EQ(-2147483647 - 1, ReadTruncatedInt(Value("-1e20")));
    EXPECT_EQ(0, ReadTruncatedInt(Value("\"3\"")));
}

TEST(JsonReadTest, TimesKeepTheirHighBitsAndRejectNegatives) {
    EXPECT_EQ(1700000000123ULL, ReadU64(Value("1700000000123.7")));
    EXPECT_EQ(9223372036854775808ULL, ReadU64(Value("9223372036854775808")));
    EXPECT_EQ(18446744073709549568ULL, ReadU64(Value("18446744073709549568")));
    EXPECT_EQ(18446744073709551615ULL, ReadU64(Value("1e30")));
    EXPECT_EQ(0u, ReadU64(Value("-5")));
    EXPECT_EQ(0u, ReadU64(Value("\"5\"")));
    EXPECT_EQ(0u, ReadU64(Value("false")));
}

TEST(JsonReadTest, TextAndDecimalText) {
    EXPECT_EQ(L"\u4e2d\u6587 ok", ReadWide(Value("\"\\u4e2d\\u6587 ok\"")));
    EXPECT_EQ(L"", ReadWide(Value("5")));
    EXPECT_EQ(2, ReadDecimalText(Value("\"2\"")));
    EXPECT_EQ(-17, ReadDecimalText(Value("\"-17\"")));
    EXPECT_EQ(0, ReadDecimalText(Value("2")));
    EXPECT_EQ(0, ReadDecimalText(Value("\"2x\"")));
    EXPECT_EQ(0, ReadDecimalText(Value("\"99999999999\"")));
}

}  // namespace
