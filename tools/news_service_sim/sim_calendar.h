#pragma once

// The two date spellings the timeline accepts, "YYYY-MM-DD" and "YYYYMMDD", over
// the host's day numbers of the service's calendar.

#include <cstdio>
#include <string>

#include "host/lx_common.h"

namespace news_sim {

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
    day = common::DayOfCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    return true;
}

inline std::string FormatServiceDate(long long day, bool dashed) {
    long long y = 0;
    unsigned m = 0, d = 0;
    common::CivilOfDay(day, y, m, d);
    char buf[48];
    std::snprintf(buf, sizeof buf, dashed ? "%04lld-%02u-%02u" : "%04lld%02u%02u", y, m, d);
    return buf;
}

}  // namespace news_sim
