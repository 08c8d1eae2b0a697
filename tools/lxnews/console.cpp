#include "tools/lxnews/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/lx_common.h"

namespace lxnews {

namespace {

constexpr int kMinHeadlineColumns = 16;

std::string LocalTime(const char* format) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, format, &local);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s.%03d", stamp, ms);
    return buf;
}

int ColumnsOf(wchar_t c) { return c >= 0x1100 ? 2 : 1; }

QJsonArray JsonIds(const Ids& ids) {
    QJsonArray array;
    for (const std::string& id : ids) array.append(QString::fromStdString(id));
    return array;
}

std::string JsonLine(const FeedEvent& event) {
    QJsonObject counts;
    counts.insert(QStringLiteral("added"), static_cast<int>(event.changes.added.size()));
    counts.insert(QStringLiteral("modified"), static_cast<int>(event.changes.modified.size()));
    counts.insert(QStringLiteral("removed"), static_cast<int>(event.changes.removed.size()));
    counts.insert(QStringLiteral("held"), event.held < 0 ? QJsonValue() : QJsonValue(event.held));
    QJsonObject line;
    line.insert(QStringLiteral("time"), QString::fromStdString(IsoTimeNow()));
    line.insert(QStringLiteral("feed"), QString::fromStdString(event.feed));
    line.insert(QStringLiteral("kind"), QString::fromStdString(event.kind));
    line.insert(QStringLiteral("failed"), event.failed);
    line.insert(QStringLiteral("added"), JsonIds(event.changes.added));
    line.insert(QStringLiteral("modified"), JsonIds(event.changes.modified));
    line.insert(QStringLiteral("removed"), JsonIds(event.changes.removed));
    line.insert(QStringLiteral("counts"), counts);
    line.insert(QStringLiteral("headline"), QString::fromStdWString(event.headline));
    return QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

std::string IsoTimeNow() { return LocalTime("%Y-%m-%dT%H:%M:%S"); }

int OutputColumns() {
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

std::string Shorten(const std::wstring& text, int columns) {
    std::wstring flat = text;
    int width = 0;
    for (wchar_t& c : flat) {
        if (c == L'\n' || c == L'\r' || c == L'\t') c = L' ';
        width += ColumnsOf(c);
    }
    if (width > columns) {
        std::wstring cut;
        int used = 0;
        for (wchar_t c : flat) {
            if (used + ColumnsOf(c) > columns - 1) break;  // one column for the ellipsis
            cut += c;
            used += ColumnsOf(c);
        }
        flat = cut + L"…";
    }
    return common::ws2s(flat, 65001);
}

Console::Console(bool json, int columns) : json_(json), columns_(columns) {}

void Console::Intro(const std::string& line) {
    if (!json_) Print(line);
}

void Console::Header() {
    char line[96];
    std::snprintf(line, sizeof line, "%-12s %-15s %4s %4s %4s %4s  %s", "time", "feed", "+add", "~mod", "-rem",
                  "held", "newest headline");
    Intro(line);
}

std::string Console::TextLine(const FeedEvent& event) const {
    char prefix[128];
    const std::string held = event.held < 0 ? "-" : std::to_string(event.held);
    std::snprintf(prefix, sizeof prefix, "%-12s %-15s %+4d ~%-3zu -%-3zu %4s  ", LocalTime("%H:%M:%S").c_str(),
                  event.feed.c_str(), static_cast<int>(event.changes.added.size()), event.changes.modified.size(),
                  event.changes.removed.size(), held.c_str());
    const int room = std::max(kMinHeadlineColumns, columns_ - static_cast<int>(std::string(prefix).size()));
    return prefix + (event.headline.empty() ? std::string("-") : Shorten(event.headline, room));
}

void Console::Event(const FeedEvent& event) {
    const std::string line = json_ ? JsonLine(event) : TextLine(event);
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    FeedTally& tally = tallies_[event.feed];
    ++tally.updates;
    if (event.failed)
        ++tally.failed;
    else
        tally.succeeded = true;
    if (event.held >= 0) tally.held = event.held;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Console::Note(const std::string& feed, const std::string& text) {
    if (json_) {
        QJsonObject line;
        line.insert(QStringLiteral("time"), QString::fromStdString(IsoTimeNow()));
        line.insert(QStringLiteral("feed"), QString::fromStdString(feed));
        line.insert(QStringLiteral("kind"), QStringLiteral("note"));
        line.insert(QStringLiteral("headline"), QString::fromStdString(text));
        Print(QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString());
        return;
    }
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%-12s %-15s ", LocalTime("%H:%M:%S").c_str(), feed.c_str());
    Print(prefix + text);
}

void Console::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

void Console::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::map<std::string, FeedTally> Console::tallies() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tallies_;
}

}  // namespace lxnews
