// The real host network library against a cpp-httplib server on loopback, in
// this process: request latency when the connection is kept and reused, and
// when the server closes it after every response (a new connection per request).

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include "bench/bench_bodies.h"
#include "host/lx_net_work.h"

namespace {

class LoopbackServer {
public:
    // `keepAlive` false: "Connection: close" after every response.
    explicit LoopbackServer(bool keepAlive) {
        server_.set_keep_alive_max_count(keepAlive ? 1000000 : 1);
        server_.set_keep_alive_timeout(5);
        server_.set_tcp_nodelay(true);
        server_.Get("/body", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ports_.insert(request.remote_port);
            }
            // The host accepts every encoding curl knows; cpp-httplib then
            // compresses a JSON answer, with brotli at its slowest setting. A
            // type it does not compress measures the transport alone.
            const bool compressed = request.get_param_value("compressed") == "1";
            response.set_content(Body(std::stoi(request.get_param_value("body"))),
                                 compressed ? "application/json" : "application/octet-stream");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        server_.stop();
        thread_.join();
    }

    std::wstring Url(int body, bool compressed = false) const {
        return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/body?body=" + std::to_wstring(body) +
               L"&compressed=" + (compressed ? L"1" : L"0");
    }
    std::size_t connections() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ports_.size();
    }
    void ForgetConnections() {
        std::lock_guard<std::mutex> lock(mutex_);
        ports_.clear();
    }

    // 0: a counters answer (under 1 kB); 1: a roll list of 100 telegraphs
    // (about 80 kB).
    static const std::string& Body(int body) {
        static const std::string small = benchbody::CounterPage({880001, 880002, 880003, 880004, 880005, 880006,
                                                                 880007, 880008, 880009, 880010, 880011, 880012,
                                                                 880013, 880014, 880015});
        static const std::string large = [] {
            std::vector<std::string> elements;
            for (int id = 0; id < 100; ++id)
                elements.push_back(benchbody::RollElement("add", 900000 + id, 1, 1764900000 + id));
            return benchbody::RollPage(elements);
        }();
        return body == 0 ? small : large;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::set<int> ports_;  // client ports seen: one per connection
};

LoopbackServer& Server(bool keepAlive) {
    static LoopbackServer reuse(true);
    static LoopbackServer fresh(false);
    return keepAlive ? reuse : fresh;
}

void Report(benchmark::State& state, LoopbackServer& server) {
    state.counters["connections_per_request"] =
        static_cast<double>(server.connections()) / static_cast<double>(state.iterations());
    state.counters["body_kB"] =
        static_cast<double>(LoopbackServer::Body(static_cast<int>(state.range(1))).size()) / 1024;
}

// GetSync on this thread; range(0): 1 keeps the connection, 0 does not;
// range(1): 0 a counters answer, 1 a roll list of 100.
void BM_Host_GetSync(benchmark::State& state) {
    LoopbackServer& server = Server(state.range(0) != 0);
    const std::wstring url = server.Url(static_cast<int>(state.range(1)));
    std::vector<char> body;
    GetSync(url, body, HttpHeaderMap(), 30);  // connects, when the server keeps connections
    server.ForgetConnections();
    for (auto _ : state) {
        if (!GetSync(url, body, HttpHeaderMap(), 30)) {
            state.SkipWithError("GetSync failed");
            break;
        }
    }
    Report(state, server);
}
BENCHMARK(BM_Host_GetSync)
    ->ArgNames({"keep_alive", "roll_list"})
    ->Args({1, 0})->Args({0, 0})->Args({1, 1})->Args({0, 1})
    ->UseRealTime()->Unit(benchmark::kMicrosecond);

// GetAsyn from the call to the end of its completion on a network thread.
void BM_Host_GetAsyn(benchmark::State& state) {
    LoopbackServer& server = Server(state.range(0) != 0);
    const std::wstring url = server.Url(static_cast<int>(state.range(1)));
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool succeeded = false;
    const HttpCompletion completion = [&](bool success, const char*, long long) {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        succeeded = success;
        done.notify_one();
    };
    const auto roundTrip = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = false;
        }
        GetAsyn(url, completion, HttpHeaderMap(), 30);
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return finished; });
        return succeeded;
    };
    roundTrip();
    roundTrip();  // both network threads connected
    server.ForgetConnections();
    for (auto _ : state) {
        if (!roundTrip()) {
            state.SkipWithError("GetAsyn failed");
            break;
        }
    }
    Report(state, server);
}
BENCHMARK(BM_Host_GetAsyn)
    ->ArgNames({"keep_alive", "roll_list"})
    ->Args({1, 0})->Args({0, 0})->Args({1, 1})->Args({0, 1})
    ->UseRealTime()->Unit(benchmark::kMicrosecond);

// What the answer's compression costs: the roll list as JSON, which the server
// compresses (brotli, since the host accepts it), over a kept connection.
void BM_Host_GetSync_CompressedRollList(benchmark::State& state) {
    LoopbackServer& server = Server(true);
    const std::wstring url = server.Url(1, true);
    std::vector<char> body;
    for (auto _ : state) {
        if (!GetSync(url, body, HttpHeaderMap(), 30)) {
            state.SkipWithError("GetSync failed");
            break;
        }
    }
    state.counters["body_kB"] = static_cast<double>(body.size()) / 1024;
}
BENCHMARK(BM_Host_GetSync_CompressedRollList)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
