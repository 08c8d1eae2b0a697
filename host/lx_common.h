#pragma once

// Text conversion, the news service's calendar and stock symbol types.

#include <string>

#include "host/lx_host_export.h"

#if defined(LX_BUILDING_COMMON)
#define LX_COMMON_API LX_HOST_EXPORT
#else
#define LX_COMMON_API LX_HOST_IMPORT
#endif

namespace common {
// 65001 gives UTF-8; any other code page is treated as 65001 too.
LX_COMMON_API std::string ws2s(const std::wstring& text, unsigned int codePage);
// Seconds since the Unix epoch of `date` (YYYYMMDD) at the given wall-clock
// time of the service's calendar, UTC+8.
LX_COMMON_API long long DateToTime(unsigned int date, int hour, int minute, int second);
// Today's date (YYYYMMDD) in UTC+8.
LX_COMMON_API unsigned int GetCurrentServerDate();

// The same calendar as day numbers, day 0 being 1970-01-01, for tools that step
// through days; the two functions above are built on these. Dates are proleptic
// Gregorian; a day past the end of its month is plain arithmetic.
LX_COMMON_API long long DayOfCivil(long long year, unsigned month, unsigned day);
LX_COMMON_API void CivilOfDay(long long dayNumber, long long& year, unsigned& month, unsigned& day);
// The day a time stamp (seconds since the epoch) falls on in UTC+8.
LX_COMMON_API long long ServerDayOf(long long time);
// The time stamp of that day's midnight in UTC+8.
LX_COMMON_API long long ServerDayStart(long long dayNumber);
// The day as YYYYMMDD.
LX_COMMON_API unsigned int ServerDateOfDay(long long dayNumber);
}  // namespace common

namespace stock {
enum SymbolType {
    SYMBOL_UNKNOWN = 0,
    SYMBOL_INDEX = 1,  // market index: "sh000…", "sz399…"
    SYMBOL_STOCK = 2,
};
LX_COMMON_API SymbolType CheckSymbol(const wchar_t* code);
}  // namespace stock
