#include "host/lx_qt_support.h"

#include <cstdlib>
#include <mutex>

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QString>

#include "host/url_signature.h"

namespace {

// UrlHelper has no members (the project's test double brings its own), so the
// configuration lives here, never freed: a late caller at exit still finds it.
struct Config {
    std::mutex mu;
    bool rootKnown = false;
    bool keyKnown = false;
    std::wstring root;
    std::string key;
};

Config& TheConfig() {
    static Config* const config = new Config;
    return *config;
}

std::wstring WithoutTrailingSlash(std::wstring root) {
    while (!root.empty() && root.back() == L'/') root.pop_back();
    return root;
}

std::string Utf8(const std::wstring& text) { return QString::fromStdWString(text).toUtf8().toStdString(); }

std::wstring Wide(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())).toStdWString();
}

// An empty environment variable counts as unset.
void Configuration(std::wstring& root, std::string& key) {
    Config& config = TheConfig();
    std::lock_guard<std::mutex> lock(config.mu);
    if (!config.rootKnown) {
        const char* env = std::getenv("LX_NEWS_SERVICE_ROOT");
        config.root = WithoutTrailingSlash(env != nullptr && *env != '\0' ? Wide(env) : L"http://127.0.0.1:8765");
        config.rootKnown = true;
    }
    if (!config.keyKnown) {
        const char* env = std::getenv("LX_NEWS_SERVICE_KEY");
        config.key = env != nullptr && *env != '\0' ? std::string(env) : std::string("lx-news-dev-key");
        config.keyKnown = true;
    }
    root = config.root;
    key = config.key;
}

}  // namespace

namespace urlsign {

std::string SignatureOf(const std::string& key, const std::string& pathAndQuery) {
    try {
        const QByteArray mac = QMessageAuthenticationCode::hash(
            QByteArray::fromStdString(pathAndQuery), QByteArray::fromStdString(key), QCryptographicHash::Sha256);
        return mac.toHex().toStdString();
    } catch (...) {
        return std::string();
    }
}

std::string PercentEncode(const std::string& bytes) {
    try {
        // Byte-wise: QUrl's variant takes text and would mangle invalid UTF-8 or
        // stop at a NUL. The default kept set is exactly the unreserved one.
        return QByteArray::fromStdString(bytes).toPercentEncoding().toStdString();
    } catch (...) {
        return std::string();
    }
}

}  // namespace urlsign

template <class T>
T* pattern::CSingleton<T>::GetInstance() {
    static T instance;
    return &instance;
}
template class pattern::CSingleton<UrlHelper>;

std::wstring UrlHelper::GetSigniture(const std::wstring& path, const std::map<std::string, std::string>& params) {
    try {
        std::wstring root;
        std::string key;
        Configuration(root, key);

        std::string query;
        for (const auto& param : params) {
            if (!query.empty()) query += '&';
            query += urlsign::PercentEncode(param.first);
            query += '=';
            query += urlsign::PercentEncode(param.second);
        }
        const std::string signedPart = Utf8(path) + "?" + query;
        const std::string sign = urlsign::SignatureOf(key, signedPart);
        return root + Wide(signedPart + (query.empty() ? "sign=" : "&sign=") + sign);
    } catch (...) {
        return std::wstring();
    }
}

void UrlHelper::SetServiceRoot(const std::wstring& root) {
    try {
        std::wstring trimmed = WithoutTrailingSlash(root);
        Config& config = TheConfig();
        std::lock_guard<std::mutex> lock(config.mu);
        config.root.swap(trimmed);
        config.rootKnown = true;
    } catch (...) {
    }
}

void UrlHelper::SetServiceKey(const std::string& key) {
    try {
        std::string copy = key;
        Config& config = TheConfig();
        std::lock_guard<std::mutex> lock(config.mu);
        config.key.swap(copy);
        config.keyKnown = true;
    } catch (...) {
    }
}
