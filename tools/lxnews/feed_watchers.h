#pragma once

// The console client's observers, subscribers and callbacks, one per feed. Each
// keeps what its feed delivered and prints one line per delivery. They are
// called on the library's threads, with the library's locks held, so they only
// record and print; follow-up requests are left to the main loop.

#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "news_center/news_center.h"
#include "tools/lxnews/console.h"
#include "tools/lxnews/feed_views.h"

namespace lxnews {

class TelegraphWatcher : public ITelegraphObserver {
public:
    explicit TelegraphWatcher(Console& console) : console_(console) {}
    void OnTelegraphRefreshBegin() override {}
    void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) override;
    void OnTelegraphCountersUpdate(CountInfoMap counters) override;
    void OnOlderPage(bool failed, const std::list<TelegraphInfo>& page);

    bool hasItems() const;
    unsigned long long floor() const;

private:
    Console& console_;
    mutable std::mutex mutex_;
    TelegraphView view_;
};

class DepthWatcher : public IDepthObserver {
public:
    explicit DepthWatcher(Console& console) : console_(console) {}
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override;
    void OnDepthCountersUpdate(CountInfoMap counters) override;
    void OnOlderPage(const std::list<DepthArticle>& page);

    bool hasItems() const;

private:
    Console& console_;
    mutable std::mutex mutex_;
    DepthView view_;
};

class ExclusiveWatcher {
public:
    explicit ExclusiveWatcher(Console& console) : console_(console) {}
    void OnColumns(const std::list<ExclusiveColumn>& columns);
    void OnPage(int columnId, const std::list<ExclusiveArticle>& page);
    void OnUpdate(int columnId, const ExclusiveUpdate& update);
    void OnCounters(const CountInfoMap& counters);

    int firstColumn() const;
    // Ids of the last page, once, for a counter request.
    std::vector<unsigned int> TakePageIds();

private:
    Console& console_;
    mutable std::mutex mutex_;
    int firstColumn_ = 0;
    ColumnView view_;
    std::vector<unsigned int> pageIds_;
};

class TimelineWatcher {
public:
    explicit TimelineWatcher(Console& console) : console_(console) {}
    void OnReddot(const std::list<TimelineReddot>& dates);
    void OnEvents(const std::list<TimelineEvent>& events);
    void OnDetail(const TimelineEventDetail& detail);
    int firstEvent() const;

private:
    Console& console_;
    mutable std::mutex mutex_;
    int firstEvent_ = 0;
    int events_ = 0;
};

class EssenceWatcher : public IUpdate1<std::list<InformationEssence> > {
public:
    explicit EssenceWatcher(Console& console) : console_(console) {}
    void Update(const std::list<InformationEssence>& value) override;

private:
    Console& console_;
};

// One subscriber shape for the four per-stock feeds.
template <class T>
class StockWatcher : public IUpdate1<T> {
public:
    StockWatcher(Console& console, const std::string& feed) : console_(console), feed_(feed) {}
    void Update(const T& value) override;

private:
    Console& console_;
    std::string feed_;
};

extern template class StockWatcher<StockAnnouncement>;
extern template class StockWatcher<StockLandMine>;
extern template class StockWatcher<StockNewsInfo>;
extern template class StockWatcher<StockUnusualTradingInfo>;

}  // namespace lxnews
