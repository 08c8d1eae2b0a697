// An inform-modify page (/pc/inform/modify) read by the depth refresh.

#include "tests/fuzz/depth_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    fuzz::DepthScript script;
    // The first cycle loads the cache; the next ones fold in edits from the cursor it seeds.
    script.Cycle(fuzz::kDepthSeedPage);
    const std::string body = fuzz::Text(data, size);
    script.Cycle(fuzz::kDepthSeedPage, body);
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per page");
    script.Cycle(fuzz::kDepthSeedPage, body);
    fuzz::Require(fuzz::LogCount() <= 2, "at most one log line per page");
    return 0;
}
