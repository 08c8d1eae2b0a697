#pragma once

// The one set of JSON reading rules every record parser follows: a missing key,
// or a value of another JSON type, reads as 0, false or an empty string.

#include <string>

#include <QJsonValue>

namespace news_center {
namespace internal {

// Qt's integer reading: only a whole JSON number within range gives its value;
// anything else (a fraction, a string, a boolean, null) gives 0.
int ReadInt(const QJsonValue& value);

// A JSON number truncated toward zero, clamped to the int range; others give 0.
int ReadTruncatedInt(const QJsonValue& value);

// A JSON number read as a double and truncated to unsigned 64 bits. Values from
// 2^63 up keep their precision; negative numbers give 0, numbers beyond the
// range give the largest value. Anything but a number gives 0.
unsigned long long ReadU64(const QJsonValue& value);

// Truncates a double the same way (shared with ReadU64).
unsigned long long DoubleToU64(double value);

// A JSON number, or 0.
double ReadDouble(const QJsonValue& value);

// A JSON string as wide text; anything else gives an empty string.
std::wstring ReadWide(const QJsonValue& value);

// A JSON string holding a decimal integer (e.g. "12"), as an int; 0 for anything
// else, including a JSON number.
int ReadDecimalText(const QJsonValue& value);

}  // namespace internal
}  // namespace news_center
