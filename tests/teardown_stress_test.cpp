// Work that outlives its publisher: every round leaves completions, counter
// callbacks and refresh tasks pending at DestroyAllPublisher and delivers them
// afterwards. Nothing may reach a destroyed publisher; under AddressSanitizer a
// late completion that touched one would be a use after free.

#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/stress_support.h"

namespace {

const int kRounds = 1000;

class TeardownStressTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        testsupport::SilenceQtDebug();
    }
};

// Every other round runs the refreshes first, so that the counter requests they
// make, whose callbacks are bound to the telegraph and depth publishers, are
// pending too; every fourth round delivers on another thread while the
// teardown runs, and the rest after it.
TEST_F(TeardownStressTest, WorkDeliveredAfterTeardownReachesNoPublisher) {
    stress::Watchers watchers;
    stress::CallbackGates gates;
    int timelineRequests = 0;
    int rounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        hostdouble::Reset();
        stress::AnswerSyncRequests();
        gates.callbacks.Open();
        {
            const stress::Publishers publishers;
            watchers.Subscribe(publishers);
            stress::RequestEverything(publishers, gates, round);
            if (publishers.timeline)
                timelineRequests += 3;
            if (round % 2 == 1) {
                hostdouble::RunPendingTasks();
                if (publishers.telegraph)
                    publishers.telegraph->Refresh();
                if (publishers.depth)
                    publishers.depth->Refresh();
            }
        }
        ASSERT_GT(hostdouble::PendingCount(), 0u);
        ASSERT_GT(hostdouble::PendingTaskCount(), 0u);

        std::thread racer;
        if (round % 4 == 2)
            racer = std::thread([round] { stress::DeliverAll(round); });
        DestroyAllPublisher();
        if (racer.joinable())
            racer.join();

        watchers.Close();
        gates.callbacks.Close();
        const std::size_t requests = hostdouble::RequestCount();
        const std::size_t logs = hostdouble::Logs().size();
        stress::DeliverAll(round);

        ASSERT_EQ(0, watchers.strays()) << "round " << round;
        ASSERT_EQ(0, gates.callbacks.strays()) << "round " << round;
        ASSERT_EQ(requests, hostdouble::RequestCount()) << "late work sent a request, round " << round;
        ASSERT_EQ(logs, hostdouble::Logs().size()) << "late work wrote a log line, round " << round;
        ++rounds;
    }
    // The timeline holds nothing of itself in a completion: its answers still arrive.
    EXPECT_EQ(timelineRequests, gates.timeline.calls());
    std::cout << "[ measure  ] " << rounds << " teardown rounds, " << watchers.telegraph.calls() + watchers.depth.calls()
              << " observer calls and " << gates.callbacks.calls() << " callbacks before teardown" << std::endl;
}

}  // namespace
