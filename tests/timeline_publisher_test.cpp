#include "news_center/feeds/timeline_publisher.h"

#include <thread>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

using hostdouble::Request;

namespace {

template <class T>
using Capture = testsupport::Capture<const T&>;

typedef Capture<std::list<TimelineReddot> > ReddotCapture;
typedef Capture<std::list<TimelineEvent> > EventCapture;
typedef Capture<TimelineEventDetail> DetailCapture;

class TimelinePublisherTest : public hostdouble::HostDoubleTest {
protected:
    ITimelinePublisher* publisher() { return GetTimelinePublisher(); }
};

TEST_F(TimelinePublisherTest, EachRequestCarriesItsParameters) {
    publisher()->RequestReddot(L"20261201", L"2026-12-31", ReddotCallback());
    publisher()->RequestEventList(L"\x4ECA\x5929", EventListCallback());
    publisher()->RequestEventDetail(4294967295u, EventDetailCallback());
    const std::vector<Request> requests = hostdouble::Requests();
    ASSERT_EQ(3u, requests.size());
    for (const Request& request : requests) {
        EXPECT_FALSE(request.sync);
        EXPECT_EQ(30, request.timeout);
    }
    EXPECT_EQ("/pc/time_axis/reddot", requests[0].path);
    EXPECT_EQ("20261201", requests[0].param("start_date"));
    EXPECT_EQ("2026-12-31", requests[0].param("end_date"));
    EXPECT_EQ("/pc/time_axis/get_list_by_day", requests[1].path);
    EXPECT_EQ("\xE4\xBB\x8A\xE5\xA4\xA9", requests[1].param("date"));
    EXPECT_EQ("50", requests[1].param("rn"));
    EXPECT_EQ("/pc/time_axis/get_info_by_id", requests[2].path);
    EXPECT_EQ("4294967295", requests[2].param("id"));
}

TEST_F(TimelinePublisherTest, RecordsAreReadInOrderWithDefaultsForMissingKeys) {
    ReddotCapture reddots;
    publisher()->RequestReddot(L"a", L"b", reddots.callback());
    hostdouble::CompleteNext(true,
                             "{\"errno\":0,\"data\":[{\"date\":\"20261201\",\"nums\":3},{\"nums\":2},"
                             "{\"date\":\"20261203\"},{\"date\":5,\"nums\":\"4\"},7]}");
    ASSERT_EQ(1, reddots.calls());
    ASSERT_EQ(5u, reddots.last().size());
    const std::list<TimelineReddot> dots = reddots.last();
    std::list<TimelineReddot>::const_iterator it = dots.begin();
    EXPECT_EQ(L"20261201", it->date);
    EXPECT_EQ(3, it->nums);
    EXPECT_EQ(L"", (++it)->date);
    EXPECT_EQ(2, it->nums);
    EXPECT_EQ(L"20261203", (++it)->date);
    EXPECT_EQ(0, it->nums);
    EXPECT_EQ(L"", (++it)->date);
    EXPECT_EQ(0, it->nums);

    EventCapture events;
    publisher()->RequestEventList(L"d", events.callback());
    hostdouble::CompleteNext(true, "{\"data\":[{\"id\":1,\"title\":\"t\",\"brief\":\"b\"},{\"id\":1,\"x\":0}]}");
    ASSERT_EQ(2u, events.last().size());
    EXPECT_EQ(1, events.last().front().id);
    EXPECT_EQ(L"t", events.last().front().title);
    EXPECT_EQ(L"b", events.last().front().brief);
    EXPECT_EQ(1, events.last().back().id);  // no de-duplication
    EXPECT_EQ(L"", events.last().back().title);

    DetailCapture detail;
    publisher()->RequestEventDetail(9, detail.callback());
    hostdouble::CompleteNext(true, "{\"data\":{\"id\":9,\"title\":\"T\",\"content\":\"C\",\"brief\":\"x\"}}");
    EXPECT_EQ(9, detail.last().id);
    EXPECT_EQ(L"T", detail.last().title);
    EXPECT_EQ(L"C", detail.last().content);
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(TimelinePublisherTest, DataOfTheWrongKindGivesAnEmptyResult) {
    ReddotCapture reddots;
    publisher()->RequestReddot(L"a", L"b", reddots.callback());
    hostdouble::CompleteNext(true, "{\"data\":{\"date\":\"20261201\",\"nums\":3}}");
    DetailCapture detail;
    publisher()->RequestEventDetail(1, detail.callback());
    hostdouble::CompleteNext(true, "{\"data\":[{\"id\":1,\"title\":\"T\"}]}");
    EventCapture events;
    publisher()->RequestEventList(L"d", events.callback());
    hostdouble::CompleteNext(true, "[1,2]");

    EXPECT_EQ(1, reddots.calls());
    EXPECT_TRUE(reddots.last().empty());
    EXPECT_EQ(1, detail.calls());
    EXPECT_EQ(0, detail.last().id);
    EXPECT_EQ(L"", detail.last().title);
    EXPECT_EQ(1, events.calls());
    EXPECT_TRUE(events.last().empty());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

// Their log lines: failure_log_test.cpp.
TEST_F(TimelinePublisherTest, FailuresDeliverDefaults) {
    ReddotCapture reddots;
    EventCapture events;
    DetailCapture detail;
    publisher()->RequestReddot(L"a", L"b", reddots.callback());
    hostdouble::CompleteNext(false, "{\"data\":[{\"nums\":1}]}");
    publisher()->RequestEventList(L"d", events.callback());
    hostdouble::CompleteNext(true, "{\"data\":[");
    publisher()->RequestEventDetail(1, detail.callback());
    hostdouble::CompleteNext(false, "");

    EXPECT_EQ(1, reddots.calls());
    EXPECT_TRUE(reddots.last().empty());
    EXPECT_EQ(1, events.calls());
    EXPECT_TRUE(events.last().empty());
    EXPECT_EQ(1, detail.calls());
    EXPECT_EQ(0, detail.last().id);
}

TEST_F(TimelinePublisherTest, NonZeroErrnoIsLoggedAndDataStillRead) {
    EventCapture events;
    publisher()->RequestEventList(L"d", events.callback());
    hostdouble::CompleteNext(true, "{\"errno\":1,\"data\":[]}");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"TimelinePublisher::RequestEventList Response Error Code: 1"));
    EXPECT_EQ(1, events.calls());
    EXPECT_TRUE(events.last().empty());

    ReddotCapture reddots;
    publisher()->RequestReddot(L"a", L"b", reddots.callback());
    hostdouble::CompleteNext(true, "{\"errno\":-2,\"data\":[{\"date\":\"x\",\"nums\":1}]}");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"TimelinePublisher::RequestReddot Response Error Code: -2"));
    EXPECT_EQ(1u, reddots.last().size());

    DetailCapture detail;
    publisher()->RequestEventDetail(3, detail.callback());
    hostdouble::CompleteNext(true, "{\"errno\":4,\"data\":{\"id\":3}}");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"TimelinePublisher::RequestEventDetail Response Error Code: 4"));
    EXPECT_EQ(3, detail.last().id);
}

TEST_F(TimelinePublisherTest, EmptyCallbackStillSendsAndLogs) {
    publisher()->RequestEventDetail(1, EventDetailCallback());
    publisher()->RequestReddot(L"a", L"b", ReddotCallback());
    EXPECT_EQ(2u, hostdouble::RequestCount());
    hostdouble::CompleteNext(false, "");
    hostdouble::CompleteNext(true, "{\"errno\":6,\"data\":");
    EXPECT_EQ(1u, hostdouble::CountLogs(L"TimelinePublisher::RequestEventDetail Code fail"));
    ASSERT_EQ(2u, hostdouble::Logs().size());
    EXPECT_EQ(0u, hostdouble::Logs()[1].text.find(L"TimelinePublisher::RequestReddot Json Parse Error Code: "));
}

TEST_F(TimelinePublisherTest, CompletionAfterTeardownStillDelivers) {
    DetailCapture detail;
    publisher()->RequestEventDetail(5, detail.callback());
    const HttpCompletion late = hostdouble::TakeNext();
    DestroyAllPublisher();
    const std::string body = "{\"data\":{\"id\":5,\"title\":\"late\"}}";
    late(true, body.data(), static_cast<long long>(body.size()));
    EXPECT_EQ(1, detail.calls());
    EXPECT_EQ(L"late", detail.last().title);
}

TEST_F(TimelinePublisherTest, ConcurrentRequestsEachCallTheirOwnCallbackOnce) {
    const int kRequests = 100;
    std::vector<DetailCapture> captures(kRequests);
    ITimelinePublisher* timeline = publisher();  // first factory call from one thread
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([timeline, &captures, t] {
            for (int i = t; i < kRequests; i += 4)
                timeline->RequestEventDetail(static_cast<unsigned int>(i), captures[i].callback());
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    hostdouble::DeliverConcurrently(
        [](const Request& request, std::size_t) { return "{\"data\":{\"id\":" + request.param("id") + "}}"; });
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(1, captures[i].calls());
        EXPECT_EQ(i, captures[i].last().id);
    }
}

}  // namespace
