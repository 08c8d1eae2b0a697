#pragma once

#include "news_center/stock/stock_publisher.h"
#include "news_center/stock/stock_unusual_trading_interface.h"

// Unusual-trading disclosures of a stock. Thread-safe; see CStockPublisher.
class CStockUnusualTrading
    : public news_center::internal::CStockPublisher<IStockUnusualTrading, StockUnusualTradingInfo> {
public:
    CStockUnusualTrading();
    void FetchStockUnusualTrading(std::wstring stock) override;
    ~CStockUnusualTrading() override;
};
