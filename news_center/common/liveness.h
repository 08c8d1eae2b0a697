#pragma once

#include <utility>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

namespace news_center {
namespace internal {

// Keeps work that outlives its publisher (network completions, counter
// callbacks, task-manager tasks) from touching it. The publisher owns one token
// and binds it into every such piece of work with BindAlive; its destructor calls
// Revoke() before it frees anything. Revoke waits for work already running, and
// work that starts later does nothing.
class Liveness {
public:
    typedef boost::shared_ptr<Liveness> Ptr;

    static Ptr Create() { return boost::make_shared<Liveness>(); }

    void Revoke() {
        boost::mutex::scoped_lock lock(mutex_);
        alive_ = false;
    }

    // Holds the token's lock for the scope's lifetime, so Revoke waits for it.
    class Scope {
    public:
        explicit Scope(Liveness& liveness) : lock_(liveness.mutex_), alive_(liveness.alive_) {}
        bool isAlive() const { return alive_; }

    private:
        boost::mutex::scoped_lock lock_;
        bool alive_;
    };

private:
    boost::mutex mutex_;
    bool alive_ = true;
};

// A function object that runs `f` only while the token is alive, holding the
// token's lock for the whole run.
template <class F>
class AliveBound {
public:
    AliveBound(Liveness::Ptr token, F f) : token_(std::move(token)), f_(std::move(f)) {}

    template <class... Args>
    void operator()(Args&&... args) {
        Liveness::Scope scope(*token_);
        if (scope.isAlive())
            f_(std::forward<Args>(args)...);
    }

private:
    Liveness::Ptr token_;
    F f_;
};

template <class F>
AliveBound<F> BindAlive(const Liveness::Ptr& token, F f) {
    return AliveBound<F>(token, std::move(f));
}

}  // namespace internal
}  // namespace news_center
