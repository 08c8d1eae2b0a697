#pragma once

#include <utility>

#include <boost/thread/mutex.hpp>

#include "news_center/common/observer_list.h"

// Subscriber store and current value of a subject-based publisher. A concrete
// publisher derives from its interface first and from this second, forwards
// Attach and Detach here, and is destroyed through this class's destructor.
//
// Lock order: subscriber lock, then value lock. Subscribers are called with both
// held. The derived publisher publishes by replacing `value_` under the value
// lock alone and then calling Notify().
template <class Observer, class T>
class CBaseNewsSubject {
public:
    CBaseNewsSubject() = default;
    CBaseNewsSubject(const CBaseNewsSubject&) = delete;
    CBaseNewsSubject& operator=(const CBaseNewsSubject&) = delete;
    // Forgets the subscribers without calling them.
    virtual ~CBaseNewsSubject() = default;

    void Attach(Observer* subscriber) {
        if (!subscriber)
            return;
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        if (!subscribers_.Add(subscriber))
            return;
        boost::mutex::scoped_lock value(valueMutex_);
        subscriber->Update(value_);
    }

    void Detach(Observer* subscriber) {
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        subscribers_.Remove(subscriber);
    }

protected:
    // Delivers the current value to every subscriber, in attach order.
    void Notify() {
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        if (subscribers_.empty())
            return;
        boost::mutex::scoped_lock value(valueMutex_);
        subscribers_.ForEach([this](Observer& subscriber) { subscriber.Update(value_); });
    }

    // Replaces the current value and notifies: the publish sequence. The value
    // is taken, not copied; the old one is freed after the locks.
    void Publish(T value) {
        {
            boost::mutex::scoped_lock lock(valueMutex_);
            std::swap(value_, value);
        }
        Notify();
    }

private:
    boost::mutex subscriberMutex_;
    news_center::internal::ObserverList<Observer> subscribers_;

protected:
    boost::mutex valueMutex_;
    T value_;
};
