#include <algorithm>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"

namespace {

class RegistryTest : public hostdouble::HostDoubleTest {};

TEST_F(RegistryTest, FactoryHandsOutOnePublisherUntilTeardown) {
    ICommonPublisher* first = GetCommonPublisher();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, GetCommonPublisher());
}

TEST_F(RegistryTest, EveryFactoryHandsOutItsOwnPublisher) {
    const std::vector<void*> first = {GetTelegraphPublisher(), GetDepthPublisher(),     GetTimelinePublisher(),
                                      GetExclusivePublisher(), GetCommonPublisher(),    GetStockNews(),
                                      GetStockAnnouncement(),  GetStockUnusualTrading(), GetInformationEssence(),
                                      GetStockLandMine()};
    const std::vector<void*> again = {GetTelegraphPublisher(), GetDepthPublisher(),     GetTimelinePublisher(),
                                      GetExclusivePublisher(), GetCommonPublisher(),    GetStockNews(),
                                      GetStockAnnouncement(),  GetStockUnusualTrading(), GetInformationEssence(),
                                      GetStockLandMine()};
    EXPECT_EQ(first, again);
    EXPECT_EQ(first.size(), std::set<void*>(first.begin(), first.end()).size());
    EXPECT_EQ(0u, std::count(first.begin(), first.end(), nullptr));
    DestroyAllPublisher();
}

TEST_F(RegistryTest, TeardownWithNothingCreatedOrTwiceIsHarmless) {
    DestroyAllPublisher();
    DestroyAllPublisher();
    ASSERT_NE(nullptr, GetCommonPublisher());
    DestroyAllPublisher();
    DestroyAllPublisher();
}

TEST_F(RegistryTest, PublisherCreatedAfterTeardownStartsFresh) {
    GetCommonPublisher()->RequestCountInfo({1}, [](const CountInfoMap&) {});
    hostdouble::CompleteNext(true, "{\"time\":77,\"data\":{}}");
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    EXPECT_EQ("77", hostdouble::Requests().back().param("time"));

    DestroyAllPublisher();
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    EXPECT_EQ("0", hostdouble::Requests().back().param("time"));
}

TEST_F(RegistryTest, LoadingCreatesNoPublisherAndSendsNothing) {
    DestroyAllPublisher();
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(0u, hostdouble::PendingTaskCount());
}

}  // namespace
