// The depth refresh page (/pc/information/get_depth through GetSync), read on
// an empty cache and again over a known one.

#include "tests/fuzz/depth_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    fuzz::DepthScript script;
    const std::string body = fuzz::Text(data, size);
    script.Cycle(body);
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per page");
    script.Cycle(fuzz::kDepthSeedPage);
    script.Cycle(body);
    fuzz::Require(fuzz::LogCount() <= 2, "at most one log line per page");
    return 0;
}
