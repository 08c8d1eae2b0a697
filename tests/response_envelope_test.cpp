#include "news_center/request/response_envelope.h"

#include <QJsonParseError>
#include <QString>
#include <gtest/gtest.h>

#include "tests/host_double/host_double.h"

using namespace news_center::internal;
using hostdouble::Answer;

namespace {

const OperationTexts kTexts = {L"Op Failed!", L"Op Json Parse Error Code: %d", L"Op Response Error Code: %d"};

class ResponseEnvelopeTest : public hostdouble::HostDoubleTest {
protected:
    Response Open(bool success, const std::string& body, bool wanted = true) {
        return OpenResponse(kTexts, success, body.data(), static_cast<long long>(body.size()), wanted);
    }
};

TEST_F(ResponseEnvelopeTest, FailedTransferWritesTheTransportTextThroughTheStringLog) {
    EXPECT_FALSE(Open(false, "{\"errno\":0}").isParsed());
    std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
    ASSERT_EQ(1u, logs.size());
    EXPECT_TRUE(logs[0].viaString);
    EXPECT_EQ(-1, logs[0].level);
    EXPECT_EQ(L"Op Failed!", logs[0].text);
}

TEST_F(ResponseEnvelopeTest, EmptyNullOrUnwantedBodiesAreSilent) {
    EXPECT_FALSE(Open(true, "").isParsed());
    EXPECT_FALSE(OpenResponse(kTexts, true, nullptr, 10).isParsed());
    EXPECT_FALSE(OpenResponse(kTexts, true, "{}", -1).isParsed());
    EXPECT_FALSE(Open(true, "not json", false).isParsed());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(ResponseEnvelopeTest, BodyThatIsNotJsonLogsTheParserCodeAndNoErrnoText) {
    EXPECT_FALSE(Open(true, "not json").isParsed());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"Op Json Parse Error Code: " +
                                        std::to_wstring(static_cast<int>(QJsonParseError::IllegalValue))));
    EXPECT_EQ(1u, hostdouble::Logs().size());
}

TEST_F(ResponseEnvelopeTest, BodyCutInHalfIsAParseError) {
    const std::string whole = "{\"errno\":0,\"data\":{\"list\":[1,2,3]},\"time\":5}";
    EXPECT_FALSE(Open(true, whole.substr(0, whole.size() / 2)).isParsed());
    ASSERT_EQ(1u, hostdouble::Logs().size());
    EXPECT_EQ(0u, hostdouble::Logs()[0].text.find(L"Op Json Parse Error Code: "));
}

TEST_F(ResponseEnvelopeTest, OnlyTheGivenLengthIsParsed) {
    const std::string body = "{\"time\":5}garbage";
    Response response = OpenResponse(kTexts, true, body.data(), 10);
    ASSERT_TRUE(response.isParsed());
    EXPECT_EQ(5u, response.time());
}

TEST_F(ResponseEnvelopeTest, NonZeroErrnoIsLoggedAndTheDataStillUsed) {
    Response response = Open(true, "{\"errno\":7,\"data\":{\"a\":1},\"time\":1700000000.9}");
    ASSERT_TRUE(response.isParsed());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"Op Response Error Code: 7"));
    EXPECT_EQ(1, response.dataObject().value(QStringLiteral("a")).toInt());
    EXPECT_EQ(1700000000u, response.time());
}

TEST_F(ResponseEnvelopeTest, ErrnoOfAnotherTypeReadsAsZero) {
    EXPECT_TRUE(Open(true, "{\"errno\":\"7\",\"data\":[]}").isParsed());
    EXPECT_TRUE(Open(true, "{\"errno\":true}").isParsed());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(ResponseEnvelopeTest, ErrnoIsNotReadWithoutAResponseText) {
    const OperationTexts quiet = {nullptr, nullptr, nullptr};
    const std::string body = "{\"errno\":9}";
    EXPECT_TRUE(OpenResponse(quiet, true, body.data(), static_cast<long long>(body.size())).isParsed());
    EXPECT_FALSE(OpenResponse(quiet, false, nullptr, 0).isParsed());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(ResponseEnvelopeTest, TopLevelArrayOrMissingKeysGiveEmptyData) {
    Response response = Open(true, "[1,2]");
    ASSERT_TRUE(response.isParsed());
    EXPECT_TRUE(response.dataObject().isEmpty());
    EXPECT_TRUE(response.dataArray().isEmpty());
    EXPECT_EQ(0u, response.time());
}

TEST_F(ResponseEnvelopeTest, SyncFailureWithATextLogsTheUrlAndStops) {
    const OperationTexts texts = {L"Op Failed: url = %s", L"Op Json Parse Error Code: %d", nullptr};
    hostdouble::QueueSyncAnswer(Answer{false, "{\"time\":3}", false});
    SyncResponse result = FetchSync(L"double:/x?a=1", texts);
    EXPECT_FALSE(result.transferred);
    EXPECT_FALSE(result.response.isParsed());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"Op Failed: url = double:/x?a=1"));
    ASSERT_EQ(1u, hostdouble::RequestCount());
    EXPECT_EQ(30, hostdouble::Requests()[0].timeout);
    EXPECT_TRUE(hostdouble::Requests()[0].sync);
}

TEST_F(ResponseEnvelopeTest, SyncFailureWithoutATextStillReadsABody) {
    const OperationTexts quiet = {nullptr, nullptr, nullptr};
    hostdouble::QueueSyncAnswer(Answer{false, "{\"time\":3}", false});
    SyncResponse result = FetchSync(L"double:/x", quiet);
    EXPECT_FALSE(result.transferred);
    ASSERT_TRUE(result.response.isParsed());
    EXPECT_EQ(3u, result.response.time());

    hostdouble::QueueSyncAnswer(Answer::Ok(""));
    result = FetchSync(L"double:/x", kTexts);
    EXPECT_TRUE(result.transferred);
    EXPECT_FALSE(result.response.isParsed());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
