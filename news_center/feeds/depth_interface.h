#pragma once

#include <list>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "news_center/feeds/counter_interface.h"

struct ArticleRecommendation {
    int article_id = 0;
    std::wstring name;
    std::wstring showurl;
};

// One in-depth article.
struct DepthArticle {
    int id = 0;
    std::wstring short_title;
    std::wstring title;
    std::wstring author;
    std::wstring brief;
    std::wstring img;
    std::wstring jump;
    unsigned long long ctime = 0;
    unsigned long long sort_score = 0;
    bool recommend = false;
    bool is_top = false;  // pinned
    int reading_num = 0;
    int comment_num = 0;
    int status = 0;
    std::wstring shareurl;
    std::wstring showurl;
    std::vector<ArticleRecommendation> article_rec;
};

struct DepthBanner {
    std::wstring title;
    std::wstring img;
    std::wstring jump;
};

inline bool operator==(const DepthBanner& a, const DepthBanner& b) {
    return a.title == b.title && a.img == b.img && a.jump == b.jump;
}
inline bool operator!=(const DepthBanner& a, const DepthBanner& b) { return !(a == b); }

// What one refresh changed. `banners` is empty unless the banners changed, then
// it holds the whole new list.
struct DepthUpdate {
    std::list<DepthBanner> banners;
    std::list<DepthArticle> added;
    std::list<DepthArticle> modified;
    std::list<int> removed;
};

typedef boost::function<void(const std::list<DepthArticle>&)> DepthArticleCallback;

// Implemented by the client. Called with the publisher's state lock held
// (OnDepthUpdate also with its cache lock): do not Subscribe or Unsubscribe from
// inside a call.
class IDepthObserver {
public:
    virtual void OnDepthRefreshBegin() = 0;
    // `failed` is true when the article fetch failed.
    virtual void OnDepthUpdate(bool failed, const DepthUpdate& changes) = 0;
    virtual void OnDepthCountersUpdate(CountInfoMap counters) = 0;
};

// In-depth articles and banners, refreshed every ten minutes while anyone is
// subscribed. Thread-safe.
class IDepthPublisher {
public:
    // Registers `observer` once; nothing is delivered until the next refresh.
    virtual void Subscribe(IDepthObserver* observer) = 0;
    virtual void Unsubscribe(IDepthObserver* observer) = 0;
    // Runs a refresh at once on a task-manager thread (skipped if one is running).
    virtual void Refresh() = 0;
    // Fetches the page older than what is loaded and hands the newly cached
    // articles to `callback` on a network thread. With nothing loaded it calls
    // `callback` with an empty list at once and starts a refresh instead.
    virtual void RequestEarlierDepth(const DepthArticleCallback& callback) = 0;
};
