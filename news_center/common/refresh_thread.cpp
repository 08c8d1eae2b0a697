#include "news_center/common/refresh_thread.h"

#include <chrono>

#include <boost/bind/bind.hpp>

namespace news_center {
namespace internal {

void RefreshThread::Start(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs) {
    thread_ = boost::thread(boost::bind(&RefreshThread::Run, this, cycle, intervalMs));
}

void RefreshThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.interrupt();  // a cycle's synchronous request gives up
    if (thread_.joinable())
        thread_.join();
}

void RefreshThread::Run(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs) {
    try {
        for (;;) {
            boost::this_thread::interruption_point();
            cycle();
            // A deadline in UTC; Stop ends the sleep at once.
            const std::chrono::system_clock::time_point deadline =
                std::chrono::system_clock::now() + std::chrono::milliseconds(intervalMs());
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_until(lock, deadline, [this] { return stopping_; }))
                return;
        }
    } catch (const boost::thread_interrupted&) {
    }
}

}  // namespace internal
}  // namespace news_center
