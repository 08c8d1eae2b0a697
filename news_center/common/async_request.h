#pragma once

// The one way a publisher sends an asynchronous request: GetAsyn, the response
// opened by the envelope with the operation's texts, and the handler run only
// while the publisher lives.

#include <string>

#include <boost/function.hpp>

#include "news_center/common/liveness.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

// Receives whether the transfer succeeded and the opened response (not parsed
// on any failure, and not when the result is not wanted).
typedef boost::function<void(bool success, const Response& response)> ResponseHandler;

struct AsyncRequest {
    std::wstring url;
    const OperationTexts* texts;
    int timeoutSeconds = kRequestTimeoutSeconds;
    // False: the result would be dropped; a failed transfer is still logged,
    // nothing is parsed.
    bool wanted = true;
};

// Sends `request`. On completion, while `liveness` is open (always, when it is
// null: work that needs nothing of its publisher), the response is opened and
// `handler` runs, on a network thread, with no lock held.
void SendAsync(const AsyncRequest& request, const Liveness::Ptr& liveness, const ResponseHandler& handler);

}  // namespace internal
}  // namespace news_center
