#include "tools/lxnews/summary.h"

#include <cstdio>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tools/lxnews/log_tally.h"
#include "tools/lxnews/options.h"

namespace lxnews {

namespace {

const char* const kFeeds[] = {"telegraph", "depth",         "exclusive",  "essence",    "timeline",
                              "counters",  "announcements", "land-mines", "stock-news", "unusual-trading"};

void PrintJson(Console& console, const std::map<std::string, FeedTally>& tallies,
               const std::map<std::string, int>& logged, const std::vector<std::string>& silent, const LogInfo& log,
               int status) {
    QJsonObject feeds;
    for (const char* feed : kFeeds) {
        const auto tally = tallies.find(feed);
        const FeedTally counts = tally == tallies.end() ? FeedTally() : tally->second;
        const auto lines = logged.find(feed);
        QJsonObject row;
        row.insert(QStringLiteral("updates"), counts.updates);
        row.insert(QStringLiteral("held"), counts.held < 0 ? QJsonValue() : QJsonValue(counts.held));
        row.insert(QStringLiteral("failed"), counts.failed);
        row.insert(QStringLiteral("failures_logged"), lines == logged.end() ? 0 : lines->second);
        row.insert(QStringLiteral("succeeded"), counts.succeeded);
        feeds.insert(QString::fromLatin1(feed), row);
    }
    QJsonArray never;
    for (const std::string& feed : silent) never.append(QString::fromStdString(feed));
    QJsonObject summary;
    summary.insert(QStringLiteral("time"), QString::fromStdString(IsoTimeNow()));
    summary.insert(QStringLiteral("kind"), QStringLiteral("summary"));
    summary.insert(QStringLiteral("feeds"), feeds);
    summary.insert(QStringLiteral("never_succeeded"), never);
    summary.insert(QStringLiteral("program_log"),
                   log.kept ? QJsonValue(QString::fromStdString(log.path)) : QJsonValue());
    summary.insert(QStringLiteral("exit_status"), status);
    console.Print(QJsonDocument(summary).toJson(QJsonDocument::Compact).toStdString());
}

void PrintTable(Console& console, const std::map<std::string, FeedTally>& tallies,
                const std::map<std::string, int>& logged, const LogInfo& log) {
    char line[128];
    std::snprintf(line, sizeof line, "\n%-16s %7s %5s %6s %6s  %s", "feed", "updates", "held", "failed", "logged",
                  "result");
    console.Print(line);
    for (const char* feed : kFeeds) {
        const auto tally = tallies.find(feed);
        const FeedTally counts = tally == tallies.end() ? FeedTally() : tally->second;
        const auto lines = logged.find(feed);
        const std::string held = counts.held < 0 ? "-" : std::to_string(counts.held);
        std::snprintf(line, sizeof line, "%-16s %7d %5s %6d %6d  %s", feed, counts.updates, held.c_str(),
                      counts.failed, lines == logged.end() ? 0 : lines->second,
                      counts.succeeded ? "ok" : "never answered");
        console.Print(line);
    }
    console.Print("updates: answers, and hand-overs that changed what is held; failed: the failed\n"
                  "and empty answers among them; logged: failure lines in the program log");
    console.Print(log.kept ? "program log: " + log.path
                           : "program log: removed with the run's temporary folder (--log FILE keeps it)");
}

}  // namespace

int Summarise(Console& console, const LogInfo& log) {
    const std::map<std::string, FeedTally> tallies = console.tallies();
    const std::map<std::string, int> logged = CountLogLinesPerFeed(log.path, log.start, log.end);
    std::vector<std::string> silent;
    std::string names;
    for (const char* feed : kFeeds) {
        const auto tally = tallies.find(feed);
        if (tally != tallies.end() && tally->second.succeeded) continue;
        silent.push_back(feed);
        names += (names.empty() ? "" : ", ") + std::string(feed);
    }
    const int status = silent.empty() ? kExitOk : kExitFailed;
    if (console.json())
        PrintJson(console, tallies, logged, silent, log, status);
    else
        PrintTable(console, tallies, logged, log);
    if (!silent.empty()) std::fprintf(stderr, "lxnews: never answered during the run: %s\n", names.c_str());
    return status;
}

}  // namespace lxnews
