#pragma once

// The one place a news-service response is opened: transfer outcome, JSON
// parse, "errno", each failure logged with the operation's own text. Publishers
// receive a checked object and never see parser types.

#include <string>

#include <QJsonArray>
#include <QJsonObject>

namespace news_center {
namespace internal {

// The network's last argument: every request but the two older pages.
constexpr int kRequestTimeoutSeconds = 30;
constexpr int kOlderPageTimeoutSeconds = 5;

// The log texts of one operation. A null text writes nothing for that case.
struct OperationTexts {
    // Asynchronous: written as it stands with WriteProgramLogString(-1, ...).
    // Synchronous: a "%s" format given the request URL; when set, a failed
    // transfer also ends the operation (see FetchSync).
    const wchar_t* transportFailure;
    const wchar_t* parseError;     // "%d" format, given the parser's error code
    const wchar_t* responseError;  // "%d" format, given a non-zero "errno"
};

// A response that passed the envelope: a parsed top-level object. A non-zero
// "errno" has been logged and does not make a response unusable.
class Response {
public:
    Response() : parsed_(false) {}
    explicit Response(const QJsonObject& root) : parsed_(true), root_(root) {}

    bool isParsed() const { return parsed_; }
    const QJsonObject& root() const { return root_; }
    QJsonObject dataObject() const { return root_.value(QStringLiteral("data")).toObject(); }
    QJsonArray dataArray() const { return root_.value(QStringLiteral("data")).toArray(); }
    // The service's "time", seconds; 0 when absent.
    unsigned long long time() const;

private:
    bool parsed_;
    QJsonObject root_;
};

// A completion of GetAsyn. Logs a failed transfer; parses only a successful,
// non-empty body, and only when `wanted` (callers whose result would be dropped
// pass false and get nothing parsed and nothing more logged).
Response OpenResponse(const OperationTexts& texts, bool success, const char* body, long long length,
                      bool wanted = true);

struct SyncResponse {
    bool transferred;   // GetSync's result
    Response response;  // parsed only when the body was non-empty and valid
};

// GetSync(url, ..., 30) followed by the envelope. A failed transfer with a
// transportFailure text is logged with the URL and ends there; without one the
// body, if any, is still read. An empty body ends silently.
SyncResponse FetchSync(const std::wstring& url, const OperationTexts& texts);

}  // namespace internal
}  // namespace news_center
