#pragma once

// The public face of lx_news_center: every record, callback, observer and
// publisher interface, and the eleven exported functions.
//
// A factory hands out its process-wide publisher, creating it on the first
// call; the pointer stays valid until DestroyAllPublisher. Make the first call
// of each factory, and the teardown, from one thread at a time. The client never
// deletes a publisher. Observers and subscribers are not owned: keep each alive
// until it is unsubscribed or the publishers are destroyed.
//
// Observers, subscribers and callbacks run on the library's threads, those of
// one publisher possibly side by side. From inside one, a client may issue
// requests (of the same publisher too), but must not subscribe or unsubscribe
// (the publisher's locks are held during notifications), destroy the
// publishers, or wait for the thread that destroys them. The land-mine request
// is the exception: it publishes on the calling thread at once, so it must not
// be made from inside a land-mine subscriber.

#include "news_center/export.h"
#include "news_center/common/subject.h"
#include "news_center/feeds/counter_interface.h"
#include "news_center/feeds/depth_interface.h"
#include "news_center/feeds/essence_interface.h"
#include "news_center/feeds/exclusive_interface.h"
#include "news_center/feeds/telegraph_interface.h"
#include "news_center/feeds/timeline_interface.h"
#include "news_center/stock/stock_announcement_interface.h"
#include "news_center/stock/stock_land_mine_interface.h"
#include "news_center/stock/stock_news_interface.h"
#include "news_center/stock/stock_unusual_trading_interface.h"

extern "C" {
LX_NEWS_CENTER_API ITelegraphPublisher*  GetTelegraphPublisher();
LX_NEWS_CENTER_API IDepthPublisher*      GetDepthPublisher();
LX_NEWS_CENTER_API ITimelinePublisher*   GetTimelinePublisher();
LX_NEWS_CENTER_API IExclusivePublisher*  GetExclusivePublisher();
LX_NEWS_CENTER_API ICommonPublisher*     GetCommonPublisher();
LX_NEWS_CENTER_API IStockNews*           GetStockNews();
LX_NEWS_CENTER_API IStockAnnouncement*   GetStockAnnouncement();
LX_NEWS_CENTER_API IStockUnusualTrading* GetStockUnusualTrading();
LX_NEWS_CENTER_API IInformationEssence*  GetInformationEssence();
LX_NEWS_CENTER_API IStockLandMine*       GetStockLandMine();
// Destroys every publisher, in a fixed order; call once, after the client has
// stopped using them. Registered observers receive no final call, and no
// observer or callback of a destroyed publisher runs once this has returned
// (but a pending timeline request, which needs nothing of its publisher).
// It waits for work already running; call the host program's stop first
// (netwk::Stop, then base::TaskManagerInstance().Stop()) so that this never
// waits for a slow server. Without it, a request under way can hold it up for
// one network timeout. A factory called afterwards creates a fresh publisher.
LX_NEWS_CENTER_API void                  DestroyAllPublisher();
}
