#pragma once

// The console client's observers, subscribers and callbacks, one per feed.
// Each keeps what its feed delivered and reports one event per delivery that
// changed something or answered a request. They run on the library's threads,
// some with the publisher's locks held, so they only record and print;
// follow-up requests are left to the main loop.

#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "news_center/news_center.h"
#include "tools/lxnews/console.h"
#include "tools/lxnews/feed_event.h"
#include "tools/lxnews/feed_views.h"

namespace lxnews {

// A publisher hands over what it already holds (or, for land-mines, a reset)
// on the calling thread inside Subscribe, Attach or the request; such a
// delivery is no answer of the service, and is reported only if it changed
// what the client holds.
class HandOver {
public:
    template <class Call>
    void During(Call call) {
        Set(std::this_thread::get_id());
        call();
        Set(std::thread::id());
    }
    bool now() const;

private:
    void Set(std::thread::id thread);

    mutable std::mutex mutex_;
    std::thread::id thread_;
};

// Counters of the telegraph, depth and exclusive articles, each against its own previous answer.
class CounterWatcher {
public:
    explicit CounterWatcher(Console& console) : console_(console) {}
    void OnCounters(const std::string& source, const CountInfoMap& counters);

private:
    Console& console_;
    std::mutex mutex_;
    std::map<std::string, Snapshot> held_;
};

class TelegraphWatcher : public ITelegraphObserver {
public:
    TelegraphWatcher(Console& console, CounterWatcher& counters) : console_(console), counters_(counters) {}
    void OnTelegraphRefreshBegin() override {}
    void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) override;
    void OnTelegraphCountersUpdate(CountInfoMap counters) override;
    void OnOlderPage(bool failed, const std::list<TelegraphInfo>& page);

    bool hasItems() const;
    unsigned long long floor() const;
    HandOver handOver;

private:
    Console& console_;
    CounterWatcher& counters_;
    mutable std::mutex mutex_;
    TelegraphView view_;
};

class DepthWatcher : public IDepthObserver {
public:
    DepthWatcher(Console& console, CounterWatcher& counters) : console_(console), counters_(counters) {}
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override;
    void OnDepthCountersUpdate(CountInfoMap counters) override;
    void OnOlderPage(const std::list<DepthArticle>& page);

    bool hasItems() const;
    HandOver handOver;

private:
    Console& console_;
    CounterWatcher& counters_;
    mutable std::mutex mutex_;
    DepthView view_;
};

class ExclusiveWatcher {
public:
    ExclusiveWatcher(Console& console, CounterWatcher& counters) : console_(console), counters_(counters) {}
    void OnColumns(const std::list<ExclusiveColumn>& columns);
    void OnPage(int columnId, const std::list<ExclusiveArticle>& page);
    void OnUpdate(int columnId, const ExclusiveUpdate& update);
    void OnCounters(const CountInfoMap& counters) { counters_.OnCounters("exclusive", counters); }

    int firstColumn() const;
    // Ids of the last page, once, for a counter request.
    std::vector<unsigned int> TakePageIds();

private:
    void Report(const char* kind, const Snapshot& before, bool failed, const std::wstring& headline);

    Console& console_;
    CounterWatcher& counters_;
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
    Snapshot dates_;
    Snapshot events_;
};

// One subscriber shape for the replace-style feeds: the essence list and the
// four per-stock feeds. Each value replaces the last one whole.
template <class T>
class ValueWatcher : public IUpdate1<T> {
public:
    ValueWatcher(Console& console, const std::string& feed) : console_(console), feed_(feed) {}
    void Update(const T& value) override;
    HandOver handOver;

private:
    Console& console_;
    const std::string feed_;
    std::mutex mutex_;
    Snapshot held_;
};

extern template class ValueWatcher<std::list<InformationEssence> >;
extern template class ValueWatcher<StockAnnouncement>;
extern template class ValueWatcher<StockLandMine>;
extern template class ValueWatcher<StockNewsInfo>;
extern template class ValueWatcher<StockUnusualTradingInfo>;

}  // namespace lxnews
