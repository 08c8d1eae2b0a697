#pragma once

#include <cstdint>
#include <string>

namespace news_sim {

// Fault injection, each rate a probability per request.
struct SimFaults {
    double failRate = 0;       // HTTP 500, or the connection closed before the body
    double malformedRate = 0;  // a body cut in half, or garbage
    double errnoRate = 0;      // a non-zero "errno" with the data still there
    double stallRate = 0;      // no answer until stallMs passed (or the faults change, or the server stops)
    int delayMs = 0;           // before every answer
    int stallMs = 120000;
};

struct SimOptions {
    std::uint64_t seed = 1;
    std::string key = "lx-news-dev-key";  // the host libraries' default key
    long long startTime = 0;              // seconds since the epoch; 0: the wall clock at start
    int tickMs = 3000;                    // wall time per world tick; 0: only Advance moves the world
    SimFaults faults;                     // at start; NewsServiceSim::SetFaults changes them
};

// Applies one "--flag value" the simulator knows. Returns false with `error` set
// when the value is bad or the flag is not one of them (see IsSimFlag).
bool ApplySimFlag(const std::string& flag, const std::string& value, SimOptions& options, std::string& error);
bool IsSimFlag(const std::string& flag);
// One line per flag but --key, for --help texts.
const char* SimFlagsHelp();

}  // namespace news_sim
