// The depth refresh page (/pc/information/get_depth through GetSync), read on
// an empty cache and again over a known one.

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
    const std::string body = fuzz::Text(data, size);
    script.Cycle(observer, body);
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per page");
    script.Cycle(observer, fuzz::kDepthSeedPage);
    script.Cycle(observer, body);
    fuzz::Require(fuzz::LogCount() <= 2, "at most one log line per page");
    return 0;
}
