// The news-service simulator as a program: serves on loopback until SIGINT or
// SIGTERM. The first line on standard output names the address.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tools/news_service_sim/sim_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop.store(true); }

void PrintUsage() {
    std::printf("usage: news_service_sim [--host ADDR] [--port N] [options]\n"
                "  --host ADDR         address to bind (default 127.0.0.1)\n"
                "  --port N            port, 0 picks a free one (default 8765)\n"
                "  --key KEY           signing key (default lx-news-dev-key)\n"
                "%s",
                news_sim::SimFlagsHelp());
}

}  // namespace

int main(int argc, char** argv) {
    news_sim::SimOptions options;
    std::string host = "127.0.0.1";
    int port = 8765;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            PrintUsage();
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "news_service_sim: %s needs a value\n", flag.c_str());
            return 2;
        }
        const std::string value = argv[++i];
        std::string error;
        if (flag == "--host") {
            host = value;
        } else if (flag == "--port") {
            char* end = nullptr;
            const long parsed = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || parsed < 0 || parsed > 65535) {
                std::fprintf(stderr, "news_service_sim: bad port \"%s\"\n", value.c_str());
                return 2;
            }
            port = static_cast<int>(parsed);
        } else if (!news_sim::ApplySimFlag(flag, value, options, error)) {
            std::fprintf(stderr, "news_service_sim: %s\n", error.c_str());
            return 2;
        }
    }

    news_sim::NewsServiceSim sim(options);
    if (!sim.Start(port, host)) {
        std::fprintf(stderr, "news_service_sim: cannot listen on %s:%d\n", host.c_str(), port);
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), sim.port());
    std::printf("seed %llu, key \"%s\", one tick per %d ms\n", static_cast<unsigned long long>(options.seed),
                options.key.c_str(), options.tickMs);
    std::fflush(stdout);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a client that gave up must not take the server down
#endif
    while (!g_stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sim.Stop();
    return 0;
}
