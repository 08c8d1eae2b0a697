#pragma once

#include <string>

#include "tools/lxnews/console.h"

namespace lxnews {

struct LogInfo {
    std::string path;
    long long start = 0;  // where this run's lines begin
    long long end = -1;   // where they end: requests abandoned at close fail, but not the service's doing
    bool kept = true;     // false: removed with the run's temporary folder
};

// Prints the closing table (or JSON object) and returns the exit status:
// kExitFailed when some feed never delivered anything but failures.
int Summarise(Console& console, const LogInfo& log);

}  // namespace lxnews
