#pragma once

// For the feed tests: synchronous answers scripted by path, and the refresh
// thread kept out of the way. A refreshed publisher's thread runs a cycle as it
// starts, and whether that cycle meets a subscriber is a race: its requests
// fail unrecorded and observers ignore calls off the test thread.

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace feedtest {

class SyncScript {
public:
    // Forgets everything and installs the handler again (hostdouble::Reset removes it).
    void Reset() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            answers_.clear();
            sent_.clear();
        }
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) { return Answer(request); });
    }
    // Answers the next request of the test thread to `path`; without one it fails.
    void Add(const std::string& path, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[path].push_back(body);
    }
    std::vector<hostdouble::Request> Sent(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<hostdouble::Request> out;
        for (const hostdouble::Request& request : sent_)
            if (request.path == path)
                out.push_back(request);
        return out;
    }

private:
    hostdouble::Answer Answer(const hostdouble::Request& request) {
        if (std::this_thread::get_id() != owner_)
            return hostdouble::Answer::Fail();
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.push_back(request);
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
    std::vector<hostdouble::Request> sent_;
};

// Base of the observers: they record only calls made on the test thread.
class TestThreadOnly {
public:
    // Waits for the thread's starting cycle in case it met this observer; had it
    // run before, the thread now sleeps a whole interval.
    void Settle() {
        testsupport::WaitUntil([this] { return foreign_ >= 2; }, std::chrono::milliseconds(100));
    }

protected:
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

// One refresh on this thread, as Refresh posts it: retried while the thread's
// own cycle holds the feed.
template <class Publisher, class Observer>
void Cycle(Publisher* publisher, Observer& observer) {
    const std::size_t before = observer.updates.size();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        publisher->Refresh();
        hostdouble::RunPendingTasks();
        return observer.updates.size() > before;
    }));
}

}  // namespace feedtest
