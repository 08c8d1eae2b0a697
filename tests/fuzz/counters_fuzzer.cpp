// The article counters' completion (/pc/information/get_count_by_ids).

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    int calls = 0;
    GetCommonPublisher()->RequestCountInfo({12, 15, 99}, [&calls](const CountInfoMap&) { ++calls; });
    fuzz::CompleteWith(data, size);
    fuzz::Require(calls <= 1, "one answer per request");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");
    // The "time" just stored goes out with the next request.
    GetCommonPublisher()->RequestCountInfo({1}, CountInfoCallback());
    fuzz::Require(hostdouble::Requests().back().has("time"), "time is always sent");
    return 0;
}
