// The factories, the digest list, the timeline, the column list and the counters: bodies and the records
// they give, and what does not fit a table. Requests and failures: failure_log_test.cpp.

#include <set>

#include <gtest/gtest.h>

#include "tests/feed_script.h"

using feedtest::Spell;
using testsupport::Recorder;

namespace {

typedef std::list<InformationEssence> Essences;

class FeedTest : public hostdouble::HostDoubleTest {
protected:
    // The digest publisher sends its first request as it is created.
    void SetUp() override {
        HostDoubleTest::SetUp();
        GetInformationEssence()->Attach(&essences_);
        ASSERT_TRUE(testsupport::WaitUntil([] { return hostdouble::PendingCount() != 0; }));
    }

    Recorder<Essences> essences_;
};

enum Op { kReddot, kEvents, kDetail, kCounts, kColumns, kEssence };

// Sends one request of `op`, answers it with `body`; what reached the callback or subscriber.
std::string Answer(Op op, const std::string& body, Recorder<Essences>& essences) {
    std::string spelled = "not called";
    const auto keep = [&spelled](const auto& result) { spelled = Spell(result); };
    switch (op) {
        case kReddot: GetTimelinePublisher()->RequestReddot(L"a", L"b", keep); break;
        case kEvents: GetTimelinePublisher()->RequestEventList(L"d", keep); break;
        case kDetail: GetTimelinePublisher()->RequestEventDetail(1, keep); break;
        case kCounts: GetCommonPublisher()->RequestCountInfo({1}, keep); break;
        case kColumns: GetExclusivePublisher()->RequestColumnList(keep); break;
        case kEssence: GetInformationEssence()->FetchInformationEssence(0, 0, 50); break;
    }
    hostdouble::CompleteNext(true, body);
    return op == kEssence ? Spell(essences.last()) : spelled;
}

const struct { Op op; const char *body, *records; } kRows[] = {
    {kReddot,
     R"({"errno":0,"data":[{"date":"20261201","nums":3},{"nums":2},{"date":"20261203"},{"date":5,"nums":"4"},7]})",
     "20261201,3;,2;20261203,0;,0;,0"},
    {kReddot, R"({"data":{"date":"20261201","nums":3}})", ""},
    {kEvents, R"({"data":[{"id":1,"title":"t","brief":"b"},{"id":1,"x":0}]})", "1,t,b;1,,"},  // no de-duplication
    {kEvents, "[1,2]", ""},
    {kDetail, R"({"data":{"id":9,"title":"T","content":"C","brief":"x"}})", "9,T,C"},
    {kDetail, R"({"data":[{"id":1,"title":"T"}]})", "0,,"},
    {kCounts, R"({"time":1,"data":{"reading_num":{"12":30},"comment_num":{"12":4,"15":1}}})", "12,30,4;15,0,1"},
    {kCounts, R"({"data":{"reading_num":{"1":2.9,"x":5,"3":"7"},"comment_num":[1,2]}})", "0,5,0;1,2,0;3,0,0"},
    {kCounts, R"({"data":[]})", ""},
    {kColumns, R"({"data":{"column_list":[{"column_id":3,"title":"t","unread_pic":"u","frontpage_pic":"f",)"
               R"("calendar_pic":"c","calendar_color":"#fff","neican_pic":"n"},{"column_id":"4"}]}})",
     "3,t,u,f,c,#fff,n;0,,,,,,"},
    // members in ascending name order; numbers read as 32-bit integers
    {kEssence, R"({"data":{"list":{"2":{"id":2},"10":{"id":10},"1":{"id":1}}}})",
     "1,0,,,,0,0,,;10,0,,,,0,0,,;2,0,,,,0,0,,"},
    {kEssence,
     R"({"data":{"list":{"a":{"id":7,"type":3,"img":"i","brief":"b","content":"c","sort_score":123456,)"
     R"("ctime":1700000000,"title":"t","showurl":"s"},"b":{"id":2.5,"type":"3","sort_score":"99","ctime":-5,)"
     R"("title":7},"c":{"sort_score":1700000000123,"ctime":1.5},"d":"not an object"}}})",
     "7,3,i,b,c,123456,1700000000,t,s;0,0,,,,0,-5,,;0,0,,,,0,0,,;0,0,,,,0,0,,"},
    {kEssence, R"({"data":{"list":[{"id":1}]}})", ""},
};

TEST_F(FeedTest, BodiesBecomeRecords) {
    hostdouble::CompleteNext(true, R"({"data":{"list":{"a":{"id":4}}}})");
    for (const auto& row : kRows)
        EXPECT_EQ(row.records, Answer(row.op, row.body, essences_)) << row.body;
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(FeedTest, DigestsAreFetchedAtCreationAndStoredForLateSubscribers) {
    ASSERT_EQ(1u, hostdouble::RequestCount());
    EXPECT_EQ("last_time=0&refresh_type=0&rn=50", Spell(hostdouble::Requests()[0]));
    EXPECT_EQ("", Spell(essences_.last()));
    hostdouble::CompleteNext(true, R"({"data":{"list":{"a":{"id":4}}}})");
    Recorder<Essences> late;
    GetInformationEssence()->Attach(&late);
    EXPECT_EQ("4,0,,,,0,0,,", Spell(late.last()));

    // Teardown ends the 600 s wait at once, without another request.
    const auto begin = std::chrono::steady_clock::now();
    DestroyAllPublisher();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    EXPECT_EQ(1u, hostdouble::RequestCount());
}

// Each request carries the "time" of the last answer read; one without a callback, or a failed one, is not read.
TEST_F(FeedTest, CountersCarryTheTimeOfTheLastAnswerRead) {
    hostdouble::CompleteNext(true, "{}");
    const struct { bool callback, success; const char *body, *sent; } kSteps[] = {
        {true, true, R"({"time":1700000000.8})", "0"}, {true, true, "{}", "1700000000"},
        {true, true, R"({"time":100})", "0"},          {false, true, R"({"time":200})", "100"},
        {true, false, R"({"time":300})", "100"},       {true, true, "{}", "100"},
    };
    for (const auto& step : kSteps) {
        GetCommonPublisher()->RequestCountInfo({1}, step.callback ? [](const CountInfoMap&) {} : CountInfoCallback());
        EXPECT_EQ(step.sent, hostdouble::Requests().back().param("time")) << step.body;
        hostdouble::CompleteNext(step.success, step.body);
    }
    DestroyAllPublisher();
    DestroyAllPublisher();  // twice: harmless; one made after teardown forgets the service's time
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    EXPECT_EQ("0", hostdouble::Requests().back().param("time"));
}

class FactoryTest : public hostdouble::HostDoubleTest {};

std::vector<void*> Publishers() {
    return {GetTelegraphPublisher(), GetDepthPublisher(),   GetTimelinePublisher(),    GetExclusivePublisher(),
            GetCommonPublisher(),    GetStockNews(),        GetStockAnnouncement(),    GetStockUnusualTrading(),
            GetInformationEssence(), GetStockLandMine()};
}

TEST_F(FactoryTest, EachHandsOutItsOwnPublisherUntilTeardown) {
    DestroyAllPublisher();  // with nothing created: nothing sent, nothing posted
    EXPECT_EQ(0u, hostdouble::RequestCount() + hostdouble::PendingTaskCount());
    const std::vector<void*> first = Publishers();
    EXPECT_EQ(first, Publishers());
    const std::set<void*> distinct(first.begin(), first.end());
    EXPECT_EQ(first.size(), distinct.size());
    EXPECT_EQ(0u, distinct.count(nullptr));
}

}  // namespace
