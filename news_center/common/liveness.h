#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace news_center {
namespace internal {

// Keeps work that outlives its publisher (network completions, counter
// callbacks, posted refreshes, refresh-thread cycles) from touching it. The
// publisher owns one token and hands every such piece of work out through
// BindAlive; its destructor calls Revoke() before it frees anything.
//
// What is guaranteed:
// - Bound work counts itself in while it runs; the token's mutex guards only
//   the count and is never held while the work runs. Bound work of one
//   publisher therefore runs side by side, and calls the network, observers
//   and callbacks without any lock of this token.
// - Work that arrives after Close() or Revoke() began does nothing at all.
// - Revoke() returns once no bound work is running: nothing bound is called
//   after the publisher's destructor has returned.
//
// What bound work (and so every callback and observer it calls) may do:
// - issue requests of the same publisher, or of any other: yes;
// - destroy publishers (DestroyAllPublisher): no, Revoke would wait for itself;
// - block on the thread that calls DestroyAllPublisher: no, for the same reason.
//
// Teardown waits for running work only. Without the host program's stop, that
// can be one network timeout for a request already under way.
class Liveness {
public:
    typedef std::shared_ptr<Liveness> Ptr;

    static Ptr Create() { return std::make_shared<Liveness>(); }

    // Shuts the entrance; work already inside goes on.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
    }

    // Shuts the entrance and waits until no bound work is running.
    void Revoke() {
        std::unique_lock<std::mutex> lock(mutex_);
        open_ = false;
        idle_.wait(lock, [this] { return inside_ == 0; });
    }

    // Counts one piece of work in for its lifetime, if the entrance is open.
    class Visit {
    public:
        explicit Visit(Liveness& liveness) : liveness_(liveness), entered_(liveness.Enter()) {}
        ~Visit() {
            if (entered_)
                liveness_.Leave();
        }
        Visit(const Visit&) = delete;
        Visit& operator=(const Visit&) = delete;

        bool entered() const { return entered_; }

    private:
        Liveness& liveness_;
        const bool entered_;
    };

private:
    bool Enter() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_)
            return false;
        ++inside_;
        return true;
    }

    void Leave() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--inside_ == 0)
            idle_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    bool open_ = true;
    int inside_ = 0;
};

// A function object that runs `f` only while the token is open, counted in.
template <class F>
class AliveBound {
public:
    AliveBound(Liveness::Ptr token, F f) : token_(std::move(token)), f_(std::move(f)) {}

    template <class... Args>
    void operator()(Args&&... args) {
        Liveness::Visit visit(*token_);
        if (visit.entered())
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
