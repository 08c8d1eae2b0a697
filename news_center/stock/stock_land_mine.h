#pragma once

#include <list>
#include <string>

#include "news_center/stock/stock_land_mine_interface.h"
#include "news_center/common/subject_publisher.h"

// Risk events of a stock over a range of days, with a cache of the ranges
// already fetched (one entry per stock, at most 20). Thread-safe; the value
// lock guards the cache too. A request answered from the cache notifies twice
// on the caller's thread: the reset value, then the cached items.
// Lock order: subscriber lock, then value lock (which guards the cache).
class CStockLandMine : public news_center::internal::CSubjectPublisher<IStockLandMine, StockLandMine> {
public:
    CStockLandMine();
    void RequestStockLandMineList(std::wstring stock, unsigned long start_date, unsigned long end_date) override;
    ~CStockLandMine() override;

private:
    struct RangeEntry {
        std::wstring stock;
        unsigned int startDate;
        unsigned int endDate;  // as requested: 0 stays 0 and then never answers
        std::list<StockLandMineItem> items;
    };

    // Both need the value lock. Found() fills `result` when an entry covers the days.
    bool Found(const std::wstring& stock, unsigned int startDate, unsigned int lastDate, StockLandMine& result) const;
    void Store(const StockLandMine& result, unsigned int startDate, unsigned int endDate);
    // The publish step of a response: cache and value replaced under one lock.
    void StoreAndPublish(StockLandMine& result, unsigned int startDate, unsigned int endDate);

    std::list<RangeEntry> cache_;  // oldest first
};
