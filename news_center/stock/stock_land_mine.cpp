#include "news_center/stock/stock_land_mine.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "host/lx_common.h"
#include "news_center/request/request_builder.h"
#include "news_center/stock/notice_list.h"

using namespace news_center::internal;

namespace {

const OperationTexts kLandMineTexts = {
    L"CStockLandMine::RequestStockLandMineList Code fail",
    L"CStockLandMine::RequestStockLandMineList Json Parse Error Code: %d",
    L"CStockLandMine::RequestStockLandMineList Error Code: %d",
};

const std::size_t kCacheLimit = 20;
const std::size_t kEvictedAtLimit = 11;

typedef std::list<StockLandMineItem> Items;

const FieldKeys kLandMineKeys = NoticeKeys("id");

StockLandMine ReadLandMines(const Response& response) {
    StockLandMine value;
    value.items = ReadNoticeList(response, kLandMineKeys, &StockLandMineItem::id);
    return value;
}

unsigned long long DayStart(unsigned int date) {
    return static_cast<unsigned long long>(common::DateToTime(date, 0, 0, 0));
}

unsigned long long DayEnd(unsigned int date) {
    return static_cast<unsigned long long>(common::DateToTime(date, 23, 59, 59));
}

// Copies, in order, the items whose time passes `within` to the end of `out`.
template <class Within>
void CopyWithin(const Items& items, Items& out, Within within) {
    std::copy_if(items.begin(), items.end(), std::back_inserter(out),
                 [&within](const StockLandMineItem& item) { return within(item.publish_time); });
}

}  // namespace

CStockLandMine::CStockLandMine() : CSubjectPublisher(kLandMineTexts, &ReadLandMines) {}

CStockLandMine::~CStockLandMine() {
    // A late completion stores into the cache: stop it before the cache goes.
    liveness()->Revoke();
}

void CStockLandMine::RequestStockLandMineList(std::wstring stock, unsigned long start_date, unsigned long end_date) {
    // Dates are 32-bit, as unsigned long is on the home platform.
    const unsigned int startDate = static_cast<unsigned int>(start_date);
    const unsigned int endDate = static_cast<unsigned int>(end_date);

    StockLandMine result;
    result.stock = stock;
    Publish(result);

    if (stock.empty() || ::stock::CheckSymbol(stock.c_str()) == ::stock::SYMBOL_INDEX)
        return;
    const unsigned int lastDate = endDate != 0 ? endDate : common::GetCurrentServerDate();
    if (startDate == 0 || startDate > lastDate)
        return;

    bool cached;
    {
        boost::mutex::scoped_lock lock(valueMutex_);
        cached = Found(stock, startDate, lastDate, result);
    }
    if (cached) {
        Publish(result);
        return;
    }
    Send(RequestBuilder::Instance().StockLandmineUrl(stock, startDate, endDate),
         [this, stock, startDate, endDate](StockLandMine& value) {
             value.stock = stock;
             StoreAndPublish(value, startDate, endDate);
         });
}

bool CStockLandMine::Found(const std::wstring& stock, unsigned int startDate, unsigned int lastDate,
                           StockLandMine& result) const {
    for (const RangeEntry& entry : cache_) {
        if (entry.stock != stock)
            continue;
        if (entry.startDate > startDate || entry.endDate < lastDate)
            return false;
        const unsigned long long from = DayStart(startDate);
        const unsigned long long to = DayEnd(lastDate);
        CopyWithin(entry.items, result.items,
                   [from, to](unsigned long long time) { return from <= time && time <= to; });
        return true;
    }
    return false;
}

void CStockLandMine::Store(const StockLandMine& result, unsigned int startDate, unsigned int endDate) {
    if (result.stock.empty() || result.items.empty())
        return;
    auto entry = cache_.begin();
    while (entry != cache_.end() && entry->stock != result.stock)
        ++entry;
    if (entry == cache_.end()) {
        if (cache_.size() >= kCacheLimit) {
            auto end = cache_.begin();
            std::advance(end, kEvictedAtLimit);
            cache_.erase(cache_.begin(), end);
        }
        cache_.push_back(RangeEntry{result.stock, startDate, endDate, result.items});
        return;
    }

    const unsigned int oldStart = entry->startDate;
    const unsigned int oldEnd = entry->endDate;
    if (startDate <= oldStart && endDate >= oldEnd) {
        entry->startDate = startDate;
        entry->endDate = endDate;
        entry->items = result.items;
    } else if (startDate < oldStart && oldStart < endDate && endDate < oldEnd) {
        // Only the days before the cached range are new; they are older, so they go last.
        const unsigned long long from = DayStart(startDate);
        const unsigned long long to = DayStart(oldStart);
        CopyWithin(result.items, entry->items,
                   [from, to](unsigned long long time) { return from <= time && time < to; });
        entry->startDate = startDate;
    } else if (oldStart < startDate && startDate < oldEnd && oldEnd < endDate) {
        // Only the days after the cached range are new; they are newer, so they go first.
        const unsigned long long from = DayEnd(oldEnd);
        const unsigned long long to = DayEnd(endDate);
        Items newer;
        CopyWithin(result.items, newer, [from, to](unsigned long long time) { return from < time && time <= to; });
        entry->items.splice(entry->items.begin(), newer);
        entry->endDate = endDate;
    }
}

void CStockLandMine::StoreAndPublish(StockLandMine& result, unsigned int startDate, unsigned int endDate) {
    {
        boost::mutex::scoped_lock lock(valueMutex_);
        Store(result, startDate, endDate);
        std::swap(value_, result);
    }
    Notify();
}
