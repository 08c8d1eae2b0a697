#pragma once

#include <atomic>
#include <list>
#include <string>

#include <boost/thread/mutex.hpp>

#include "news_center/common/liveness.h"
#include "news_center/common/observer_list.h"
#include "news_center/common/refresh_thread.h"
#include "news_center/feeds/roll_list.h"
#include "news_center/feeds/telegraph_interface.h"
#include "news_center/request/response_envelope.h"

// The telegraph feed: a cache ordered by sort score, refreshed every 10 s on
// its own thread while anyone is subscribed, or at once by Refresh.
// Lock order: subscriber lock, then cache lock; observers are called with the
// subscriber lock held (OnTelegraphUpdate with both).
class CTelegraphPublisher : public ITelegraphPublisher {
public:
    // Starts the refresh thread; its first cycle, with nobody subscribed, does nothing.
    CTelegraphPublisher();
    void Subscribe(ITelegraphObserver* observer) override;
    void Unsubscribe(ITelegraphObserver* observer) override;
    void Refresh() override;
    void RequestEarlierTelegraph(unsigned long long lastTime, const TelegraphListCallback& callback) override;
    // Later work does nothing; waits for work under way, a refresh included,
    // to finish. Calls no observer.
    virtual ~CTelegraphPublisher();
    // Milliseconds between two cycles of the refresh thread.
    virtual unsigned int GetRefreshInterval() const;
    // A refresh always asks for the newest 15, whatever `lastTime` is.
    virtual std::wstring BuildRefreshUrl(unsigned long long lastTime, unsigned long long time) const;

private:
    void RefreshTelegraph();
    void RequestTelegraphCounters();
    void OnEarlierTelegraph(const TelegraphListCallback& callback, bool success,
                            const news_center::internal::Response& response);
    unsigned long long EarliestSortScore();

    news_center::internal::ObserverList<ITelegraphObserver> subscribers_;
    news_center::internal::RefreshThread refreshThread_;
    boost::mutex subscriberMutex_;
    // Highest "time" of a refresh response, sent as "time". Atomic so that
    // RequestEarlierTelegraph, which may be called from inside a notification,
    // reads it without the subscriber lock.
    std::atomic<unsigned long long> serverTime_;
    unsigned long long operationTime_;  // highest "operation_time" seen, sent as "last_time"; 0: first load
    unsigned long long earliestSortScore_;  // never rises; a "show" below it is not ours
    bool refreshing_;
    boost::mutex cacheMutex_;
    TelegraphUpdate changes_;  // what the last refresh delivered
    news_center::internal::TelegraphCache cache_;
    news_center::internal::Liveness::Ptr liveness_;
};
