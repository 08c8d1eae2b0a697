// The closing of a desktop client while the network is bad: the real host
// libraries against a server that accepts every request and never answers,
// with every publisher busy. The host stop followed by DestroyAllPublisher must
// end at once, not after a network timeout, and call nothing afterwards.

#include <chrono>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "tests/raw_http_server.h"
#include "tests/stress_support.h"

namespace {

// A prompt teardown takes milliseconds; waiting for one 30 s timeout fails.
const long long kBoundMs = 5000;

TEST(TeardownLoopbackTest, HostStopThenTeardownEndsAtOnceWithEveryPublisherBusy_Loopback) {
    testsupport::SilenceQtDebug();
    RawHttpServer server;
    UrlHelper::SetServiceRoot(server.Url("/stall"));

    stress::Watchers watchers;
    stress::CallbackGates gates;
    const stress::Publishers publishers;
    watchers.Subscribe(publishers);
    for (int serial = 1; serial <= 2; ++serial)
        stress::RequestEverything(publishers, gates, serial);
    // Both refresh cycles have begun (and stalled) once their observers heard so.
    for (int i = 0; i < 5000 && (watchers.telegraph.calls() == 0 || watchers.depth.calls() == 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the rest reach the server

    const auto start = std::chrono::steady_clock::now();
    netwk::Stop();
    base::TaskManagerInstance().Stop();
    DestroyAllPublisher();
    const long long tookMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    watchers.Close();
    gates.callbacks.Close();
    gates.timeline.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::cout << "[ measure  ] host stop + DestroyAllPublisher took " << tookMs << " ms" << std::endl;
    EXPECT_GT(watchers.telegraph.calls(), 0);
    EXPECT_GT(watchers.depth.calls(), 0);
    EXPECT_LT(tookMs, kBoundMs);
    EXPECT_EQ(0, watchers.strays());
    EXPECT_EQ(0, gates.callbacks.strays());
    EXPECT_EQ(0, gates.timeline.strays());
}

}  // namespace
