#pragma once

#include <list>
#include <string>

#include "news_center/common/subject.h"

struct StockAnnouncementItem {
    std::wstring hashid;
    std::wstring url;
    std::wstring title;
    std::wstring brief;
    std::wstring location;
    unsigned long long publish_time = 0;
};

// One page of a stock's announcements; `stock` is the code exactly as requested.
struct StockAnnouncement {
    std::wstring stock;
    std::list<StockAnnouncementItem> items;
};

// Each response replaces the value and is pushed to every subscriber on the
// network thread, in arrival order. Failures are logged and change nothing.
// Thread-safe.
struct IStockAnnouncement : ISubject<IUpdate1<StockAnnouncement> > {
    virtual void RequestStockAnnouncementList(std::wstring stock, unsigned int page, unsigned int rn) = 0;
};
