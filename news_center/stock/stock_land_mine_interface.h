#pragma once

#include <list>
#include <string>

#include "news_center/common/subject.h"

struct StockLandMineItem {
    std::wstring id;
    std::wstring url;
    std::wstring title;
    std::wstring brief;
    std::wstring location;
    unsigned long long publish_time = 0;
};

struct StockLandMine {
    std::wstring stock;
    std::list<StockLandMineItem> items;
};

// Risk events of a stock over a range of days (YYYYMMDD). Every request first
// pushes `stock` with no items to every subscriber on the calling thread; a
// range already fetched is then answered from memory on the calling thread,
// otherwise the response is pushed on a network thread. Invalid requests (empty
// code, a market index, start 0 or after the end) stop after the reset.
// Thread-safe.
struct IStockLandMine : ISubject<IUpdate1<StockLandMine> > {
    // `end_date` 0 means the service's today.
    virtual void RequestStockLandMineList(std::wstring stock, unsigned long start_date, unsigned long end_date) = 0;
};
