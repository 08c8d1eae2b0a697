#pragma once

// For the feed tests: synchronous answers scripted by path, and the refresh
// thread kept out of the way. Its cycle as the publisher starts may or may not
// meet a subscriber: its requests fail unrecorded, observers ignore its calls.

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace feedtest {

class SyncScript {
public:
    // With no publisher alive: forgets everything and installs the handler
    // again (hostdouble::Reset removes it).
    void Reset() {
        answers_.clear();
        sent_.clear();
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) { return Answer(request); });
    }
    // Answers the next request of the test thread to `path`; without one it fails.
    void Add(const std::string& path, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[path].push_back(body);
    }
    std::vector<hostdouble::Request> Sent(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return sent_[path];
    }

private:
    hostdouble::Answer Answer(const hostdouble::Request& request) {
        if (std::this_thread::get_id() != owner_)
            return hostdouble::Answer::Fail();
        std::lock_guard<std::mutex> lock(mutex_);
        sent_[request.path].push_back(request);
        std::deque<std::string>& queue = answers_[request.path];
        if (queue.empty())
            return hostdouble::Answer::Fail();
        const std::string body = queue.front();
        queue.pop_front();
        return hostdouble::Answer::Ok(body);
    }

    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::map<std::string, std::deque<std::string> > answers_;
    std::map<std::string, std::vector<hostdouble::Request> > sent_;
};

// Base of the observers: they keep only calls made on the test thread.
class TestThreadOnly {
public:
    // Waits briefly for the thread's starting cycle to reach this observer's
    // update, its fetch done (had it run before, the thread sleeps a whole
    // interval); Cycle waits for the rest of it.
    void Settle() { testsupport::WaitUntil([this] { return foreign_ >= 2; }, std::chrono::milliseconds(100)); }

protected:
    template <class T>
    void Keep(std::vector<T>& calls, const T& value) {
        if (Mine())
            calls.push_back(value);
    }
    bool Mine() {
        if (std::this_thread::get_id() == owner_)
            return true;
        ++foreign_;
        return false;
    }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::atomic<int> foreign_{0};
};

inline int IdOf(int id) { return id; }
template <class Record>
int IdOf(const Record& record) {
    return record.id;
}

// "3,1,2": the ids of a change list, in order.
template <class List>
std::string IdsText(const List& items) {
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ",") + std::to_string(IdOf(item));
    return text;
}

// "key=value ..." of every parameter, by key.
inline std::string Query(const hostdouble::Request& request) {
    std::string text;
    for (const auto& param : request.params)
        text += (text.empty() ? "" : " ") + param.first + "=" + param.second;
    return text;
}

// A fresh publisher from `get` with `observer` subscribed.
template <class Publisher, class Observer>
Publisher* Start(Publisher* (*get)(), Observer& observer, SyncScript& script) {
    DestroyAllPublisher();
    hostdouble::Reset();
    script.Reset();
    Publisher* publisher = get();
    publisher->Subscribe(&observer);
    observer.Settle();
    return publisher;
}

// One refresh on this thread, the one posted or else Refresh: posted again
// while the thread's own cycle holds the feed.
template <class Publisher, class Observer>
void Cycle(Publisher* publisher, Observer& observer) {
    const std::size_t before = observer.updates.size();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        if (hostdouble::PendingTaskCount() == 0)
            publisher->Refresh();
        hostdouble::RunPendingTasks();
        return observer.updates.size() > before;
    }));
}

}  // namespace feedtest
