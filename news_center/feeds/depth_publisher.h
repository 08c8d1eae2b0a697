#pragma once

#include <list>
#include <string>

#include <boost/thread/mutex.hpp>

#include "news_center/common/liveness.h"
#include "news_center/common/observer_list.h"
#include "news_center/common/refresh_thread.h"
#include "news_center/common/sorted_list.h"
#include "news_center/feeds/depth_interface.h"
#include "news_center/request/response_envelope.h"

class QJsonObject;

// In-depth articles and banners. Refreshed by its own thread every
// GetRefreshInterval() ms and by Refresh() on a task-manager thread, never two
// cycles at once; older pages arrive on a network thread.
// Lock order: cacheMutex_ before stateMutex_; observers are called under stateMutex_ (OnDepthUpdate under both).
class CDepthPublisher : public IDepthPublisher {
public:
    CDepthPublisher();
    void Subscribe(IDepthObserver* observer) override;
    void Unsubscribe(IDepthObserver* observer) override;
    void Refresh() override;
    void RequestEarlierDepth(const DepthArticleCallback& callback) override;
    // Stops the thread (a cycle in progress finishes first); observers get no final call.
    virtual ~CDepthPublisher();
    virtual unsigned int GetRefreshInterval();
    virtual std::wstring BuildRefreshUrl();

private:
    // One refresh cycle; returns at once without observers or while another runs.
    void NotifySubscriber();
    std::list<DepthArticle> FreshArticles(const QJsonObject& data);
    static void FoldFresh(DepthUpdate& changes, std::list<DepthArticle>& fresh);
    // Applies the cycle under cacheMutex_ and notifies under both locks; returns the oldest score loaded.
    unsigned long long ApplyAndNotify(DepthUpdate& changes, std::list<DepthBanner>& banners, bool failed);
    // Edits and removals since the cursors, folded into `changes`; the cache is not touched.
    void MergeInformModifyListToCache(DepthUpdate& changes, unsigned long long& lastTime, unsigned long long& time);
    // Called with cacheMutex_ held.
    void ApplyToCache(DepthUpdate& changes, unsigned long long earliest);
    void ApplyModified(DepthArticle& modified, unsigned long long earliest);
    void OnEarlierDepth(const DepthArticleCallback& callback, const news_center::internal::Response& response);
    void RequestCounters();

    news_center::internal::ObserverList<IDepthObserver> observers_;
    news_center::internal::RefreshThread thread_;
    boost::mutex stateMutex_;        // observers_, the cursors and busy_
    unsigned long long time_;        // inform-modify "time" cursor
    unsigned long long lastTime_;    // inform-modify operation-time cursor
    unsigned long long earliest_;    // lowest sort_score loaded; all ones while nothing is
    bool busy_;
    boost::mutex cacheMutex_;        // everything below
    DepthUpdate update_;             // what the last cycle changed, shown to observers
    std::list<DepthBanner> banners_;
    news_center::internal::IndexedList<DepthArticle> topList_;     // pinned, newest sort_score first
    news_center::internal::IndexedList<DepthArticle> normalList_;  // the rest, newest sort_score first
    news_center::internal::Liveness::Ptr liveness_;
};
