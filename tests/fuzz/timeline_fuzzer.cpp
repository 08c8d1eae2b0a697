// The timeline's three completions: the first input byte picks red dots, the
// events of a day or an event's detail; the rest is the body.

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    fuzz::Round round;
    ITimelinePublisher* timeline = GetTimelinePublisher();
    int calls = 0;
    switch (data[0] % 3) {
    case 0:
        timeline->RequestReddot(L"2026-12-01", L"2026-12-31", [&calls](const std::list<TimelineReddot>&) { ++calls; });
        break;
    case 1:
        timeline->RequestEventList(L"2026-12-06", [&calls](const std::list<TimelineEvent>&) { ++calls; });
        break;
    default:
        timeline->RequestEventDetail(42, [&calls](const TimelineEventDetail&) { ++calls; });
        break;
    }
    fuzz::CompleteWith(data + 1, size - 1);
    fuzz::Require(calls == 1, "the callback runs once");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");
    return 0;
}
