#pragma once

// The one way a publisher sends an asynchronous request: GetAsyn, the response
// opened by the envelope with the operation's texts, and the handler run only
// while the publisher lives.

#include <string>
#include <utility>

#include "host/lx_net_work.h"
#include "news_center/common/liveness.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

struct AsyncRequest {
    std::wstring url;
    const OperationTexts* texts;
    int timeoutSeconds = kRequestTimeoutSeconds;
    // False: the result would be dropped; a failed transfer is still logged,
    // nothing is parsed.
    bool wanted = true;
};

// The completion: opens the response and hands it to the handler.
template <class Handler>
struct OpenThenHandle {
    const OperationTexts* texts;
    bool wanted;
    Handler handler;

    void operator()(bool success, const char* body, long long length) {
        handler(success, OpenResponse(*texts, success, body, length, wanted));
    }
};

// Sends `request`. On completion, while `liveness` is open (always, when it is
// null: work that needs nothing of its publisher), the response is opened and
// `handler(bool success, const Response&)` runs, on a network thread, with no
// lock held. The response is not parsed on any failure, nor when not wanted.
template <class Handler>
void SendAsync(const AsyncRequest& request, const Liveness::Ptr& liveness, Handler handler) {
    OpenThenHandle<Handler> completion{request.texts, request.wanted, std::move(handler)};
    if (liveness)
        GetAsyn(request.url, BindAlive(liveness, std::move(completion)), HttpHeaderMap(), request.timeoutSeconds);
    else
        GetAsyn(request.url, std::move(completion), HttpHeaderMap(), request.timeoutSeconds);
}

}  // namespace internal
}  // namespace news_center
