#include "news_center/request/json_read.h"

#include <cmath>
#include <limits>

#include <QString>

namespace news_center {
namespace internal {

int ReadInt(const QJsonValue& value) { return value.toInt(0); }

int ReadTruncatedInt(const QJsonValue& value) {
    if (!value.isDouble())
        return 0;
    const double number = std::trunc(value.toDouble());
    if (std::isnan(number))
        return 0;
    if (number >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (number <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(number);
}

unsigned long long DoubleToU64(double value) {
    const double twoTo63 = 9223372036854775808.0;
    if (!(value > 0))  // negative, zero or NaN
        return 0;
    if (value >= 2 * twoTo63)
        return std::numeric_limits<unsigned long long>::max();
    if (value >= twoTo63)
        return static_cast<unsigned long long>(static_cast<long long>(value - twoTo63)) + (1ULL << 63);
    return static_cast<unsigned long long>(static_cast<long long>(value));
}

unsigned long long ReadU64(const QJsonValue& value) { return value.isDouble() ? DoubleToU64(value.toDouble()) : 0; }

double ReadDouble(const QJsonValue& value) { return value.toDouble(0); }

std::wstring ReadWide(const QJsonValue& value) { return value.toString().toStdWString(); }

int ReadDecimalText(const QJsonValue& value) {
    if (!value.isString())
        return 0;
    bool ok = false;
    const int number = value.toString().toInt(&ok, 10);
    return ok ? number : 0;
}

}  // namespace internal
}  // namespace news_center
