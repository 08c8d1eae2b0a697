#pragma once

#include <vector>

#include <boost/thread/mutex.hpp>

#include "news_center/common/liveness.h"
#include "news_center/request/response_envelope.h"
#include "news_center/feeds/counter_interface.h"

// Article counters. Thread-safe; the mutex guards only the last service time
// and is never held across the network call, the parse or the callback.
class CCommonPublisher : public ICommonPublisher {
public:
    CCommonPublisher();
    void RequestCountInfo(const std::vector<unsigned int>& ids, const CountInfoCallback& callback) override;
    virtual ~CCommonPublisher();

private:
    void OnCountInfo(const CountInfoCallback& callback, const news_center::internal::Response& response);

    boost::mutex mutex_;
    unsigned long long lastServiceTime_;  // "time" of the last parsed response, sent with the next request
    news_center::internal::Liveness::Ptr liveness_;
};
