#include "news_center/feeds/common_publisher.h"

#include <QJsonObject>
#include <QString>

#include "news_center/common/async_request.h"
#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"
#include "news_center/request/response_envelope.h"

using namespace news_center::internal;

namespace {

const OperationTexts kCountTexts = {
    L"CommonPublisher::RequestCountInfo Failed!",
    L"CommonPublisher::RequestCountInfo Json Parse Error Code: %d",
    L"CommonPublisher::RequestCountInfo Response Error Code: %d",
};

// Ids come as short digit strings; anything else takes the full number parse,
// which costs more than the rest of the answer's handling.
unsigned int ArticleIdOf(const QString& key) {
    if (!key.isEmpty() && key.size() <= 9) {
        unsigned int id = 0;
        int digits = 0;
        for (const QChar c : key) {
            if (c.unicode() < u'0' || c.unicode() > u'9')
                break;
            id = id * 10 + (c.unicode() - u'0');
            ++digits;
        }
        if (digits == key.size())
            return id;
    }
    bool ok = false;
    const double number = key.toDouble(&ok);
    return ok ? static_cast<unsigned int>(DoubleToU64(number)) : 0;
}

template <class Setter>
void FillCounts(CountInfoMap& map, const QJsonObject& counts, Setter set) {
    for (auto it = counts.begin(); it != counts.end(); ++it)
        set(map[ArticleIdOf(it.key())], ReadTruncatedInt(it.value()));
}

CountInfoMap ParseCountInfoMap(const QJsonObject& data) {
    CountInfoMap map;
    FillCounts(map, data.value(QStringLiteral("reading_num")).toObject(),
               [](CountInfo& info, int count) { info.reading_num = count; });
    FillCounts(map, data.value(QStringLiteral("comment_num")).toObject(),
               [](CountInfo& info, int count) { info.comment_num = count; });
    return map;
}

std::wstring JoinCountIds(const std::vector<unsigned int>& ids) {
    std::wstring text;
    for (unsigned int id : ids) {
        if (id == 0)
            continue;
        if (!text.empty())
            text += L',';
        text += std::to_wstring(id);
    }
    return text;
}

}  // namespace

CCommonPublisher::CCommonPublisher() : lastServiceTime_(0), liveness_(Liveness::Create()) {}

CCommonPublisher::~CCommonPublisher() { liveness_->Revoke(); }

void CCommonPublisher::RequestCountInfo(const std::vector<unsigned int>& ids, const CountInfoCallback& callback) {
    const std::wstring idsText = JoinCountIds(ids);
    unsigned long long time;
    {
        boost::mutex::scoped_lock lock(mutex_);
        time = lastServiceTime_;
    }
    const std::wstring url = RequestBuilder::Instance().CountByIdsUrl(idsText.c_str(), time);
    SendAsync({url, &kCountTexts, kRequestTimeoutSeconds, !callback.empty()}, liveness_,
              [this, callback](bool, const Response& response) { OnCountInfo(callback, response); });
}

void CCommonPublisher::OnCountInfo(const CountInfoCallback& callback, const Response& response) {
    if (!response.isParsed())
        return;
    {
        boost::mutex::scoped_lock lock(mutex_);
        lastServiceTime_ = response.time();
    }
    callback(ParseCountInfoMap(response.dataObject()));
}
