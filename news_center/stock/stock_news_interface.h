#pragma once

#include <list>
#include <string>

#include "news_center/common/subject.h"

struct StockNewsItem {
    std::wstring id;
    int type = 0;
    int column_id = 0;
    std::wstring type_name;
    std::wstring title;
    std::wstring img;
    std::wstring level;
    std::wstring brief;
    unsigned long long ctime = 0;
    unsigned long long operation_time = 0;
    std::wstring showurl;
};

struct StockNewsInfo {
    std::wstring stock;
    std::list<StockNewsItem> items;
};

// News about a stock. Each response replaces the value and is pushed to every
// subscriber on the network thread. Thread-safe.
struct IStockNews : ISubject<IUpdate1<StockNewsInfo> > {
    // Only `type` 1 and 2 are served; any other type sends nothing.
    virtual void RequestStockNewsList(unsigned int type, std::wstring stock, unsigned long long last_time,
                                      unsigned int refresh_type, unsigned int rn) = 0;
};
