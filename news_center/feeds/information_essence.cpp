#include "news_center/feeds/information_essence.h"

#include <boost/bind/bind.hpp>

#include <QJsonObject>

#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"
#include "news_center/request/request_builder.h"

using namespace news_center::internal;

namespace {

const OperationTexts kEssenceTexts = {
    L"CInformationEssence::FetchInformationEssence Code fail",
    L"CInformationEssence::FetchInformationEssence Json Parse Error Code: %d",
    L"CInformationEssence::FetchInformationEssence Error Code: %d",
};

const int kRefreshSeconds = 600;
const unsigned int kRefreshRows = 50;

enum EssenceField { kId, kType, kImg, kBrief, kContent, kSortScore, kCtime, kTitle, kShowurl };
const FieldKeys kEssenceKeys({"id", "type", "img", "brief", "content", "sort_score", "ctime", "title", "showurl"});

InformationEssence ReadEssence(const QJsonObject& object) {
    const RecordFields fields(object, kEssenceKeys);
    InformationEssence essence;
    essence.id = ReadInt(fields[kId]);
    essence.type = ReadInt(fields[kType]);
    essence.img = ReadWide(fields[kImg]);
    essence.brief = ReadWide(fields[kBrief]);
    essence.content = ReadWide(fields[kContent]);
    // Read as 32-bit integers by the service's old rule, then widened.
    essence.sort_score = ReadInt(fields[kSortScore]);
    essence.ctime = ReadInt(fields[kCtime]);
    essence.title = ReadWide(fields[kTitle]);
    essence.showurl = ReadWide(fields[kShowurl]);
    return essence;
}

// "list" is an object; its member names are not kept, and the object iterates
// them in ascending order.
std::list<InformationEssence> ReadEssenceList(const Response& response) {
    std::list<InformationEssence> list;
    const QJsonObject members = response.dataObject().value(QStringLiteral("list")).toObject();
    for (auto it = members.begin(); it != members.end(); ++it)
        list.push_back(ReadEssence(it.value().toObject()));
    return list;
}

}  // namespace

CInformationEssence::CInformationEssence() : CSubjectPublisher(kEssenceTexts, &ReadEssenceList) {
    // Through the interface, as a client's fetch would go.
    worker_.Start(BindAlive(liveness(), boost::bind(&IInformationEssence::FetchInformationEssence, this, 0ULL, 0u,
                                                    kRefreshRows)),
                  [] { return kRefreshSeconds * 1000u; });
}

CInformationEssence::~CInformationEssence() {
    // No new fetch, the worker ended, then the completions under way.
    liveness()->Close();
    worker_.Stop();
    liveness()->Revoke();
}

void CInformationEssence::FetchInformationEssence(unsigned long long last_time, unsigned int refresh_type,
                                                  unsigned int rn) {
    Send(RequestBuilder::Instance().SumArticleListUrl(last_time, refresh_type, rn));
}
