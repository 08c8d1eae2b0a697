#pragma once

#include <algorithm>
#include <list>

namespace news_center {
namespace internal {

// Observers in registration order, each at most once, never null. Not
// thread-safe: its owner guards it with the lock its contract names, and
// holds that lock while ForEach calls out.
template <class Observer>
class ObserverList {
public:
    // False, and nothing changes, when `observer` is null or already listed.
    bool Add(Observer* observer) {
        if (!observer || std::find(observers_.begin(), observers_.end(), observer) != observers_.end())
            return false;
        observers_.push_back(observer);
        return true;
    }

    // Removes the first entry equal to `observer`; one not listed is ignored.
    void Remove(Observer* observer) {
        const auto it = std::find(observers_.begin(), observers_.end(), observer);
        if (it != observers_.end())
            observers_.erase(it);
    }

    bool empty() const { return observers_.empty(); }
    void Clear() { observers_.clear(); }

    // Calls `call(observer)` on each, in registration order.
    template <class Call>
    void ForEach(Call call) const {
        for (Observer* observer : observers_)
            call(*observer);
    }

private:
    std::list<Observer*> observers_;
};

}  // namespace internal
}  // namespace news_center
