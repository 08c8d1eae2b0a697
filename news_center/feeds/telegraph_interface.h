#pragma once

#include <list>
#include <string>

#include <boost/function.hpp>

#include "news_center/feeds/counter_interface.h"

// One flash telegraph.
struct TelegraphInfo {
    int id = 0;
    std::wstring author;
    std::wstring content;
    bool bold = false;
    int reading_num = 0;
    int comment_num = 0;
    bool recommend = false;
    unsigned long long ctime = 0;       // seconds
    unsigned long long sort_score = 0;  // milliseconds; lists run from highest to lowest
    std::wstring shareurl;
    std::wstring showurl;
    int status = 0;
    bool collection = false;
};

// What one refresh changed. `added` and `modified` are ordered by sort_score,
// newest first, each id at most once; `removedIds` in the order met, unique.
struct TelegraphUpdate {
    std::list<TelegraphInfo> added;
    std::list<TelegraphInfo> modified;
    std::list<int> removedIds;
};

// `failed` is true only for a failed transfer; the list is empty on any failure.
typedef boost::function<void(bool failed, const std::list<TelegraphInfo>&)> TelegraphListCallback;

// Implemented by the client. Every call is made with the publisher's subscriber
// lock held (OnTelegraphUpdate also with its cache lock): do not Subscribe or
// Unsubscribe from inside a call, and copy what you need before returning.
class ITelegraphObserver {
public:
    virtual void OnTelegraphRefreshBegin() = 0;
    // `failed` is true when no request of the refresh succeeded.
    virtual void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) = 0;
    // Counters of the 15 newest telegraphs, after each refresh.
    virtual void OnTelegraphCountersUpdate(CountInfoMap counters) = 0;
};

// The rolling flash-news feed, polled every 10 s while anyone is subscribed.
// Thread-safe; observers are called on the refresh thread, a task-manager thread
// (after Refresh), the subscribing thread (hand-over) or a network thread
// (counters).
class ITelegraphPublisher {
public:
    // Registers `observer` once; if anything is cached it at once receives
    // OnTelegraphRefreshBegin and OnTelegraphUpdate(false, ...) whose `added` is
    // the whole cache, newest first.
    virtual void Subscribe(ITelegraphObserver* observer) = 0;
    // Once this returns, `observer` receives no further call.
    virtual void Unsubscribe(ITelegraphObserver* observer) = 0;
    // Runs a refresh at once on a task-manager thread (skipped if one is running).
    virtual void Refresh() = 0;
    // Fetches the page older than `lastTime` and hands it to `callback` on a
    // network thread; also caches it. Observers are not told.
    virtual void RequestEarlierTelegraph(unsigned long long lastTime, const TelegraphListCallback& callback) = 0;
};
