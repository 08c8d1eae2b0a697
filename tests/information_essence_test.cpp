#include "news_center/feeds/information_essence.h"

#include <chrono>
#include <iostream>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using testsupport::Recorder;

namespace {

typedef std::list<InformationEssence> EssenceList;

std::vector<InformationEssence> Entries(const EssenceList& list) {
    return std::vector<InformationEssence>(list.begin(), list.end());
}

class InformationEssenceTest : public hostdouble::HostDoubleTest {
protected:
    // Creates the publisher and waits until its worker's first request can be
    // answered (the double records a request just before it queues the completion).
    void Start() {
        GetInformationEssence()->Attach(&recorder_);
        ASSERT_TRUE(hostdouble::WaitForRequests(1));
        const std::chrono::steady_clock::time_point deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (hostdouble::PendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(1u, hostdouble::PendingCount());
    }

    // Answers the oldest pending request; returns the list published.
    std::vector<InformationEssence> Answer(const std::string& body) {
        const std::size_t before = recorder_.count();
        hostdouble::CompleteNext(true, body);
        EXPECT_EQ(before + 1, recorder_.count());
        return Entries(recorder_.last());
    }

    Recorder<EssenceList> recorder_;
};

TEST_F(InformationEssenceTest, CreationSendsTheFirstRequestAtOnce) {
    Start();
    const std::vector<hostdouble::Request> requests = hostdouble::Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("/pc/information/sum_article_list", requests[0].path);
    EXPECT_EQ("0", requests[0].param("last_time"));
    EXPECT_EQ("0", requests[0].param("refresh_type"));
    EXPECT_EQ("50", requests[0].param("rn"));
    EXPECT_EQ(30, requests[0].timeout);
    EXPECT_FALSE(requests[0].sync);
    ASSERT_EQ(1u, recorder_.count());
    EXPECT_TRUE(recorder_.last().empty());
}

TEST_F(InformationEssenceTest, TeardownDuringTheWaitReturnsPromptlyWithoutAnotherRequest) {
    Start();
    const std::chrono::steady_clock::time_point begin = std::chrono::steady_clock::now();
    DestroyAllPublisher();
    const long long elapsedUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin).count();
    std::cout << "[ figure ] teardown during the wait took " << elapsedUs << " us" << std::endl;
    EXPECT_LT(elapsedUs, 10000000);  // only a hang fails: the wait itself is 600 s
    EXPECT_EQ(1u, hostdouble::RequestCount());
}

TEST_F(InformationEssenceTest, TeardownRightAfterCreationIsSafe) {
    GetInformationEssence();
    DestroyAllPublisher();
    EXPECT_GE(1u, hostdouble::RequestCount());
    if (hostdouble::PendingCount() != 0)
        hostdouble::CompleteNext(true, R"({"errno":1,"data":{"list":{"a":{}}}})");
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(InformationEssenceTest, ClientFetchPassesItsArgumentsThrough) {
    Start();
    GetInformationEssence()->FetchInformationEssence(1700000000123ULL, 1, 20);
    GetInformationEssence()->FetchInformationEssence(1700000000123ULL, 1, 20);
    const std::vector<hostdouble::Request> requests = hostdouble::Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("1700000000123", requests[1].param("last_time"));
    EXPECT_EQ("1", requests[1].param("refresh_type"));
    EXPECT_EQ("20", requests[1].param("rn"));
    EXPECT_EQ(requests[1].params, requests[2].params);
}

TEST_F(InformationEssenceTest, ListMembersAreReadInAscendingNameOrder) {
    Start();
    const std::vector<InformationEssence> list =
        Answer(R"({"errno":0,"data":{"list":{"2":{"id":2},"10":{"id":10},"1":{"id":1}}}})");
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(1, list[0].id);
    EXPECT_EQ(10, list[1].id);
    EXPECT_EQ(2, list[2].id);
}

TEST_F(InformationEssenceTest, RecordsFollowTheReadingRules) {
    Start();
    const std::vector<InformationEssence> list = Answer(
        R"({"data":{"list":{)"
        R"("a":{"id":7,"type":3,"img":"i","brief":"b","content":"c","sort_score":123456,"ctime":1700000000,)"
        R"("title":"t","showurl":"s"},)"
        R"("b":{"id":2.5,"type":"3","sort_score":"99","ctime":-5,"title":7},)"
        R"("c":{"sort_score":1700000000123,"ctime":1.5},)"
        R"("d":"not an object"}}})");
    ASSERT_EQ(4u, list.size());
    EXPECT_EQ(7, list[0].id);
    EXPECT_EQ(3, list[0].type);
    EXPECT_EQ(L"i", list[0].img);
    EXPECT_EQ(L"b", list[0].brief);
    EXPECT_EQ(L"c", list[0].content);
    EXPECT_EQ(123456, list[0].sort_score);
    EXPECT_EQ(1700000000, list[0].ctime);
    EXPECT_EQ(L"t", list[0].title);
    EXPECT_EQ(L"s", list[0].showurl);

    EXPECT_EQ(0, list[1].id);
    EXPECT_EQ(0, list[1].type);
    EXPECT_EQ(0, list[1].sort_score);
    EXPECT_EQ(-5, list[1].ctime);
    EXPECT_TRUE(list[1].title.empty());

    // 32-bit reading: beyond the range or not whole gives 0.
    EXPECT_EQ(0, list[2].sort_score);
    EXPECT_EQ(0, list[2].ctime);

    EXPECT_EQ(0, list[3].id);
    EXPECT_TRUE(list[3].title.empty());
}

TEST_F(InformationEssenceTest, ListThatIsNotAnObjectReplacesTheListWithAnEmptyOne) {
    Start();
    EXPECT_EQ(1u, Answer(R"({"data":{"list":{"a":{"id":1}}}})").size());
    GetInformationEssence()->FetchInformationEssence(0, 0, 50);
    EXPECT_TRUE(Answer(R"({"data":{"list":[{"id":1}]}})").empty());
    GetInformationEssence()->FetchInformationEssence(0, 0, 50);
    EXPECT_TRUE(Answer(R"({"data":[{"list":{"a":{"id":1}}}]})").empty());
}

TEST_F(InformationEssenceTest, NonZeroErrnoIsLoggedAndTheListStillDelivered) {
    Start();
    EXPECT_EQ(1u, Answer(R"({"errno":5,"data":{"list":{"a":{"id":1}}}})").size());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"CInformationEssence::FetchInformationEssence Error Code: 5"));
}

TEST_F(InformationEssenceTest, LateSubscriberReceivesTheStoredList) {
    Start();
    Answer(R"({"data":{"list":{"a":{"id":4}}}})");
    Recorder<EssenceList> late;
    GetInformationEssence()->Attach(&late);
    ASSERT_EQ(1u, late.count());
    ASSERT_EQ(1u, late.last().size());
    EXPECT_EQ(4, late.last().front().id);
}

TEST_F(InformationEssenceTest, CompletionAfterTeardownTouchesNothing) {
    Start();
    HttpCompletion late = hostdouble::TakeNext();
    DestroyAllPublisher();
    const std::string body = R"({"errno":2,"data":{"list":{"a":{"id":1}}}})";
    late(true, body.data(), static_cast<long long>(body.size()));
    late(false, nullptr, 0);
    EXPECT_EQ(1u, recorder_.count());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
