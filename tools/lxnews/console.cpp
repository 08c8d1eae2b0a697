#include "tools/lxnews/console.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "host/lx_common.h"

namespace lxnews {

namespace {

constexpr int kHeadlineColumns = 56;

std::string Clock() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, ms);
    return buf;
}

int ColumnsOf(wchar_t c) { return c >= 0x1100 ? 2 : 1; }

}  // namespace

std::string Shorten(const std::wstring& text, int columns) {
    std::wstring out;
    int used = 0;
    for (wchar_t c : text) {
        if (c == L'\n' || c == L'\r' || c == L'\t') c = L' ';
        if (used + ColumnsOf(c) > columns) {
            out += L"…";
            break;
        }
        out += c;
        used += ColumnsOf(c);
    }
    return common::ws2s(out, 65001);
}

void Console::Header() {
    char line[160];
    std::snprintf(line, sizeof line, "%-12s  %-15s %5s %4s %4s  %8s  %s", "time", "feed", "+add", "~mod", "-rem",
                  "held", "newest headline");
    Print(line);
}

void Console::Event(const std::string& feed, int added, int modified, int removed, int held,
                    const std::wstring& headline) {
    char prefix[160];
    std::snprintf(prefix, sizeof prefix, "%-12s  %-15s %+5d ~%-3d -%-3d  held %3d  ", Clock().c_str(), feed.c_str(),
                  added, modified, removed, held);
    std::lock_guard<std::mutex> lock(mutex_);
    FeedCounts& counts = counts_[feed];
    ++counts.updates;
    counts.held = held;
    const std::string text = headline.empty() ? "-" : Shorten(headline, kHeadlineColumns);
    std::printf("%s%s\n", prefix, text.c_str());
    std::fflush(stdout);
}

void Console::Note(const std::string& feed, const std::string& text) {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%-12s  %-15s ", Clock().c_str(), feed.c_str());
    Print(prefix + text);
}

void Console::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

FeedCounts Console::counts(const std::string& feed) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = counts_.find(feed);
    return it == counts_.end() ? FeedCounts() : it->second;
}

}  // namespace lxnews
