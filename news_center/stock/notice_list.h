#pragma once

#include <list>
#include <string>
#include <utility>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

enum NoticeField { kNoticeId, kNoticeUrl, kNoticeTitle, kNoticeBrief, kNoticeLocation, kNoticePublishTime };
// A notice's keys, given the name of its first.
inline FieldKeys NoticeKeys(const char* idKey) {
    return FieldKeys({idKey, "url", "title", "brief", "location", "publish_time"});
}

// The "data"."list" array that the announcement and land-mine services answer
// with. Their items differ only in the name of the first key (`keys` from
// NoticeKeys). Every element gives one item, a non-object one an empty item.
template <class Item>
std::list<Item> ReadNoticeList(const Response& response, const FieldKeys& keys, std::wstring Item::*id) {
    std::list<Item> items;
    const QJsonArray list = response.dataObject().value(QStringLiteral("list")).toArray();
    for (const QJsonValue& element : list) {
        const QJsonObject object = element.toObject();
        const RecordFields fields(object, keys);
        Item item;
        item.*id = ReadWide(fields[kNoticeId]);
        item.url = ReadWide(fields[kNoticeUrl]);
        item.title = ReadWide(fields[kNoticeTitle]);
        item.brief = ReadWide(fields[kNoticeBrief]);
        item.location = ReadWide(fields[kNoticeLocation]);
        item.publish_time = ReadU64(fields[kNoticePublishTime]);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace internal
}  // namespace news_center
