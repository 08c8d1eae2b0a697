#pragma once

#include <list>
#include <string>
#include <utility>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "news_center/request/json_read.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

// The "data"."list" array that the announcement and land-mine services answer
// with. Their items differ only in the name of the first key. Every element
// gives one item, a non-object one an empty item.
template <class Item>
std::list<Item> ReadNoticeList(const Response& response, const QString& idKey, std::wstring Item::*id) {
    std::list<Item> items;
    const QJsonArray list = response.dataObject().value(QStringLiteral("list")).toArray();
    for (const QJsonValue& element : list) {
        const QJsonObject object = element.toObject();
        Item item;
        item.*id = ReadWide(object.value(idKey));
        item.url = ReadWide(object.value(QStringLiteral("url")));
        item.title = ReadWide(object.value(QStringLiteral("title")));
        item.brief = ReadWide(object.value(QStringLiteral("brief")));
        item.location = ReadWide(object.value(QStringLiteral("location")));
        item.publish_time = ReadU64(object.value(QStringLiteral("publish_time")));
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace internal
}  // namespace news_center
