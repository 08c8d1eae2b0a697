#pragma once

// The depth targets' common ground: an observer that checks every change set,
// and refresh cycles run on the fuzzing thread with scripted GetSync answers.

#include <deque>
#include <mutex>
#include <string>

#include "news_center/feeds/depth_publisher.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

struct DepthObserver : IDepthObserver {
    int begins = 0;
    int updates = 0;
    bool listsInOrder = true;
    void OnDepthRefreshBegin() override { ++begins; }
    void OnDepthUpdate(bool, const DepthUpdate& changes) override {
        ++updates;
        listsInOrder = listsInOrder && SortedAndUnique(changes.added) && Unique(changes.removed);
    }
    void OnDepthCountersUpdate(CountInfoMap) override {}
};

// Two pinned-free articles, ids far from what a fuzzer writes first.
const char kDepthSeedPage[] =
    "{\"errno\":0,\"data\":{\"banner\":[{\"title\":\"b\",\"img\":\"i\",\"jump\":\"j\"}],\"list\":["
    "{\"type\":2,\"id\":900001,\"sort_score\":9000000,\"status\":1},"
    "{\"type\":2,\"id\":900002,\"sort_score\":8000000,\"status\":1,\"is_top\":true}]}}";

// The depth publisher with an observer of the script's own, which every cycle
// checks. Answers get_depth with `depthBody`, and inform/modify pages from a
// queue that ends in an empty page, so a full fuzzed page cannot page forever.
class DepthScript {
public:
    DepthScript() : depth_(static_cast<CDepthPublisher*>(GetDepthPublisher())) {
        WaitForIdleCycle(depth_);
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (request.path == "/pc/information/get_depth")
                return hostdouble::Answer::Ok(depthBody_);
            if (informBodies_.empty())
                return hostdouble::Answer::Ok("{\"errno\":0,\"data\":[]}");
            const std::string body = informBodies_.front();
            informBodies_.pop_front();
            return hostdouble::Answer::Ok(body);
        });
        depth_->Subscribe(&observer_);
    }

    CDepthPublisher* depth() const { return depth_; }

    void Cycle(const std::string& depthBody, const std::string& informBody = "") {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            depthBody_ = depthBody;
            informBodies_.clear();
            if (!informBody.empty())
                informBodies_.push_back(informBody);
        }
        const int updates = observer_.updates;
        depth_->Refresh();
        hostdouble::RunPendingTasks();
        Require(observer_.updates == updates + 1, "one update per cycle");
        Require(observer_.begins == observer_.updates, "each update follows its begin");
        Require(observer_.listsInOrder, "change sets sorted with unique ids");
    }

private:
    CDepthPublisher* depth_;
    std::mutex mutex_;
    std::string depthBody_;
    std::deque<std::string> informBodies_;
    DepthObserver observer_;
};

}  // namespace fuzz
