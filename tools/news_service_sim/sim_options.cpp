#include "tools/news_service_sim/sim_options.h"

#include <cerrno>
#include <cstdlib>

namespace news_sim {

namespace {

bool ParseRate(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= 0.0 && value <= 1.0)) return false;
    out = value;
    return true;
}

template <class Integer>
bool ParseInteger(const std::string& text, Integer& out, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) return false;
    out = static_cast<Integer>(value);
    return true;
}

}  // namespace

bool IsSimFlag(const std::string& flag) {
    return flag == "--seed" || flag == "--key" || flag == "--start-time" || flag == "--tick-ms" ||
           flag == "--fail-rate" || flag == "--malformed-rate" || flag == "--errno-rate" || flag == "--stall-rate" ||
           flag == "--delay-ms" || flag == "--stall-ms";
}

bool ApplySimFlag(const std::string& flag, const std::string& value, SimOptions& options, std::string& error) {
    bool ok = false;
    if (flag == "--seed") {
        ok = ParseInteger(value, options.seed, 0, 0x7fffffffffffffffLL);
    } else if (flag == "--key") {
        ok = !value.empty();
        options.key = value;
    } else if (flag == "--start-time") {
        ok = ParseInteger(value, options.startTime, 0, 4102444800LL);
    } else if (flag == "--tick-ms") {
        ok = ParseInteger(value, options.tickMs, 0, 3600000);
    } else if (flag == "--fail-rate") {
        ok = ParseRate(value, options.faults.failRate);
    } else if (flag == "--malformed-rate") {
        ok = ParseRate(value, options.faults.malformedRate);
    } else if (flag == "--errno-rate") {
        ok = ParseRate(value, options.faults.errnoRate);
    } else if (flag == "--stall-rate") {
        ok = ParseRate(value, options.faults.stallRate);
    } else if (flag == "--delay-ms") {
        ok = ParseInteger(value, options.faults.delayMs, 0, 600000);
    } else if (flag == "--stall-ms") {
        ok = ParseInteger(value, options.faults.stallMs, 0, 3600000);
    } else {
        error = "unknown option " + flag;
        return false;
    }
    if (!ok) error = "bad value for " + flag + ": \"" + value + "\"";
    return ok;
}

const char* SimFlagsHelp() {
    return "  --seed N            world seed, 0..2^63-1 (default 1); the same seed and start time\n"
           "                      replay the same world\n"
           "  --start-time SEC    world start, seconds since the epoch up to 4102444800 (default: now)\n"
           "  --tick-ms MS        wall time per world tick, 0..3600000, 0 = frozen (default 3000)\n"
           "  --fail-rate P       HTTP 500 or a dropped connection, per request, 0..1 (default 0)\n"
           "  --malformed-rate P  a truncated or garbage body, 0..1 (default 0)\n"
           "  --errno-rate P      a non-zero \"errno\" with the data kept, 0..1 (default 0)\n"
           "  --stall-rate P      no answer for --stall-ms, 0..1 (default 0)\n"
           "  --stall-ms MS       how long a stalled request waits, 0..3600000 (default 120000)\n"
           "  --delay-ms MS       delay before every answer, 0..600000 (default 0)\n";
}

}  // namespace news_sim
