#include "news_center/stock/stock_news.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"
#include "news_center/request/request_builder.h"

using namespace news_center::internal;

namespace {

const OperationTexts kStockNewsTexts = {
    L"CStockNews::RequestStockNewsList Code fail",
    L"CStockNews::RequestStockNewsList Json Parse Error Code: %d",
    L"CStockNews::RequestStockNewsList Error Code: %d",
};

enum StockNewsField {
    kId, kType, kColumnId, kTypeName, kTitle, kImg, kLevel, kBrief, kCtime, kOperationTime, kShowurl
};
const FieldKeys kStockNewsKeys({"id", "type", "column_id", "type_name", "title", "img", "level", "brief", "ctime",
                                "operation_time", "showurl"});

StockNewsItem ReadStockNewsItem(const QJsonObject& object) {
    const RecordFields fields(object, kStockNewsKeys);
    StockNewsItem item;
    item.id = ReadWide(fields[kId]);
    // The service writes these two numbers as decimal text.
    item.type = ReadDecimalText(fields[kType]);
    item.column_id = ReadDecimalText(fields[kColumnId]);
    item.type_name = ReadWide(fields[kTypeName]);
    item.title = ReadWide(fields[kTitle]);
    item.img = ReadWide(fields[kImg]);
    item.level = ReadWide(fields[kLevel]);
    item.brief = ReadWide(fields[kBrief]);
    item.ctime = ReadU64(fields[kCtime]);
    item.operation_time = ReadU64(fields[kOperationTime]);
    item.showurl = ReadWide(fields[kShowurl]);
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
