#pragma once

// Builds the complete signed URL of a news-service request.

#include <map>
#include <string>

#include "host/lx_host_export.h"

#if defined(LX_BUILDING_QT_SUPPORT)
#define LX_QT_SUPPORT_API LX_HOST_EXPORT
#else
#define LX_QT_SUPPORT_API LX_HOST_IMPORT
#endif

namespace pattern {
template <class T>
class LX_QT_SUPPORT_API CSingleton {
public:
    static T* GetInstance();  // defined and explicitly instantiated in the host library
};
}  // namespace pattern

// Returns ROOT + path + "?" + query, the query being the parameters in map
// order, percent-encoded (RFC 3986 unreserved characters kept), followed by
// "sign", the lower-case hex HMAC-SHA256 under the service key of
// path + "?" + the encoded parameters before it. Safe from any thread.
class LX_QT_SUPPORT_API UrlHelper {
public:
    std::wstring GetSigniture(const std::wstring& path, const std::map<std::string, std::string>& params);

    // Host configuration. When the host sets nothing, LX_NEWS_SERVICE_ROOT and
    // LX_NEWS_SERVICE_KEY are read from the environment; without them the root
    // is "http://127.0.0.1:8765" and the key "lx-news-dev-key".
    static void SetServiceRoot(const std::wstring& root);  // without a trailing "/"
    static void SetServiceKey(const std::string& key);
};
