// An inform-modify page (/pc/inform/modify) read by the depth refresh.

#include "tests/fuzz/depth_fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceQtDebug();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    CDepthPublisher* depth = static_cast<CDepthPublisher*>(GetDepthPublisher());
    fuzz::DepthScript script(depth);
    fuzz::DepthObserver observer;
    depth->Subscribe(&observer);
    // The first cycle loads the cache; the next ones fold in edits from the cursor it seeds.
    script.Cycle(observer, fuzz::kDepthSeedPage);
    const std::string body = fuzz::Text(data, size);
    script.Cycle(observer, fuzz::kDepthSeedPage, body);
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per page");
    script.Cycle(observer, fuzz::kDepthSeedPage, body);
    fuzz::Require(fuzz::LogCount() <= 2, "at most one log line per page");
    return 0;
}
