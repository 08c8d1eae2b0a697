#pragma once

// The news service on loopback: the fourteen endpoints with their envelope,
// signature check and fault injection, plus two endpoints for tests:
//   /_sim/state    what a perfect client holds now (query: telegraph_floor,
//                  depth_floor, column, column_floor; see TruthQuery)
//   /_sim/advance  moves the world on by "ticks" (default 1)
// Neither needs a signature, and faults never touch them.

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/news_service_sim/sim_catalog.h"
#include "tools/news_service_sim/sim_options.h"
#include "tools/news_service_sim/sim_state.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace news_sim {

// The "errno" of an answer whose signature does not match.
constexpr int kBadSignatureErrno = 40001;
// The "errno" that --errno-rate injects.
constexpr int kInjectedErrno = 5;

// What the faults did to the requests of one route. Each request counts under
// the first fault it met, in this order; "errnos" are answers whose body a
// client could read (no other fault, signature accepted).
struct FaultTally {
    long long requests = 0;
    long long stalls = 0;
    long long failures = 0;
    long long malformed = 0;
    long long errnos = 0;
};

class NewsServiceSim {
public:
    explicit NewsServiceSim(const SimOptions& options);
    ~NewsServiceSim();
    NewsServiceSim(const NewsServiceSim&) = delete;
    NewsServiceSim& operator=(const NewsServiceSim&) = delete;

    // Binds host:port (0: a free port) and serves on background threads.
    bool Start(int port = 0, const std::string& host = "127.0.0.1");
    // Releases stalled requests, stops serving and joins every thread. Safe to
    // call twice.
    void Stop();

    int port() const { return port_; }
    const std::string& host() const { return host_; }
    std::string root() const;  // "http://host:port"
    const SimOptions& options() const { return options_; }
    SimState& state() { return state_; }
    const SimCatalog& catalog() const { return catalog_; }

    // From the next request on. Requests stalled now are released (their
    // connection closes), so a client is not left waiting on old faults.
    void SetFaults(const SimFaults& faults);
    SimFaults faults() const;

    // Requests that reached `path` (signed or not, faulty or not).
    long long requestCount(const std::string& path) const;
    // A route is the path, followed by "?refresh_type=" and its value when the
    // request has one: first pages and older pages of a list count apart.
    FaultTally faultTally(const std::string& route) const;
    long long badSignatureCount() const { return badSignatures_.load(); }
    int stalledNow() const { return stalled_.load(); }

private:
    struct Endpoint;
    struct FaultPlan;

    void AddEndpoints();
    void Serve(const Endpoint& endpoint, const httplib::Request& request, httplib::Response& response);
    FaultPlan PlanFaults(const SimFaults& faults, const std::string& path, long long number) const;
    // Numbers the request, draws its faults and counts it under the first one it meets.
    FaultPlan CountRequest(const Endpoint& endpoint, const httplib::Request& request, const SimFaults& faults,
                           bool signedRequest);
    bool isSigned(const httplib::Request& request) const;
    // Waits `ms` or until Stop; true when the server is stopping.
    bool WaitOrStop(int ms);
    // Waits as a stalled request does: `ms`, until the faults change or until Stop.
    void Stall(int ms);

    const SimOptions options_;
    SimState state_;
    SimCatalog catalog_;
    std::unique_ptr<httplib::Server> http_;
    std::map<std::string, std::unique_ptr<Endpoint> > endpoints_;
    std::thread listener_;
    std::thread ticker_;
    std::string host_;
    int port_ = 0;

    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;
    long long faultChanges_ = 0;  // under stopMutex_

    mutable std::mutex faultsMutex_;
    SimFaults faults_;

    mutable std::mutex statsMutex_;
    std::map<std::string, long long> requests_;
    std::map<std::string, FaultTally> tallies_;
    std::atomic<long long> badSignatures_{0};
    std::atomic<int> stalled_{0};
};

}  // namespace news_sim
