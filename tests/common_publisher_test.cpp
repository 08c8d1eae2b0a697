#include "news_center/feeds/common_publisher.h"


#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using hostdouble::Request;

namespace {

using Capture = testsupport::Capture<const CountInfoMap&>;

class CommonPublisherTest : public hostdouble::HostDoubleTest {
protected:
    ICommonPublisher* publisher() { return GetCommonPublisher(); }

    // Sends one request and returns what the double recorded.
    Request Send(const std::vector<unsigned int>& ids, const CountInfoCallback& callback) {
        const std::size_t before = hostdouble::RequestCount();
        publisher()->RequestCountInfo(ids, callback);
        EXPECT_EQ(before + 1, hostdouble::RequestCount());
        return hostdouble::Requests().back();
    }
};

TEST_F(CommonPublisherTest, IdsTextSkipsZerosAndKeepsOrderAndDuplicates) {
    Request request = Send({5, 0, 7}, CountInfoCallback());
    EXPECT_EQ("/pc/information/get_count_by_ids", request.path);
    EXPECT_EQ("5,7", request.param("ids"));
    EXPECT_EQ("0", request.param("time"));
    EXPECT_EQ(30, request.timeout);
    EXPECT_FALSE(request.sync);

    EXPECT_EQ("", Send({0, 0}, CountInfoCallback()).param("ids"));
    EXPECT_EQ("", Send({}, CountInfoCallback()).param("ids"));
    EXPECT_EQ("7,7", Send({7, 7}, CountInfoCallback()).param("ids"));
    EXPECT_EQ("9,4294967295,1", Send({9, 4294967295u, 1}, CountInfoCallback()).param("ids"));
}

TEST_F(CommonPublisherTest, ResponseBecomesAMapOfTheListedIds) {
    Capture capture;
    Send({12, 15, 99}, capture.callback());
    hostdouble::CompleteNext(true,
                             "{\"errno\":0,\"time\":1700000000,\"data\":{"
                             "\"reading_num\":{\"12\":30},"
                             "\"comment_num\":{\"12\":4,\"15\":1}}}");
    ASSERT_EQ(1, capture.calls());
    ASSERT_EQ(2u, capture.last().size());
    EXPECT_EQ(30, capture.last()[12].reading_num);
    EXPECT_EQ(4, capture.last()[12].comment_num);
    EXPECT_EQ(0, capture.last()[15].reading_num);
    EXPECT_EQ(1, capture.last()[15].comment_num);
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(CommonPublisherTest, CountsAreTruncatedAndOddKeysReadAsZero) {
    Capture capture;
    Send({1}, capture.callback());
    hostdouble::CompleteNext(true,
                             "{\"data\":{\"reading_num\":{\"1\":2.9,\"x\":5,\"3\":\"7\"},"
                             "\"comment_num\":[1,2]}}");
    ASSERT_EQ(1, capture.calls());
    EXPECT_EQ(2, capture.last()[1].reading_num);
    EXPECT_EQ(5, capture.last()[0].reading_num);  // "x" is not a number
    EXPECT_EQ(0, capture.last()[3].reading_num);  // a string count
    EXPECT_EQ(3u, capture.last().size());
}

TEST_F(CommonPublisherTest, MissingOrMistypedDataDeliversAnEmptyMap) {
    Capture capture;
    Send({1}, capture.callback());
    hostdouble::CompleteNext(true, "{\"errno\":0}");
    Send({1}, capture.callback());
    hostdouble::CompleteNext(true, "{\"data\":[]}");
    EXPECT_EQ(2, capture.calls());
    EXPECT_TRUE(capture.last().empty());
}

TEST_F(CommonPublisherTest, NonZeroErrnoIsLoggedAndStillDelivered) {
    Capture capture;
    Send({12}, capture.callback());
    hostdouble::CompleteNext(true, "{\"errno\":3,\"data\":{\"reading_num\":{\"12\":1}}}");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"CommonPublisher::RequestCountInfo Response Error Code: 3"));
    ASSERT_EQ(1, capture.calls());
    EXPECT_EQ(1, capture.last()[12].reading_num);
}

TEST_F(CommonPublisherTest, NextRequestCarriesTheTimeOfTheLastParsedResponse) {
    Capture capture;
    Send({1}, capture.callback());
    hostdouble::CompleteNext(true, "{\"time\":1700000000.8,\"data\":{}}");
    EXPECT_EQ("1700000000", Send({1}, capture.callback()).param("time"));

    // A response without "time" sets it back to 0.
    hostdouble::CompleteNext(true, "{\"data\":{}}");
    EXPECT_EQ("0", Send({1}, capture.callback()).param("time"));
}

TEST_F(CommonPublisherTest, EmptyCallbackSendsButNeitherParsesNorStores) {
    Capture capture;
    Send({1}, capture.callback());
    hostdouble::CompleteNext(true, "{\"time\":100,\"data\":{}}");

    Send({1}, CountInfoCallback());
    hostdouble::CompleteNext(true, "{\"time\":200,\"errno\":4}");
    EXPECT_TRUE(hostdouble::Logs().empty());
    EXPECT_EQ("100", Send({1}, capture.callback()).param("time"));
}

TEST_F(CommonPublisherTest, TimeOfTheLaterCompletionWinsWhateverTheRequestOrder) {
    Capture first, second;
    Send({1}, first.callback());
    Send({2}, second.callback());
    Request firstRequest, secondRequest;
    HttpCompletion firstCompletion = hostdouble::TakeNext(&firstRequest);
    HttpCompletion secondCompletion = hostdouble::TakeNext(&secondRequest);
    EXPECT_EQ("1", firstRequest.param("ids"));

    const std::string newer = "{\"time\":900,\"data\":{\"reading_num\":{\"2\":1}}}";
    const std::string older = "{\"time\":500,\"data\":{\"reading_num\":{\"1\":1}}}";
    secondCompletion(true, newer.data(), static_cast<long long>(newer.size()));
    firstCompletion(true, older.data(), static_cast<long long>(older.size()));

    // Each callback got its own answer.
    EXPECT_EQ(1u, first.last().count(1));
    EXPECT_EQ(1u, second.last().count(2));
    EXPECT_EQ("500", Send({3}, first.callback()).param("time"));
}

TEST_F(CommonPublisherTest, CompletionAfterTeardownTouchesNothing) {
    Capture capture;
    Send({1}, capture.callback());
    HttpCompletion late = hostdouble::TakeNext();
    DestroyAllPublisher();

    const std::string body = "{\"time\":5,\"errno\":2,\"data\":{\"reading_num\":{\"1\":1}}}";
    late(true, body.data(), static_cast<long long>(body.size()));
    late(false, nullptr, 0);
    EXPECT_EQ(0, capture.calls());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(CommonPublisherTest, ManyConcurrentCompletionsEachCallTheirOwnCallback) {
    const int kRequests = 200;
    std::vector<Capture> captures(kRequests);
    for (int i = 0; i < kRequests; ++i)
        Send({static_cast<unsigned int>(i + 1)}, captures[i].callback());
    hostdouble::DeliverConcurrently([](const Request& request, std::size_t i) {
        return "{\"time\":" + std::to_string(i) + ",\"data\":{\"reading_num\":{\"" + request.param("ids") + "\":7}}}";
    });
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_EQ(1, captures[i].calls());
        EXPECT_EQ(7, captures[i].last()[i + 1].reading_num);
    }
}

}  // namespace
