#include "news_center/common/async_request.h"

#include "host/lx_net_work.h"

namespace news_center {
namespace internal {
namespace {

struct Opening {
    const OperationTexts* texts;
    bool wanted;
    ResponseHandler handler;

    void operator()(bool success, const char* body, long long length) const {
        handler(success, OpenResponse(*texts, success, body, length, wanted));
    }
};

}  // namespace

void SendAsync(const AsyncRequest& request, const Liveness::Ptr& liveness, const ResponseHandler& handler) {
    const Opening opening{request.texts, request.wanted, handler};
    if (liveness)
        GetAsyn(request.url, BindAlive(liveness, opening), HttpHeaderMap(), request.timeoutSeconds);
    else
        GetAsyn(request.url, opening, HttpHeaderMap(), request.timeoutSeconds);
}

}  // namespace internal
}  // namespace news_center
