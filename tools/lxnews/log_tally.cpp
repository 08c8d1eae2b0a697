#include "tools/lxnews/log_tally.h"

#include <fstream>

namespace lxnews {

namespace {

struct Rule {
    const char* text;
    const char* feed;
};

// First match wins.
const Rule kRules[] = {
    {"ExclusivePublisher::", "exclusive"},
    {"DepthPublisher::RequestColumnList", "exclusive"},
    {"DepthPublisher::RequestArticleList", "exclusive"},  // also ...ListOperation
    {"DepthPublisher::RequestEarlierArticleList", "exclusive"},
    {"DepthPublisher::", "depth"},
    {"TelegraphPublisher::", "telegraph"},
    {"CInformationEssence::", "essence"},
    {"TimelinePublisher::", "timeline"},
    {"CommonPublisher::", "counters"},
    {"CStockAnnouncementPublisher::", "announcements"},
    {"CStockLandMine::", "land-mines"},
    {"CStockNews::", "stock-news"},
    {"CStockUnusualTrading::", "unusual-trading"},
};

}  // namespace

std::string FeedOfLogLine(const std::string& line) {
    for (const Rule& rule : kRules) {
        if (line.find(rule.text) != std::string::npos) return rule.feed;
    }
    return std::string();
}

std::map<std::string, int> CountLogLinesPerFeed(const std::string& path, long long offset, long long end) {
    std::map<std::string, int> counts;
    std::ifstream in(path, std::ios::binary);
    if (!in) return counts;
    in.seekg(offset);
    std::string line;
    while ((end < 0 || in.tellg() < end) && std::getline(in, line)) {
        const std::string feed = FeedOfLogLine(line);
        if (!feed.empty()) ++counts[feed];
    }
    return counts;
}

long long FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long long>(in.tellg()) : 0;
}

}  // namespace lxnews
