#pragma once

// Publishers held in a steady state for repeated refreshes: each refresh brings
// new items at the top and removes as many of the oldest, so the cache keeps its
// size however many iterations a benchmark runs. The refreshes run on the
// calling thread (Refresh's task is taken from the host double); the
// publisher's own thread, should it wake, is answered with a failed transfer.

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"

namespace benchrig {

// The telegraph publisher with one observer and `cached` telegraphs, ids
// [lo, hi) with sort scores rising with the id.
class TelegraphRig {
public:
    explicit TelegraphRig(int cached);
    ~TelegraphRig();

    // Puts this rig's sync handler into the double (after another rig used it).
    void Install();
    // The next steady roll list of 100 elements: 40 adds at the top, 20
    // modifies (5 of them on telegraphs of the same page, which the collapse
    // removes) and 40 deletes of the oldest telegraphs.
    std::string NextPage();
    // One refresh on this thread answered with `page` (and, for a full page,
    // an empty second page). Prepare copies the answer in, Run refreshes.
    void Prepare(const std::string& page);
    void Run();
    void Refresh(const std::string& page) {
        Prepare(page);
        Run();
    }
    // Adds `count` telegraphs at the top, in pages of 99.
    void Grow(int count);

    ITelegraphPublisher* publisher() const { return publisher_; }
    int cached() const { return hi_ - lo_; }
    static std::string EmptyPage();

private:
    hostdouble::Answer Serve(const hostdouble::Request& request);

    ITelegraphPublisher* publisher_;
    benchsupport::NullTelegraphObserver observer_;
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::string page_;
    bool pageServed_ = true;
    int lo_ = 0;
    int hi_ = 0;
    unsigned long long operationTime_ = 1764900000;
    int resetCountdown_ = 0;
};

// The depth publisher with one observer, two pinned articles and `cached`
// normal ones, ids [lo, hi).
class DepthRig {
public:
    DepthRig(int cached, int informEntries);
    ~DepthRig();

    void Install();
    // One steady cycle's answers: a get_depth page of 20 (the two pinned, 5
    // new, 13 cached) and an inform-modify page of `informEntries` (5 deletes of
    // the oldest, the rest edits of cached articles).
    void NextAnswers(std::string& depthPage, std::string& informPage);
    void Prepare(const std::string& depthPage, const std::string& informPage);
    void Run();
    void Refresh(const std::string& depthPage, const std::string& informPage) {
        Prepare(depthPage, informPage);
        Run();
    }
    // Adds `count` older articles at the bottom, in pages of 20.
    void Grow(int count);

    int cached() const { return hi_ - lo_; }

private:
    hostdouble::Answer Serve(const hostdouble::Request& request);
    std::string NormalArticle(int id) const;
    std::string PinnedArticles() const;

    IDepthPublisher* publisher_;
    benchsupport::NullDepthObserver observer_;
    const int informEntries_;
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::string depthPage_;
    std::string informPage_;
    bool informServed_ = true;
    int lo_ = 0;
    int hi_ = 0;
    unsigned long long operationTime_ = 1764900000;
    int resetCountdown_ = 0;
};

// One live rig of each kind, kept across benchmark runs of the same size
// (seeding a large cache costs far more than the figure measured).
TelegraphRig& TelegraphRigOf(int cached);
DepthRig& DepthRigOf(int cached, int informEntries);
// Destroys every publisher (DestroyAllPublisher) and the rigs on them.
void DropRigs();

}  // namespace benchrig
