#pragma once

// The feeds that need no world state: the event timeline and the four per-stock
// endpoints. Each answer is a pure function of the seed, the start time (which
// anchors dates) and, for stock news, the world clock.

#include <cstdint>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

namespace news_sim {

struct SimStock {
    std::string code;
    std::string name;
    std::string exchange;
    bool isIndex;
};

class SimCatalog {
public:
    SimCatalog(std::uint64_t seed, long long startTime);

    static const std::vector<SimStock>& Stocks();
    static const SimStock* FindStock(const std::string& code);

    // Dates as the caller spells them, "YYYY-MM-DD" or "YYYYMMDD".
    QJsonArray Reddot(const std::string& startDate, const std::string& endDate) const;
    QJsonArray EventsOfDay(const std::string& date, unsigned int rn) const;
    QJsonObject EventDetail(long long id) const;

    QJsonObject Announcements(const std::string& stock, unsigned int page, unsigned int rn) const;
    QJsonObject LandMines(const std::string& stock, long long start, unsigned long long end) const;
    // "data" is an array here, with "type" and "column_id" as strings.
    QJsonArray MarketNews(const std::string& stock, unsigned int type, unsigned long long lastTime,
                          unsigned int refreshType, unsigned int rn, long long now) const;
    // `stockArray` is the JSON text ["code"].
    QJsonObject Dragon(const std::string& stockArray) const;

private:
    int EventCount(long long day) const;

    std::uint64_t seed_;
    long long startTime_;
};

}  // namespace news_sim
