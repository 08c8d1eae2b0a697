#pragma once

#include "news_center/stock/stock_announcement_interface.h"
#include "news_center/common/subject_publisher.h"

// A page of a stock's announcements. Thread-safe; see CSubjectPublisher.
class CStockAnnouncement
    : public news_center::internal::CSubjectPublisher<IStockAnnouncement, StockAnnouncement> {
public:
    CStockAnnouncement();
    void RequestStockAnnouncementList(std::wstring stock, unsigned int page, unsigned int rn) override;
    ~CStockAnnouncement() override;
};
