// The eleven exports: lazily created process-wide publishers and their
// teardown. No locks, by design: the host makes first calls and the teardown
// from one thread at a time.

#include "news_center/news_center.h"

#include "news_center/feeds/common_publisher.h"
#include "news_center/feeds/depth_publisher.h"
#include "news_center/feeds/exclusive_publisher.h"
#include "news_center/feeds/telegraph_publisher.h"
#include "news_center/feeds/timeline_publisher.h"
#include "news_center/feeds/information_essence.h"
#include "news_center/stock/stock_announcement.h"
#include "news_center/stock/stock_land_mine.h"
#include "news_center/stock/stock_news.h"
#include "news_center/stock/stock_unusual_trading.h"
#include "news_center/feeds/refresh_feed.h"

namespace {

CTelegraphPublisher* g_telegraphPublisher = nullptr;
CDepthPublisher* g_depthPublisher = nullptr;
CTimelinePublisher* g_timelinePublisher = nullptr;
CExclusivePublisher* g_exclusivePublisher = nullptr;
CCommonPublisher* g_commonPublisher = nullptr;
CStockNews* g_stockNews = nullptr;
CStockAnnouncement* g_stockAnnouncement = nullptr;
CStockUnusualTrading* g_stockUnusualTrading = nullptr;
CInformationEssence* g_informationEssence = nullptr;
CStockLandMine* g_stockLandMine = nullptr;

template <class T>
T* Instance(T*& pointer) {
    if (!pointer)
        pointer = new T;
    return pointer;
}

// Deletes through `Base`'s virtual destructor, then empties the pointer.
template <class Base, class T>
void Destroy(T*& pointer) {
    if (!pointer)
        return;
    delete static_cast<Base*>(pointer);
    pointer = nullptr;
}

}  // namespace

extern "C" {

ITelegraphPublisher* GetTelegraphPublisher() { return Instance(g_telegraphPublisher); }
IDepthPublisher* GetDepthPublisher() { return Instance(g_depthPublisher); }
ITimelinePublisher* GetTimelinePublisher() { return Instance(g_timelinePublisher); }
IExclusivePublisher* GetExclusivePublisher() { return Instance(g_exclusivePublisher); }
ICommonPublisher* GetCommonPublisher() { return Instance(g_commonPublisher); }
IStockNews* GetStockNews() { return Instance(g_stockNews); }
IStockAnnouncement* GetStockAnnouncement() { return Instance(g_stockAnnouncement); }
IStockUnusualTrading* GetStockUnusualTrading() { return Instance(g_stockUnusualTrading); }
IInformationEssence* GetInformationEssence() { return Instance(g_informationEssence); }
IStockLandMine* GetStockLandMine() { return Instance(g_stockLandMine); }

void DestroyAllPublisher() {
    // Fixed order: telegraph, depth, timeline, exclusive, counters, stock news,
    // announcements, unusual trading, essence, land-mines.
    Destroy<CTelegraphPublisher>(g_telegraphPublisher);
    Destroy<CDepthPublisher>(g_depthPublisher);
    Destroy<CTimelinePublisher>(g_timelinePublisher);
    Destroy<CExclusivePublisher>(g_exclusivePublisher);
    Destroy<CCommonPublisher>(g_commonPublisher);
    Destroy<CBaseNewsSubject<IUpdate1<StockNewsInfo>, StockNewsInfo> >(g_stockNews);
    Destroy<CBaseNewsSubject<IUpdate1<StockAnnouncement>, StockAnnouncement> >(g_stockAnnouncement);
    Destroy<CBaseNewsSubject<IUpdate1<StockUnusualTradingInfo>, StockUnusualTradingInfo> >(g_stockUnusualTrading);
    Destroy<CBaseNewsSubject<IUpdate1<std::list<InformationEssence> >, std::list<InformationEssence> > >(
        g_informationEssence);
    Destroy<CBaseNewsSubject<IUpdate1<StockLandMine>, StockLandMine> >(g_stockLandMine);
}

}  // extern "C"

namespace news_center {
namespace internal {

ICommonPublisher* CounterPublisher() { return GetCommonPublisher(); }

}  // namespace internal
}  // namespace news_center
