#include "tools/lxnews/options.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "host/lx_common.h"

namespace lxnews {

namespace {

void PrintUsage() {
    std::printf(
        "usage: lxnews [options]\n"
        "Watches the ten feeds of lx_news_center and prints one line per change.\n"
        "  --seconds N         how long to watch, 1..86400 (default 30)\n"
        "  --stock CODE        stock of the four per-stock feeds: market sh, sz or bj and six\n"
        "                      digits, not an index (default sh600519)\n"
        "  --service URL       a real news service, http://HOST[:PORT] or https://...; without\n"
        "                      it a simulator runs in-process on a free loopback port\n"
        "  --key KEY           signing key of the service or the simulator (default lx-news-dev-key)\n"
        "  --log FILE          keep the program log in FILE (default: a temporary file, removed)\n"
        "  --json              one JSON object per line per event, then a summary object\n"
        "  --help              this text\n"
        "simulator options (not with --service):\n%s"
        "exit status: 0 when every feed delivered, 1 when the service, the log or a feed failed,\n"
        "2 for a bad option\n",
        news_sim::SimFlagsHelp());
}

bool Usage(int& status, const std::string& message) {
    std::fprintf(stderr, "lxnews: %s (see --help)\n", message.c_str());
    status = kExitUsage;
    return false;
}

bool ParseSeconds(const std::string& value, int& seconds) {
    char* end = nullptr;
    const long parsed = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || parsed < 1 || parsed > 86400) return false;
    seconds = static_cast<int>(parsed);
    return true;
}

bool IsStockCode(const std::string& code) {
    const std::wstring wide(code.begin(), code.end());
    return stock::CheckSymbol(wide.c_str()) == stock::SYMBOL_STOCK;
}

// http(s)://HOST[:PORT][/PATH], without a trailing "/", a query or white space.
bool IsServiceUrl(const std::string& url) {
    const std::size_t host = url.compare(0, 7, "http://") == 0 ? 7 : url.compare(0, 8, "https://") == 0 ? 8 : 0;
    return host != 0 && url.size() > host && url[host] != '/' && url.back() != '/' &&
           url.find_first_of(" \t?#") == std::string::npos;
}

std::string BadValue(const std::string& flag, const std::string& value, const char* expected) {
    return "bad value for " + flag + ": \"" + value + "\" (" + expected + ")";
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options, int& status) {
    std::vector<std::string> simFlags;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            PrintUsage();
            status = kExitOk;
            return false;
        }
        if (flag == "--json") {
            options.json = true;
            continue;
        }
        static const std::set<std::string> kOwnFlags = {"--seconds", "--stock", "--service", "--key", "--log"};
        if (kOwnFlags.count(flag) == 0 && !news_sim::IsSimFlag(flag))
            return Usage(status, flag.compare(0, 1, "-") == 0 ? "unknown option " + flag
                                                                : "unexpected argument \"" + flag + "\"");
        if (i + 1 >= argc) return Usage(status, flag + " needs a value");
        const std::string value = argv[++i];
        std::string error;
        if (flag == "--seconds") {
            if (!ParseSeconds(value, options.seconds)) return Usage(status, BadValue(flag, value, "1..86400"));
        } else if (flag == "--stock") {
            if (!IsStockCode(value))
                return Usage(status, BadValue(flag, value, "sh, sz or bj and six digits, e.g. sh600519"));
            options.stock = value;
        } else if (flag == "--service") {
            if (!IsServiceUrl(value)) return Usage(status, BadValue(flag, value, "http://HOST[:PORT], no trailing /"));
            options.service = value;
        } else if (flag == "--log") {
            if (value.empty()) return Usage(status, BadValue(flag, value, "a file name"));
            options.log = value;
        } else if (!news_sim::ApplySimFlag(flag, value, options.sim, error)) {
            return Usage(status, error);
        } else if (flag == "--key") {
            options.key = value;
        } else {
            simFlags.push_back(flag);
        }
    }
    if (!options.service.empty() && !simFlags.empty())
        return Usage(status, simFlags.front() + " is a simulator option; --service runs no simulator");
    return true;
}

}  // namespace lxnews
