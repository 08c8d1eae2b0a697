#pragma once

#include <list>
#include <string>
#include <vector>

#include "news_center/common/subject.h"

struct StockUnusualTradingParty {
    std::wstring name;
    double buy = 0;
    double sell = 0;
};

struct StockUnusualTradingItem {
    std::wstring msg;
    std::wstring type;
    std::vector<StockUnusualTradingParty> buyer;
    std::vector<StockUnusualTradingParty> seller;
};

struct StockUnusualTradingGroup {
    std::wstring key;
    double amount = 0;  // "amt" of the group's last entry
    std::vector<StockUnusualTradingItem> items;
};

struct StockUnusualTradingInfo {
    std::wstring stock;
    std::list<StockUnusualTradingGroup> groups;
};

// Unusual-trading disclosures of a stock. Each response replaces the value and
// is pushed to every subscriber on the network thread. Thread-safe.
struct IStockUnusualTrading : ISubject<IUpdate1<StockUnusualTradingInfo> > {
    virtual void FetchStockUnusualTrading(std::wstring stock) = 0;
};
