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

StockAnnouncement ReadAnnouncement(const Response& response) {
    StockAnnouncement value;
    value.items = ReadNoticeList(response, QLatin1String("hashid"), &StockAnnouncementItem::hashid);
    return value;
}

}  // namespace

CStockAnnouncement::CStockAnnouncement() : CStockPublisher(kAnnouncementTexts, &ReadAnnouncement) {}

CStockAnnouncement::~CStockAnnouncement() { RevokeLiveness(); }

void CStockAnnouncement::RequestStockAnnouncementList(std::wstring stock, unsigned int page, unsigned int rn) {
    Send(RequestBuilder::Instance().StockNoticeUrl(stock, page, rn), stock);
}
