#include "news_center/common/refresh_thread.h"

#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/thread/thread_time.hpp>

namespace news_center {
namespace internal {

void RefreshThread::Start(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs) {
    thread_ = boost::thread(boost::bind(&RefreshThread::Run, this, cycle, intervalMs));
}

void RefreshThread::Stop() {
    thread_.interrupt();
    if (thread_.joinable())
        thread_.join();
}

void RefreshThread::Run(const boost::function<void()>& cycle, const boost::function<unsigned int()>& intervalMs) {
    try {
        for (;;) {
            boost::this_thread::interruption_point();
            cycle();
            ++cycles_;
            // A deadline in UTC: an interrupt ends the sleep at once.
            boost::this_thread::sleep(boost::get_system_time() + boost::posix_time::milliseconds(intervalMs()));
        }
    } catch (const boost::thread_interrupted&) {
    }
}

}  // namespace internal
}  // namespace news_center
