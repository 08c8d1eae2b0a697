#pragma once

#include <string>
#include <utility>

#include <boost/function.hpp>

#include "news_center/common/async_request.h"
#include "news_center/common/base_news_subject.h"
#include "news_center/common/liveness.h"
#include "news_center/common/subject.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

// What the subject-based publishers (the essence and the four stock feeds)
// share: a request sent on the shared request path, its response turned into a
// value by the publisher's conversion and published. Every response replaces
// the value, in arrival order.
//
// Interface first, subject second, so that the interface pointer is the object
// and the registry deletes through the subject's virtual destructor. No virtual
// operation of its own is added: the interface's three are the whole interface.
//
// Thread-safe. Subscribers are called on the network thread with both subject
// locks held; completions may run side by side.
// Lock order: subscriber lock, then value lock.
template <class Interface, class T>
class CSubjectPublisher : public Interface, public CBaseNewsSubject<IUpdate1<T>, T> {
public:
    typedef CBaseNewsSubject<IUpdate1<T>, T> Subject;

    void Attach(IUpdate1<T>* subscriber) override { Subject::Attach(subscriber); }
    void Detach(IUpdate1<T>* subscriber) override { Subject::Detach(subscriber); }

protected:
    typedef T (*Conversion)(const Response& response);
    // Finishes a converted value and publishes it.
    typedef boost::function<void(T& value)> PublishStep;

    CSubjectPublisher(const OperationTexts& texts, Conversion convert)
        : texts_(texts), convert_(convert), liveness_(Liveness::Create()) {}

    // A publisher with members of its own that completions touch revokes in
    // its own destructor, before they go.
    ~CSubjectPublisher() override { liveness_->Revoke(); }

    const Liveness::Ptr& liveness() const { return liveness_; }

    // Sends `url` unless it is empty; each parsed response is published, by
    // `publish` when given.
    void Send(const std::wstring& url, const PublishStep& publish = PublishStep()) {
        if (url.empty())
            return;
        SendAsync({url, &texts_}, liveness_, [this, publish](bool, const Response& response) {
            if (!response.isParsed())
                return;
            T value = convert_(response);
            if (publish)
                publish(value);
            else
                this->Publish(std::move(value));
        });
    }

    // The stock feeds: the value carries the stock code it was asked for.
    void SendForStock(const std::wstring& url, const std::wstring& stock) {
        Send(url, [this, stock](T& value) {
            value.stock = stock;
            this->Publish(std::move(value));
        });
    }

private:
    const OperationTexts texts_;
    const Conversion convert_;
    const Liveness::Ptr liveness_;
};

}  // namespace internal
}  // namespace news_center
