#pragma once

#include <condition_variable>
#include <mutex>

#include <boost/function.hpp>
#include <boost/thread/thread.hpp>

namespace news_center {
namespace internal {

// A publisher's own thread: runs a cycle at once, then again after each sleep
// of interval() milliseconds, until Stop(). Asleep it costs nothing: it wakes
// once, at the deadline. Stop ends a sleep at once; a cycle under way finishes
// first (its synchronous requests see the thread's interruption and give up).
class RefreshThread {
public:
    RefreshThread() = default;
    RefreshThread(const RefreshThread&) = delete;
    RefreshThread& operator=(const RefreshThread&) = delete;
    ~RefreshThread() { Stop(); }

    void Start(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs);
    // Interrupts and joins; harmless when not started or already stopped.
    void Stop();

private:
    void Run(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs);

    boost::thread thread_;
    // The sleep waits on these rather than in boost's interruptible sleep, which
    // wakes every 100 ms to watch a UTC deadline; this one wakes at the deadline.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

}  // namespace internal
}  // namespace news_center
