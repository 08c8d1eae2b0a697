#pragma once

// The worker threads behind TaskManager and GetAsyn. Not installed: each host
// library compiles its own copy and has its own pool.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <boost/thread/thread.hpp>

#if defined(_WIN32)
#define LX_HOST_INTERNAL
#else
#define LX_HOST_INTERNAL __attribute__((visibility("hidden")))
#endif

namespace lx_host {
namespace internal LX_HOST_INTERNAL {

// Threads started on first use with the configured count and stopped at
// process exit. `Worker` is constructed on each thread and lives as long as
// it, so it may keep what the thread reuses between items. It provides:
//   using Item;                           what Add queues
//   static constexpr int kMaxThreads;     the configured count is clamped to 1..kMaxThreads
//   static constexpr bool kNeverOnAdder;  with more than one thread, an item never runs
//                                         on the worker that added it
//   bool Serve(Item&);                    false: the process is exiting; the item is
//                                         kept, undestroyed, and the thread leaves
// An exception out of Serve costs only that item.
//
// The pool is allocated once and never freed: a worker still busy when the
// process exits must not find it destroyed.
template <class Worker>
class WorkerPool {
public:
    using Item = typename Worker::Item;

    static WorkerPool& Instance() {
        static WorkerPool* const pool = [] {
            WorkerPool* p = new WorkerPool;
            created_.store(p);
            return p;
        }();
        return *pool;
    }

    // Takes effect at the first Add (default 2).
    static void SetThreadCount(int count) { threadCount_.store(count); }

    // True from the start of process exit on, pool or not: long work gives up.
    static bool isExiting() { return exiting_.load(); }

    // True on the pool's own threads.
    static bool isWorkerThread() { return onWorker_; }

    // After exit has begun the item is kept but never run; after Close it is
    // destroyed at once, unrun.
    void Add(Item item) {
        std::unique_ptr<Item> owned(new Item(std::move(item)));
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (closed_) return;  // `owned` is destroyed after the lock is released
            queue_.push_back(Queued{std::move(owned), std::this_thread::get_id()});
            StartWorkersLocked();
        }
        // The worker that wakes first may be the adder, which must not take it.
        if (Worker::kNeverOnAdder)
            cv_.notify_all();
        else
            cv_.notify_one();
    }

    // Destroys the queued items unrun, and every later one, then returns once
    // the items already running have returned. On a worker thread its own item
    // is not waited for. The threads stay, idle, until exit.
    void Close() {
        Queue dropped;
        {
            std::lock_guard<std::mutex> lock(mu_);
            closed_ = true;
            dropped.swap(queue_);
        }
        dropped.clear();  // outside the lock: an item's destructor may Add
        std::unique_lock<std::mutex> lock(mu_);
        const std::size_t self = onWorker_ ? 1 : 0;
        idle_.wait(lock, [&] { return busy_ <= self; });
    }

    // One static of this type per library stops the pool when the library is
    // unloaded or the process exits. Queued items are neither run nor
    // destroyed: what they hold may belong to code already torn down. Workers
    // are interrupted, so work waiting at an interruption point gives up;
    // those still busy after a grace period are detached.
    struct Reaper {
        ~Reaper() { StopForExit(); }
    };
    // What the Reaper does, for a library that must have the workers gone
    // earlier in exit; the Reaper then finds nothing left to do.
    static void StopForExit() {
        exiting_.store(true);
        WorkerPool* pool = created_.load();
        if (pool != nullptr) pool->Stop(std::chrono::seconds(2));
    }

private:
    struct Queued {
        std::unique_ptr<Item> item;
        std::thread::id adder;
    };
    using Queue = std::deque<Queued>;

    WorkerPool() = default;

    typename Queue::iterator FindRunnable(std::thread::id self) {
        if (!Worker::kNeverOnAdder || workers_.size() <= 1) return queue_.begin();  // one worker has no choice
        return std::find_if(queue_.begin(), queue_.end(), [self](const Queued& q) { return q.adder != self; });
    }

    struct LeaveGuard {
        WorkerPool* pool;
        ~LeaveGuard() {
            std::lock_guard<std::mutex> lock(pool->mu_);
            --pool->running_;
            pool->left_.notify_all();
        }
    };

    void Loop() {
        LeaveGuard guard{this};  // declared first: signals after the worker's state is gone
        onWorker_ = true;
        Worker worker;
        const std::thread::id self = std::this_thread::get_id();
        for (;;) {
            std::unique_ptr<Item> item;
            {
                std::unique_lock<std::mutex> lock(mu_);
                auto it = queue_.end();
                cv_.wait(lock, [&] {
                    if (stopping_) return true;
                    it = FindRunnable(self);
                    return it != queue_.end();
                });
                if (stopping_) return;
                item = std::move(it->item);
                queue_.erase(it);
                ++busy_;
            }
            bool serving = true;
            try {
                serving = worker.Serve(*item);
            } catch (...) {
                // A failing item must not take the worker with it.
            }
            if (!serving) {
                std::lock_guard<std::mutex> lock(mu_);
                Keep(Queued{std::move(item), self});
                LeaveBusyLocked();
                return;
            }
            item.reset();  // its captures are released here, on this thread, before Close may return
            std::lock_guard<std::mutex> lock(mu_);
            LeaveBusyLocked();
        }
    }

    void LeaveBusyLocked() {
        --busy_;
        if (closed_) idle_.notify_all();  // only Close waits, and not always for zero
    }

    // Nothing takes from the queue once stopping.
    void Keep(Queued queued) {
        try {
            queue_.push_front(std::move(queued));
        } catch (...) {
            queued.item.release();  // out of memory: leaking beats running foreign destructors at exit
        }
    }

    void StartWorkersLocked() {
        if (stopping_) return;
        if (wanted_ == 0) wanted_ = static_cast<std::size_t>(std::clamp(threadCount_.load(), 1, Worker::kMaxThreads));
        try {
            workers_.reserve(wanted_);  // so that keeping a started thread cannot fail
            while (workers_.size() < wanted_) {
                workers_.emplace_back(new boost::thread([this] { Loop(); }));
                ++running_;
            }
        } catch (...) {
            // No thread this time; the next Add tries again.
        }
    }

    void Stop(std::chrono::milliseconds grace) {
        std::vector<std::unique_ptr<boost::thread>> workers;
        bool allLeft = false;
        bool selfIsWorker = false;
        {
            std::unique_lock<std::mutex> lock(mu_);
            stopping_ = true;
            workers.swap(workers_);
            for (auto& w : workers) {
                selfIsWorker = selfIsWorker || w->get_id() == boost::this_thread::get_id();
                try {
                    w->interrupt();
                } catch (...) {
                }
            }
            cv_.notify_all();
            const std::size_t remaining = selfIsWorker ? 1 : 0;  // exit() called on a worker
            allLeft = left_.wait_for(lock, grace, [&] { return running_ <= remaining; });
        }
        for (auto& w : workers) {
            try {
                if (allLeft && w->get_id() != boost::this_thread::get_id())
                    w->join();
                else
                    w->detach();
            } catch (...) {
            }
        }
    }

    static inline std::atomic<int> threadCount_{2};
    static inline std::atomic<bool> exiting_{false};
    static inline std::atomic<WorkerPool*> created_{nullptr};

    std::mutex mu_;
    std::condition_variable cv_;
    Queue queue_;
    std::vector<std::unique_ptr<boost::thread>> workers_;
    std::size_t wanted_ = 0;   // fixed by the first Add
    std::size_t running_ = 0;  // loops not yet left
    std::condition_variable left_;
    bool stopping_ = false;
    bool closed_ = false;
    std::size_t busy_ = 0;  // items taken and not yet destroyed
    std::condition_variable idle_;
    static inline thread_local bool onWorker_ = false;
};

}  // namespace internal
}  // namespace lx_host
