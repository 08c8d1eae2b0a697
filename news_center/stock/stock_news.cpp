#include "news_center/stock/stock_news.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"

using namespace news_center::internal;

namespace {

const OperationTexts kStockNewsTexts = {
    L"CStockNews::RequestStockNewsList Code fail",
    L"CStockNews::RequestStockNewsList Json Parse Error Code: %d",
    L"CStockNews::RequestStockNewsList Error Code: %d",
};

StockNewsItem ReadStockNewsItem(const QJsonObject& object) {
    StockNewsItem item;
    item.id = ReadWide(object.value(QStringLiteral("id")));
    // The service writes these two numbers as decimal text.
    item.type = ReadDecimalText(object.value(QStringLiteral("type")));
    item.column_id = ReadDecimalText(object.value(QStringLiteral("column_id")));
    item.type_name = ReadWide(object.value(QStringLiteral("type_name")));
    item.title = ReadWide(object.value(QStringLiteral("title")));
    item.img = ReadWide(object.value(QStringLiteral("img")));
    item.level = ReadWide(object.value(QStringLiteral("level")));
    item.brief = ReadWide(object.value(QStringLiteral("brief")));
    item.ctime = ReadU64(object.value(QStringLiteral("ctime")));
    item.operation_time = ReadU64(object.value(QStringLiteral("operation_time")));
    item.showurl = ReadWide(object.value(QStringLiteral("showurl")));
    return item;
}

// "data" is the item array itself here.
StockNewsInfo ReadStockNews(const Response& response) {
    StockNewsInfo value;
    const QJsonArray data = response.dataArray();
    for (const QJsonValue& element : data)
        value.items.push_back(ReadStockNewsItem(element.toObject()));
    return value;
}

}  // namespace

CStockNews::CStockNews() : CSubjectPublisher(kStockNewsTexts, &ReadStockNews) {}

CStockNews::~CStockNews() = default;

void CStockNews::RequestStockNewsList(unsigned int type, std::wstring stock, unsigned long long last_time,
                                      unsigned int refresh_type, unsigned int rn) {
    const long long now = QDateTime::currentMSecsSinceEpoch() / 1000;
    // An unserved type gives an empty URL, which sends nothing.
    SendForStock(RequestBuilder::Instance().MarketListUrl(type, stock, last_time, refresh_type, rn,
                                                          static_cast<unsigned long long>(now)),
                 stock);
}
