// The factories, and hostile input at the observer interfaces that the other
// tables do not reach: null observers, an empty depth callback.

#include <atomic>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace {

class InterfaceInputTest : public hostdouble::HostDoubleTest {};

std::vector<void*> Publishers() {
    return {GetTelegraphPublisher(), GetDepthPublisher(),     GetTimelinePublisher(),   GetExclusivePublisher(),
            GetCommonPublisher(),    GetStockNews(),          GetStockAnnouncement(),   GetStockUnusualTrading(),
            GetInformationEssence(), GetStockLandMine()};
}

TEST_F(InterfaceInputTest, EachFactoryHandsOutItsOwnPublisherUntilTeardown) {
    DestroyAllPublisher();  // with nothing created: nothing sent, nothing posted
    EXPECT_EQ(0u, hostdouble::RequestCount() + hostdouble::PendingTaskCount());

    // A publisher made after teardown starts fresh: the counters forget the service's time.
    GetCommonPublisher()->RequestCountInfo({1}, [](const CountInfoMap&) {});
    hostdouble::CompleteNext(true, "{\"time\":77}");
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    EXPECT_EQ("77", hostdouble::Requests().back().param("time"));
    DestroyAllPublisher();
    DestroyAllPublisher();  // twice: harmless
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    EXPECT_EQ("0", hostdouble::Requests().back().param("time"));

    const std::vector<void*> first = Publishers();
    EXPECT_EQ(first, Publishers());
    EXPECT_EQ(first.size(), std::set<void*>(first.begin(), first.end()).size());
    EXPECT_EQ(0u, std::set<void*>(first.begin(), first.end()).count(nullptr));
}

struct DepthObserver : IDepthObserver {
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool failed, const DepthUpdate&) override { loaded = loaded || !failed; }
    void OnDepthCountersUpdate(CountInfoMap) override {}
    std::atomic<bool> loaded{false};
};

TEST_F(InterfaceInputTest, NullObserversAreNeverRegistered) {
    GetTelegraphPublisher()->Subscribe(nullptr);
    GetDepthPublisher()->Subscribe(nullptr);
    GetTelegraphPublisher()->Unsubscribe(nullptr);
    GetDepthPublisher()->Unsubscribe(nullptr);
    GetTelegraphPublisher()->Refresh();
    GetDepthPublisher()->Refresh();
    hostdouble::RunPendingTasks();
    EXPECT_EQ(0u, hostdouble::RequestCount());  // a refresh with nobody registered fetches nothing
    EXPECT_TRUE(hostdouble::Logs().empty());
}

// With nothing loaded an empty callback still starts over; with a page loaded it is ignored.
TEST_F(InterfaceInputTest, EmptyDepthCallback) {
    IDepthPublisher* depth = GetDepthPublisher();
    depth->RequestEarlierDepth(DepthArticleCallback());
    EXPECT_EQ(0u, hostdouble::RequestCount());
    ASSERT_EQ(1u, hostdouble::PendingTaskCount());

    hostdouble::SetSyncHandler([](const hostdouble::Request& r) { return hostdouble::Answer::Ok(body::For(r.path)); });
    DepthObserver observer;
    depth->Subscribe(&observer);
    hostdouble::RunPendingTasks();
    ASSERT_TRUE(testsupport::WaitUntil([&observer] { return observer.loaded.load(); }));
    depth->RequestEarlierDepth(DepthArticleCallback());
    for (const hostdouble::Request& request : testsupport::RequestsTo("/pc/information/get_depth"))
        EXPECT_EQ("0", request.param("refresh_type"));  // no older page
    EXPECT_EQ(0u, hostdouble::PendingTaskCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
    DestroyAllPublisher();
}

}  // namespace
