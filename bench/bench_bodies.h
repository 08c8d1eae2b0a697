#pragma once

// Response bodies of realistic size and shape for the benchmarks: the JSON text
// the news service sends for each endpoint, with Chinese text of typical length,
// full URLs and service-scale numbers. Deterministic: the same arguments give
// the same bytes.

#include <string>
#include <vector>

namespace benchbody {

// Sort scores are milliseconds; this is where the bench's clock starts.
const unsigned long long kBaseScore = 1764950400000ULL;
inline unsigned long long ScoreOf(int id) { return kBaseScore + static_cast<unsigned long long>(id) * 1000; }

std::string Envelope(const std::string& data, unsigned long long time = 1764990000);

// --- telegraph (/pc/roll/batch_show) ----------------------------------------
// One roll-list element; "info" carries every key of a telegraph plus one the
// library ignores ("level"). `status` 1 is visible.
std::string RollElement(const std::string& operation, int id, int status, unsigned long long operationTime);
std::string RollPage(const std::vector<std::string>& elements, unsigned long long time = 1764990000);

// --- depth (/pc/information/get_depth) --------------------------------------
std::string DepthArticle(int id, unsigned long long sortScore, bool isTop, int status = 1, int columnId = 0);
std::string DepthPage(const std::vector<std::string>& articles);  // with three banners

// --- inform-modify (/pc/inform/modify) ----------------------------------------
std::string InformEntry(const std::string& operation, int id, int type, unsigned long long operationTime,
                        const std::string& info);
std::string InformPage(const std::vector<std::string>& entries, unsigned long long time = 1764990000);

// --- exclusive (/pc/exclusive/column_article_list) ----------------------------
std::string ExclusiveArticle(int id, int columnId, unsigned long long sortScore, int status = 1);
std::string ArticleListPage(const std::vector<std::string>& articles);

// --- the rest, each a whole body --------------------------------------------
std::string EssencePage(int entries);                 // "list" is an object keyed by id
std::string AnnouncementPage(int items);
std::string LandMinePage(int items, long long firstTime, long long step);  // times descending from firstTime
std::string StockNewsPage(int items);                 // "data" is an array, numbers as strings
std::string UnusualTradingPage(int groups, int itemsPerGroup);
std::string EventListPage(int events);
std::string CounterPage(const std::vector<int>& ids);

// Chinese text of `characters` characters (UTF-8), varying with `seed`.
std::string ChineseText(unsigned long long seed, int characters);

}  // namespace benchbody
