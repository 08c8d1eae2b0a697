#pragma once

// lxnews's command line.

#include <string>

#include "tools/news_service_sim/sim_options.h"

namespace lxnews {

struct Options {
    int seconds = 30;
    std::string stock = "sh600519";
    std::string service;  // empty: the embedded simulator
    std::string key;      // empty: the host libraries' default
    std::string log;      // empty: a file in the run's temporary folder
    bool json = false;
    news_sim::SimOptions sim;
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the service, the log or a feed failed
constexpr int kExitUsage = 2;   // a bad option or value

// Returns true to go on. Otherwise the run is over with `status`: kExitOk
// after --help, kExitUsage after a message on standard error.
bool ParseOptions(int argc, char** argv, Options& options, int& status);

}  // namespace lxnews
