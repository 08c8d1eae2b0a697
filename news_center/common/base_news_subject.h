#pragma once

#include <algorithm>
#include <list>

#include <boost/thread/mutex.hpp>

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
    CBaseNewsSubject() {}
    // Forgets the subscribers without calling them.
    virtual ~CBaseNewsSubject() {}

    void Attach(Observer* subscriber) {
        if (!subscriber)
            return;
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        if (std::find(subscribers_.begin(), subscribers_.end(), subscriber) != subscribers_.end())
            return;
        subscribers_.push_back(subscriber);
        boost::mutex::scoped_lock value(valueMutex_);
        subscriber->Update(value_);
    }

    void Detach(Observer* subscriber) {
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        if (!subscriber || subscribers_.empty())
            return;
        typename std::list<Observer*>::iterator it =
            std::find(subscribers_.begin(), subscribers_.end(), subscriber);
        if (it != subscribers_.end())
            subscribers_.erase(it);
    }

protected:
    // Delivers the current value to every subscriber, in attach order.
    void Notify() {
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        if (subscribers_.empty())
            return;
        boost::mutex::scoped_lock value(valueMutex_);
        for (typename std::list<Observer*>::iterator it = subscribers_.begin(); it != subscribers_.end(); ++it)
            (*it)->Update(value_);
    }

    // Replaces the current value and notifies: the publish sequence.
    void Publish(const T& value) {
        {
            boost::mutex::scoped_lock lock(valueMutex_);
            value_ = value;
        }
        Notify();
    }

private:
    CBaseNewsSubject(const CBaseNewsSubject&);
    CBaseNewsSubject& operator=(const CBaseNewsSubject&);

    boost::mutex subscriberMutex_;
    std::list<Observer*> subscribers_;

protected:
    boost::mutex valueMutex_;
    T value_;
};
