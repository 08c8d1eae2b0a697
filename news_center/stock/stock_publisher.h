#pragma once

#include <string>

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include "host/lx_net_work.h"
#include "news_center/common/base_news_subject.h"
#include "news_center/common/liveness.h"
#include "news_center/common/subject.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

// What the four per-stock publishers share: a request sent with GetAsyn, its
// completion opened by the envelope with the publisher's texts, the body turned
// into a value by the publisher's conversion, tagged with the requested stock
// code and published. Every response replaces the value, in arrival order.
//
// Interface first, subject second, so that the interface pointer is the object
// and the registry deletes through the subject's virtual destructor. No virtual
// operation of its own is added: the interface's three are the whole interface.
//
// Thread-safe. Subscribers are called on the network thread with both subject
// locks held.
// Lock order: subscriber lock, then value lock.
template <class Interface, class T>
class CStockPublisher : public Interface, public CBaseNewsSubject<IUpdate1<T>, T> {
public:
    typedef CBaseNewsSubject<IUpdate1<T>, T> Subject;

    void Attach(IUpdate1<T>* subscriber) override { Subject::Attach(subscriber); }
    void Detach(IUpdate1<T>* subscriber) override { Subject::Detach(subscriber); }

protected:
    // Fills everything but the stock code from a parsed response.
    typedef T (*Conversion)(const Response& response);
    // Replaces the publish step, for a publisher that stores more under the value lock.
    typedef boost::function<void(const T& value)> PublishStep;

    CStockPublisher(const OperationTexts& texts, Conversion convert)
        : texts_(texts), convert_(convert), liveness_(Liveness::Create()) {}

    // Subclasses call RevokeLiveness() first in their own destructor, so that
    // no completion runs while they are torn down.
    ~CStockPublisher() override { RevokeLiveness(); }

    void RevokeLiveness() { liveness_->Revoke(); }

    // Sends `url` unless it is empty; the response is published for `stock`.
    void Send(const std::wstring& url, const std::wstring& stock) { Send(url, stock, PublishStep()); }
    void Send(const std::wstring& url, const std::wstring& stock, const PublishStep& publish) {
        if (url.empty())
            return;
        using namespace boost::placeholders;
        GetAsyn(url, BindAlive(liveness_, boost::bind(&CStockPublisher::OnResponse, this, stock, publish, _1, _2, _3)),
                HttpHeaderMap(), kTimeoutSeconds);
    }

private:
    static const int kTimeoutSeconds = 30;

    void OnResponse(const std::wstring& stock, const PublishStep& publish, bool success, const char* body,
                    long long length) {
        const Response response = OpenResponse(texts_, success, body, length);
        if (!response.isParsed())
            return;
        T value = convert_(response);
        value.stock = stock;
        if (publish)
            publish(value);
        else
            this->Publish(value);
    }

    const OperationTexts texts_;
    const Conversion convert_;
    Liveness::Ptr liveness_;
};

}  // namespace internal
}  // namespace news_center
