#pragma once

// What lxnews asks of each publisher: subscriptions and first requests at the
// start, then follow-ups from the main loop, never from a callback (callbacks
// may run with the publisher's locks held). The watchers live here, so this
// object must outlive DestroyAllPublisher.

#include <chrono>
#include <list>
#include <string>

#include "news_center/news_center.h"
#include "tools/lxnews/console.h"
#include "tools/lxnews/feed_watchers.h"

namespace lxnews {

class FeedRequests {
public:
    FeedRequests(Console& console, const std::string& stock);
    void Start();
    // Called every 100 ms or so: pages, details and periodic refreshes that depend on earlier answers.
    void FollowUp();

private:
    typedef std::chrono::steady_clock Clock;

    void StartStockFeeds();

    Console& console_;
    const std::wstring stock_;
    CounterWatcher counters_;
    TelegraphWatcher telegraph_;
    DepthWatcher depth_;
    ExclusiveWatcher exclusive_;
    TimelineWatcher timeline_;
    ValueWatcher<std::list<InformationEssence> > essence_;
    ValueWatcher<StockAnnouncement> announcements_;
    ValueWatcher<StockLandMine> landMines_;
    ValueWatcher<StockNewsInfo> stockNews_;
    ValueWatcher<StockUnusualTradingInfo> unusual_;

    Clock::time_point start_;
    Clock::time_point nextPeriod_;
    bool pageRequested_ = false;
    bool detailRequested_ = false;
    bool telegraphPaged_ = false;
    bool depthPaged_ = false;
};

}  // namespace lxnews
