#include "host/lx_common.h"

#include <chrono>

#include <boost/locale/encoding_utf.hpp>

namespace {

constexpr long long kServiceUtcOffsetSeconds = 8 * 3600;

long long FloorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsDigits(const wchar_t* p, int count) {
    for (int i = 0; i < count; ++i) {
        if (p[i] < L'0' || p[i] > L'9') return false;
    }
    return true;
}

}  // namespace

namespace common {

std::string ws2s(const std::wstring& text, unsigned int /*codePage*/) {
    try {
        // Invalid code points (lone surrogates, > U+10FFFF) are dropped.
        return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
    } catch (...) {
        return std::string();
    }
}

// A month outside 1..12 or a day outside 1..31 (date 0 included) gives 0. A day
// past the end of its month and hours, minutes or seconds out of their usual
// range are plain arithmetic: 20240231 is 2024-03-02 and 24:00:00 is the next
// midnight.
long long DateToTime(unsigned int date, int hour, int minute, int second) {
    const unsigned year = date / 10000;
    const unsigned month = date / 100 % 100;
    const unsigned day = date % 100;
    if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
    return ServerDayStart(DayOfCivil(static_cast<long long>(year), month, day)) + static_cast<long long>(hour) * 3600 +
           static_cast<long long>(minute) * 60 + static_cast<long long>(second);
}

unsigned int GetCurrentServerDate() {
    using namespace std::chrono;
    return ServerDateOfDay(ServerDayOf(duration_cast<seconds>(system_clock::now().time_since_epoch()).count()));
}

// H. Hinnant's days_from_civil; month 1..12, any day number (it simply adds up).
long long DayOfCivil(long long year, unsigned month, unsigned day) {
    const long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// And its civil_from_days.
void CivilOfDay(long long dayNumber, long long& year, unsigned& month, unsigned& day) {
    const long long z = dayNumber + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

long long ServerDayOf(long long time) { return FloorDiv(time + kServiceUtcOffsetSeconds, 86400); }

long long ServerDayStart(long long dayNumber) { return dayNumber * 86400 - kServiceUtcOffsetSeconds; }

unsigned int ServerDateOfDay(long long dayNumber) {
    long long y = 0;
    unsigned m = 0, d = 0;
    CivilOfDay(dayNumber, y, m, d);
    return static_cast<unsigned int>(y * 10000 + m * 100 + d);
}

}  // namespace common

namespace stock {

SymbolType CheckSymbol(const wchar_t* code) {
    if (code == nullptr) return SYMBOL_UNKNOWN;
    wchar_t prefix[6] = {};
    int n = 0;
    for (; n < 5 && code[n] != L'\0'; ++n) prefix[n] = AsciiLower(code[n]);
    const std::wstring head(prefix, static_cast<std::size_t>(n));
    if (head == L"sh000" || head == L"sz399") return SYMBOL_INDEX;

    const std::wstring market = head.substr(0, 2);
    if (market != L"sh" && market != L"sz" && market != L"bj") return SYMBOL_UNKNOWN;
    const std::wstring whole(code);
    if (whole.size() != 8 || !IsDigits(code + 2, 6)) return SYMBOL_UNKNOWN;
    return SYMBOL_STOCK;
}

}  // namespace stock
