#pragma once

// The service's calendar (UTC+8) as day numbers since 1970-01-01, and the two
// date spellings the timeline accepts: "YYYY-MM-DD" and "YYYYMMDD".

#include <cstdio>
#include <string>

namespace news_sim {

constexpr long long kServiceUtcOffset = 8 * 3600;

inline long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

inline void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

inline long long ServiceDayOf(long long seconds) {
    const long long local = seconds + kServiceUtcOffset;
    return local >= 0 ? local / 86400 : (local - 86399) / 86400;
}

inline long long StartOfServiceDay(long long day) { return day * 86400 - kServiceUtcOffset; }

// 0 = Monday .. 6 = Sunday.
inline int WeekdayOf(long long day) { return static_cast<int>(((day % 7) + 7 + 3) % 7); }

// Accepts "YYYY-MM-DD" and "YYYYMMDD"; `dashed` tells which one it was.
inline bool ParseServiceDate(const std::string& text, long long& day, bool& dashed) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3) {
        dashed = true;
    } else if (text.size() == 8 && std::sscanf(text.c_str(), "%4d%2d%2d%c", &y, &m, &d, &tail) == 3) {
        dashed = false;
    } else {
        return false;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    day = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    return true;
}

inline std::string FormatServiceDate(long long day, bool dashed) {
    long long y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(day, y, m, d);
    char buf[48];
    std::snprintf(buf, sizeof buf, dashed ? "%04lld-%02u-%02u" : "%04lld%02u%02u", y, m, d);
    return buf;
}

inline unsigned int ServiceDateNumber(long long day) {
    long long y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(day, y, m, d);
    return static_cast<unsigned int>(y * 10000 + m * 100 + d);
}

}  // namespace news_sim
