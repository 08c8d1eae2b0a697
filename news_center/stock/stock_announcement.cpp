#include "news_center/stock/stock_announcement.h"

#include "news_center/request/request_builder.h"
#include "news_center/stock/notice_list.h"

using namespace news_center::internal;

namespace {

const OperationTexts kAnnouncementTexts = {
    L"CStockAnnouncementPublisher::RequestStockAnnouncementList Code fail",
    L"CStockAnnouncementPublisher::RequestStockAnnouncementList Json Parse Error Code: %d",
    L"CStockAnnouncementPublisher::RequestStockAnnouncementList Error Code: %d",
};

const FieldKeys kAnnouncementKeys = NoticeKeys("hashid");

StockAnnouncement ReadAnnouncement(const Response& response) {
    StockAnnouncement value;
    value.items = ReadNoticeList(response, kAnnouncementKeys, &StockAnnouncementItem::hashid);
    return value;
}

}  // namespace

CStockAnnouncement::CStockAnnouncement() : CSubjectPublisher(kAnnouncementTexts, &ReadAnnouncement) {}

CStockAnnouncement::~CStockAnnouncement() = default;

void CStockAnnouncement::RequestStockAnnouncementList(std::wstring stock, unsigned int page, unsigned int rn) {
    SendForStock(RequestBuilder::Instance().StockNoticeUrl(stock, page, rn), stock);
}
