#pragma once

// What a feed delivers, spelled as text for a table row: fields joined by ',',
// records by ';', a stock's value as "stock|records".

#include <QString>
#include <string>

#include "news_center/news_center.h"

namespace spell {

inline std::string Field(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }
inline std::string Field(double number) { return QString::number(number, 'g', 15).toStdString(); }
template <class Integer>
std::string Field(Integer number) { return std::to_string(number); }

template <class... Fields>
std::string Join(const Fields&... fields) {
    std::string text;
    for (const std::string& field : {Field(fields)...})
        text += "," + field;
    return text.substr(1);
}

template <class List>
auto Spell(const List& list) -> decltype(list.begin(), std::string());

inline std::string Spell(const StockAnnouncementItem& i) {
    return Join(i.hashid, i.url, i.title, i.brief, i.location, i.publish_time);
}
inline std::string Spell(const StockLandMineItem& i) {
    return Join(i.id, i.url, i.title, i.brief, i.location, i.publish_time);
}
inline std::string Spell(const StockNewsItem& i) {
    return Join(i.id, i.type, i.column_id, i.type_name, i.title, i.img, i.level, i.brief, i.ctime, i.operation_time,
                i.showurl);
}
inline std::string Spell(const StockUnusualTradingParty& p) { return Join(p.name, p.buy, p.sell); }
inline std::string Spell(const StockUnusualTradingGroup& g) {
    std::string text = Field(g.key) + "=" + Field(g.amount);
    for (const StockUnusualTradingItem& i : g.items)
        text += "(" + Join(i.msg, i.type) + "," + Spell(i.buyer) + "/" + Spell(i.seller) + ")";
    return text;
}
inline std::string Spell(const StockAnnouncement& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockLandMine& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockNewsInfo& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockUnusualTradingInfo& v) { return Field(v.stock) + "|" + Spell(v.groups); }
inline std::string Spell(const TimelineReddot& r) { return Join(r.date, r.nums); }
inline std::string Spell(const TimelineEvent& e) { return Join(e.id, e.title, e.brief); }
inline std::string Spell(const TimelineEventDetail& d) { return Join(d.id, d.title, d.content); }
inline std::string Spell(const CountInfoMap::value_type& c) {
    return Join(c.first, c.second.reading_num, c.second.comment_num);
}
inline std::string Spell(const InformationEssence& e) {
    return Join(e.id, e.type, e.img, e.brief, e.content, e.sort_score, e.ctime, e.title, e.showurl);
}

template <class List>
auto Spell(const List& list) -> decltype(list.begin(), std::string()) {
    std::string text;
    for (const auto& record : list)
        text += (&record == &*list.begin() ? "" : ";") + Spell(record);
    return text;
}

}  // namespace spell
