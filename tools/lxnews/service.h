#pragma once

// Where the feeds come from: the news-service simulator in-process, or a real
// service that has answered a signed start-up request.

#include <memory>
#include <string>

#include "tools/lxnews/options.h"

namespace news_sim {
class NewsServiceSim;
}

namespace lxnews {

class Service {
public:
    explicit Service(const Options& options);
    ~Service();

    // Points the host libraries at the service. False, with `error` saying what
    // failed, when the simulator cannot start or the service does not answer.
    bool Start(std::string& error);
    void Stop();
    // One line for the console: what is being watched.
    std::string description() const;

private:
    const Options& options_;
    std::unique_ptr<news_sim::NewsServiceSim> sim_;
};

}  // namespace lxnews
