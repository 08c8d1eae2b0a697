#pragma once

#include "news_center/stock/stock_news_interface.h"
#include "news_center/common/subject_publisher.h"

// News about a stock or market category. Thread-safe; see CSubjectPublisher.
class CStockNews : public news_center::internal::CSubjectPublisher<IStockNews, StockNewsInfo> {
public:
    CStockNews();
    void RequestStockNewsList(unsigned int type, std::wstring stock, unsigned long long last_time,
                              unsigned int refresh_type, unsigned int rn) override;
    ~CStockNews() override;
};
