#pragma once

#include <atomic>

#include <boost/function.hpp>
#include <boost/thread/thread.hpp>

namespace news_center {
namespace internal {

// A publisher's own thread: runs a cycle at once, then again after each
// interruptible sleep of interval() milliseconds, until Stop(). Stop ends a
// sleep at once; a cycle under way finishes first (its synchronous requests see
// the interruption and give up).
class RefreshThread {
public:
    RefreshThread() : cycles_(0) {}
    ~RefreshThread() { Stop(); }

    void Start(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs);
    // Interrupts and joins; harmless when not started or already stopped.
    void Stop();
    // Cycles completed; after the first the thread sleeps a whole interval.
    unsigned int cycleCount() const { return cycles_; }

private:
    RefreshThread(const RefreshThread&);
    RefreshThread& operator=(const RefreshThread&);

    void Run(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs);

    boost::thread thread_;
    std::atomic<unsigned int> cycles_;
};

}  // namespace internal
}  // namespace news_center
