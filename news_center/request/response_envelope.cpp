#include "news_center/request/response_envelope.h"

#include <climits>
#include <vector>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "news_center/request/json_read.h"

namespace news_center {
namespace internal {
namespace {

Response Parse(const OperationTexts& texts, const char* body, long long length) {
    if (length > INT_MAX) {
        if (texts.parseError)
            WriteProgramLogNoMask(texts.parseError, static_cast<int>(QJsonParseError::DocumentTooLarge));
        return Response();
    }
    QJsonParseError error;
    // fromRawData: the body is parsed in place, not copied.
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body, static_cast<int>(length)), &error);
    if (error.error != QJsonParseError::NoError) {
        if (texts.parseError)
            WriteProgramLogNoMask(texts.parseError, static_cast<int>(error.error));
        return Response();
    }
    const Response response(document.object());
    if (texts.responseError) {
        const int errorNumber = ReadInt(response.root().value(QStringLiteral("errno")));
        if (errorNumber != 0)
            WriteProgramLogNoMask(texts.responseError, errorNumber);
    }
    return response;
}

}  // namespace

unsigned long long Response::time() const { return ReadU64(root_.value(QStringLiteral("time"))); }

Response OpenResponse(const OperationTexts& texts, bool success, const char* body, long long length, bool wanted) {
    if (!success) {
        if (texts.transportFailure)
            WriteProgramLogString(-1, texts.transportFailure);
        return Response();
    }
    if (!body || length <= 0 || !wanted)
        return Response();
    return Parse(texts, body, length);
}

SyncResponse FetchSync(const std::wstring& url, const OperationTexts& texts) {
    SyncResponse result;
    std::vector<char> body;
    result.transferred = GetSync(url, body, HttpHeaderMap(), kRequestTimeoutSeconds);
    if (!result.transferred && texts.transportFailure) {
        WriteProgramLogNoMask(texts.transportFailure, url.c_str());
        return result;
    }
    if (!body.empty())
        result.response = Parse(texts, body.data(), static_cast<long long>(body.size()));
    return result;
}

}  // namespace internal
}  // namespace news_center
