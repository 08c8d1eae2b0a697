#pragma once

// The two halves of a signed news-service URL, shared by UrlHelper and by
// anything that has to check a signature (the simulator).

#include <string>

#include "host/lx_qt_support.h"

namespace urlsign {
// Lower-case hex HMAC-SHA256 of `pathAndQuery` under `key`.
LX_QT_SUPPORT_API std::string SignatureOf(const std::string& key, const std::string& pathAndQuery);
// RFC 3986: A-Z a-z 0-9 - . _ ~ stay, every other byte becomes %XX (upper case).
LX_QT_SUPPORT_API std::string PercentEncode(const std::string& bytes);
}  // namespace urlsign
