#include "news_center/stock/stock_unusual_trading.h"

#include <utility>

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"

using namespace news_center::internal;

namespace {

const OperationTexts kUnusualTradingTexts = {
    L"CStockUnusualTrading::FetchStockUnusualTrading Code fail",
    L"CStockUnusualTrading::FetchStockUnusualTrading Json Parse Error Code: %d",
    L"CStockUnusualTrading::FetchStockUnusualTrading Error Code: %d",
};

std::vector<StockUnusualTradingParty> ReadParties(const QJsonValue& value) {
    std::vector<StockUnusualTradingParty> parties;
    const QJsonArray array = value.toArray();
    parties.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        const QJsonObject object = element.toObject();
        StockUnusualTradingParty party;
        party.name = ReadWide(object.value(QStringLiteral("name")));
        party.buy = ReadDouble(object.value(QStringLiteral("buy")));
        party.sell = ReadDouble(object.value(QStringLiteral("sell")));
        parties.push_back(std::move(party));
    }
    return parties;
}

StockUnusualTradingGroup ReadGroup(const QString& key, const QJsonArray& entries) {
    StockUnusualTradingGroup group;
    group.key = key.toStdWString();
    group.items.reserve(static_cast<std::size_t>(entries.size()));
    for (const QJsonValue& element : entries) {
        const QJsonObject object = element.toObject();
        // Each entry overwrites it: the group keeps the last entry's amount.
        group.amount = ReadDouble(object.value(QStringLiteral("amt")));
        StockUnusualTradingItem item;
        item.msg = ReadWide(object.value(QStringLiteral("msg")));
        item.type = ReadWide(object.value(QStringLiteral("type")));
        item.buyer = ReadParties(object.value(QStringLiteral("buyer")));
        item.seller = ReadParties(object.value(QStringLiteral("seller")));
        group.items.push_back(std::move(item));
    }
    return group;
}

// Only the first element of "list" holds groups; they are listed with their
// names in descending order.
StockUnusualTradingInfo ReadUnusualTrading(const Response& response) {
    StockUnusualTradingInfo value;
    const QJsonArray list = response.dataObject().value(QStringLiteral("list")).toArray();
    const QJsonObject groups = list.isEmpty() ? QJsonObject() : list.at(0).toObject();
    const QStringList keys = groups.keys();  // ascending
    for (QStringList::const_reverse_iterator it = keys.rbegin(); it != keys.rend(); ++it)
        value.groups.push_back(ReadGroup(*it, groups.value(*it).toArray()));
    return value;
}

}  // namespace

CStockUnusualTrading::CStockUnusualTrading() : CSubjectPublisher(kUnusualTradingTexts, &ReadUnusualTrading) {}

CStockUnusualTrading::~CStockUnusualTrading() = default;

void CStockUnusualTrading::FetchStockUnusualTrading(std::wstring stock) {
    SendForStock(RequestBuilder::Instance().StockDragonUrl(stock), stock);
}
