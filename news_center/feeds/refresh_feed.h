#pragma once

// What the two refreshed feeds, telegraph and depth, share around a cycle:
// its opening, and the relay of the counters of their newest articles.

#include <vector>

#include <boost/thread/mutex.hpp>

#include "news_center/common/liveness.h"
#include "news_center/common/observer_list.h"
#include "news_center/feeds/counter_interface.h"

namespace news_center {
namespace internal {

// The article counter publisher, as its factory hands it out.
ICommonPublisher* CounterPublisher();

// The opening of a refresh cycle, in one hold of `lock`: false without
// observers or while another cycle runs (`busy`, so that a cycle of the thread
// and a posted one never overlap and refreshes are not queued); otherwise sets
// `busy`, runs `copyMarks` and calls `begin` on every observer.
template <class Observer, class CopyMarks>
bool OpenRefreshCycle(boost::mutex& lock, const ObserverList<Observer>& observers, bool& busy, CopyMarks copyMarks,
                      void (Observer::*begin)()) {
    boost::mutex::scoped_lock hold(lock);
    if (observers.empty() || busy)
        return false;
    busy = true;
    copyMarks();
    observers.ForEach([begin](Observer& observer) { (observer.*begin)(); });
    return true;
}

// Asks the counter publisher for `ids`, if any, and hands its map to every
// observer through `deliver`, under `lock`, while `liveness` is open.
template <class Observer>
void RelayCounters(const std::vector<unsigned int>& ids, const Liveness::Ptr& liveness, boost::mutex& lock,
                   const ObserverList<Observer>& observers, void (Observer::*deliver)(CountInfoMap)) {
    if (ids.empty())
        return;
    CounterPublisher()->RequestCountInfo(
        ids, BindAlive(liveness, [&lock, &observers, deliver](const CountInfoMap& counters) {
            boost::mutex::scoped_lock hold(lock);
            observers.ForEach([&counters, deliver](Observer& observer) { (observer.*deliver)(counters); });
        }));
}

}  // namespace internal
}  // namespace news_center
