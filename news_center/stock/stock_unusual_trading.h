#pragma once

#include "news_center/common/subject_publisher.h"
#include "news_center/stock/stock_unusual_trading_interface.h"

// Unusual-trading disclosures of a stock. Thread-safe; see CSubjectPublisher.
class CStockUnusualTrading
    : public news_center::internal::CSubjectPublisher<IStockUnusualTrading, StockUnusualTradingInfo> {
public:
    CStockUnusualTrading();
    void FetchStockUnusualTrading(std::wstring stock) override;
    ~CStockUnusualTrading() override;
};
