#pragma once

#include "news_center/stock/stock_announcement_interface.h"
#include "news_center/stock/stock_publisher.h"

// A page of a stock's announcements. Thread-safe; see CStockPublisher.
class CStockAnnouncement
    : public news_center::internal::CStockPublisher<IStockAnnouncement, StockAnnouncement> {
public:
    CStockAnnouncement();
    void RequestStockAnnouncementList(std::wstring stock, unsigned int page, unsigned int rn) override;
    ~CStockAnnouncement() override;
};
