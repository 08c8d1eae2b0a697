#include "tools/news_service_sim/sim_catalog.h"

#include <algorithm>
#include <cstdio>

#include <QJsonDocument>
#include <QString>

#include "host/lx_common.h"
#include "tools/news_service_sim/sim_calendar.h"
#include "tools/news_service_sim/sim_json.h"
#include "tools/news_service_sim/sim_random.h"
#include "tools/news_service_sim/sim_text.h"

namespace news_sim {

namespace {

constexpr int kAnnouncementsPerStock = 60;
constexpr int kLandMinesPerStock = 30;
constexpr long long kNewsSlotSeconds = 3 * 3600;
constexpr int kNewsSlotsSearched = 600;

std::string Hex(std::uint64_t value) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
    return buf;
}

const char* const kNoticeKinds[] = {"关于董事会决议的公告", "年度报告摘要", "关于回购股份进展的公告",
                                    "关于召开股东大会的通知", "关于对外投资的公告", "2024年Q3季度报告",
                                    "关于获得政府补助的公告", "独立董事意见"};
const char* const kMineKinds[] = {"股东减持计划", "收到监管问询函", "涉及重大诉讼", "业绩预告大幅下修",
                                  "控股股东股份质押比例过高", "被列入ST风险警示", "会计师出具保留意见"};
const char* const kNewsLevels[] = {"A", "B", "C", "重要"};

}  // namespace

SimCatalog::SimCatalog(std::uint64_t seed, long long startTime) : seed_(seed), startTime_(startTime) {}

const std::vector<SimStock>& SimCatalog::Stocks() {
    static const std::vector<SimStock> stocks = {
        {"sh600519", "华岳酒业", "上海证券交易所", false}, {"sz000001", "平川银行", "深圳证券交易所", false},
        {"sh601318", "安泰保险", "上海证券交易所", false}, {"sz300750", "宁远新能", "深圳证券交易所", false},
        {"bj430047", "北辰精工", "北京证券交易所", false}, {"sh000001", "沪市综合指数", "上海证券交易所", true},
    };
    return stocks;
}

const SimStock* SimCatalog::FindStock(const std::string& code) {
    for (const SimStock& stock : Stocks()) {
        if (stock.code == code) return &stock;
    }
    return nullptr;
}

int SimCatalog::EventCount(long long day) const { return 1 + static_cast<int>(HashOf(seed_, day, 0x7e11) % 5); }

QJsonArray SimCatalog::Reddot(const std::string& startDate, const std::string& endDate) const {
    long long first = 0, last = 0;
    bool dashed = false, dashedEnd = false;
    QJsonArray dates;
    if (!ParseServiceDate(startDate, first, dashed) || !ParseServiceDate(endDate, last, dashedEnd) || last < first)
        return dates;
    last = std::min(last, first + 92);
    for (long long day = first; day <= last; ++day) {
        QJsonObject entry;
        entry.insert(QStringLiteral("date"), Text(FormatServiceDate(day, dashed)));
        entry.insert(QStringLiteral("nums"), EventCount(day));
        dates.append(entry);
    }
    return dates;
}

QJsonArray SimCatalog::EventsOfDay(const std::string& date, unsigned int rn) const {
    long long day = 0;
    bool dashed = false;
    QJsonArray events;
    if (!ParseServiceDate(date, day, dashed)) return events;
    const int count = std::min<int>(EventCount(day), rn == 0 ? 50 : static_cast<int>(rn));
    for (int k = 0; k < count; ++k) {
        SimRandom random(HashOf(seed_, day, k, 0xe7e7));
        QJsonObject event;
        event.insert(QStringLiteral("id"), Number(day * 10 + k + 1));
        event.insert(QStringLiteral("title"), Text(Headline(random)));
        event.insert(QStringLiteral("brief"), Text(Brief(random)));
        events.append(event);
    }
    return events;
}

QJsonObject SimCatalog::EventDetail(long long id) const {
    QJsonObject detail;
    const long long day = (id - 1) / 10;
    const int k = static_cast<int>((id - 1) % 10);
    if (id <= 0 || k >= EventCount(day)) return detail;
    SimRandom random(HashOf(seed_, day, k, 0xe7e7));  // the same title as in the day's list
    detail.insert(QStringLiteral("id"), Number(id));
    detail.insert(QStringLiteral("title"), Text(Headline(random)));
    Brief(random);
    detail.insert(QStringLiteral("content"), Text(Paragraph(random, 4)));
    return detail;
}

QJsonObject SimCatalog::Announcements(const std::string& code, unsigned int page, unsigned int rn) const {
    const SimStock* stock = FindStock(code);
    QJsonArray list;
    if (stock != nullptr && !stock->isIndex) {
        const unsigned int size = rn == 0 ? 20 : std::min(rn, 50u);
        const unsigned int first = (page == 0 ? 0 : page - 1) * size;
        for (unsigned int k = first; k < first + size && k < static_cast<unsigned int>(kAnnouncementsPerStock); ++k) {
            const std::uint64_t h = HashOf(seed_, HashText(code), k, 0xa11);
            const long long day = common::ServerDayOf(startTime_) - static_cast<long long>(k) * 5 / 2;
            const std::string hashid = Hex(h);
            QJsonObject item;
            item.insert(QStringLiteral("hashid"), Text(hashid));
            item.insert(QStringLiteral("url"), Text("https://static.sim.example/notice/" + hashid + ".pdf"));
            item.insert(QStringLiteral("title"), Text(stock->name + "：" + kNoticeKinds[h % 8]));
            item.insert(QStringLiteral("brief"), Text("公告编号 " + code + "-" + std::to_string(1000 - k)));
            item.insert(QStringLiteral("location"), Text(stock->exchange));
            const long long published =
                common::ServerDayStart(day) + 8 * 3600 + static_cast<long long>((h >> 20) % 36000);
            item.insert(QStringLiteral("publish_time"), Number(published));
            list.append(item);
        }
    }
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonObject SimCatalog::LandMines(const std::string& code, long long start, unsigned long long end) const {
    const SimStock* stock = FindStock(code);
    QJsonArray list;
    if (stock != nullptr && !stock->isIndex) {
        // Newest first, spread over about eight months before the start.
        long long day = common::ServerDayOf(startTime_);
        for (int k = 0; k < kLandMinesPerStock; ++k) {
            const std::uint64_t h = HashOf(seed_, HashText(code), k, 0x1a4d);
            day -= 3 + static_cast<long long>(h % 11);
            const long long time = common::ServerDayStart(day) + 9 * 3600 + static_cast<long long>((h >> 16) % 30000);
            if (time < start || static_cast<unsigned long long>(time) > end) continue;
            QJsonObject item;
            item.insert(QStringLiteral("id"), Text("lm-" + code + "-" + std::to_string(k)));
            item.insert(QStringLiteral("url"), Text("https://sim.example/risk/" + code + "/" + std::to_string(k)));
            item.insert(QStringLiteral("title"), Text(stock->name + "：" + kMineKinds[h % 7]));
            item.insert(QStringLiteral("brief"), Text("风险等级 " + std::to_string(1 + (h >> 8) % 3) + "，请关注后续公告。"));
            item.insert(QStringLiteral("location"), Text(stock->exchange));
            item.insert(QStringLiteral("publish_time"), Number(time));
            list.append(item);
        }
    }
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonArray SimCatalog::MarketNews(const std::string& code, unsigned int type, unsigned long long lastTime,
                                  unsigned int refreshType, unsigned int rn, long long now) const {
    const SimStock* stock = FindStock(code);
    QJsonArray list;
    if (stock == nullptr || (type != 1 && type != 2)) return list;
    const unsigned int size = rn == 0 ? 20 : std::min(rn, 50u);
    const long long newestSlot = now / kNewsSlotSeconds;
    for (long long slot = newestSlot; slot > newestSlot - kNewsSlotsSearched && list.size() < static_cast<int>(size);
         --slot) {
        const std::uint64_t h = HashOf(seed_, HashText(code), type, slot, 0x4e35);
        if (h % 3 == 0) continue;  // a quiet slot
        const long long ctime = slot * kNewsSlotSeconds + static_cast<long long>((h >> 8) % kNewsSlotSeconds);
        if (ctime > now) continue;
        if (lastTime != 0 && refreshType == 1 && static_cast<unsigned long long>(ctime) >= lastTime) continue;
        if (lastTime != 0 && refreshType != 1 && static_cast<unsigned long long>(ctime) <= lastTime) break;
        SimRandom random(h);
        const std::string id = "mn-" + code + "-" + std::to_string(type) + "-" + std::to_string(slot);
        QJsonObject item;
        item.insert(QStringLiteral("id"), Text(id));
        item.insert(QStringLiteral("type"), QString::number(type));  // strings on this endpoint
        item.insert(QStringLiteral("column_id"), QString::number(type == 1 ? 12 : 31));
        item.insert(QStringLiteral("type_name"), type == 1 ? Text("公司新闻") : Text("研究报告"));
        item.insert(QStringLiteral("title"), Text(stock->name + "｜" + Headline(random)));
        item.insert(QStringLiteral("img"), Text("https://img.sim.example/news/" + id + ".jpg"));
        item.insert(QStringLiteral("level"), Text(kNewsLevels[h % 4]));
        item.insert(QStringLiteral("brief"), Text(Brief(random)));
        item.insert(QStringLiteral("ctime"), Number(ctime));
        item.insert(QStringLiteral("operation_time"), Number(ctime + static_cast<long long>(h % 600)));
        item.insert(QStringLiteral("showurl"), Text("https://sim.example/news/" + id));
        list.append(item);
    }
    return list;
}

QJsonObject SimCatalog::Dragon(const std::string& stockArray) const {
    const QJsonArray codes =
        QJsonDocument::fromJson(QByteArray::fromStdString(stockArray)).array();
    const std::string code = codes.isEmpty() ? std::string() : codes.at(0).toString().toStdString();
    const SimStock* stock = FindStock(code);
    QJsonArray list;
    if (stock != nullptr && !stock->isIndex) {
        // Groups keyed by trading date; the stock made the list on a few recent days.
        QJsonObject groups;
        long long day = common::ServerDayOf(startTime_);
        for (int found = 0, k = 0; found < 4 && k < 60; ++k, --day) {
            if (WeekdayOf(day) >= 5 || HashOf(seed_, HashText(code), day, 0xd7a) % 3 != 0) continue;
            ++found;
            SimRandom random(HashOf(seed_, HashText(code), day, 0xd7b));
            QJsonArray entries;
            const int count = random.Between(1, 2);
            for (int e = 0; e < count; ++e) {
                QJsonArray buyers, sellers;
                for (int p = 0; p < 5; ++p) {
                    QJsonObject buyer, seller;
                    buyer.insert(QStringLiteral("name"), Text(PartyName(random)));
                    buyer.insert(QStringLiteral("buy"), static_cast<double>(random.Between(1000, 90000)) * 100.5);
                    buyer.insert(QStringLiteral("sell"), static_cast<double>(random.Between(0, 3000)) * 10.25);
                    seller.insert(QStringLiteral("name"), Text(PartyName(random)));
                    seller.insert(QStringLiteral("buy"), static_cast<double>(random.Between(0, 3000)) * 10.25);
                    seller.insert(QStringLiteral("sell"), static_cast<double>(random.Between(1000, 90000)) * 100.5);
                    buyers.append(buyer);
                    sellers.append(seller);
                }
                QJsonObject entry;
                entry.insert(QStringLiteral("msg"), e == 0 ? Text("日涨幅偏离值达到7%的前5只证券")
                                                           : Text("连续三个交易日内涨幅偏离值累计达到20%"));
                entry.insert(QStringLiteral("type"), Text(e == 0 ? "01" : "04"));
                entry.insert(QStringLiteral("amt"), static_cast<double>(random.Between(10000, 900000)) * 1000.5);
                entry.insert(QStringLiteral("buyer"), buyers);
                entry.insert(QStringLiteral("seller"), sellers);
                entries.append(entry);
            }
            groups.insert(Text(FormatServiceDate(day, true)), entries);
        }
        list.append(groups);
    }
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

}  // namespace news_sim
