#include "bench/feed_rigs.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "bench/bench_bodies.h"
#include "news_center/feeds/depth_publisher.h"
#include "news_center/feeds/telegraph_publisher.h"

using hostdouble::Answer;
using hostdouble::Request;

namespace benchrig {
namespace {

// Requests and completions the double records between two resets.
const int kRefreshesBetweenResets = 200;

const int kFirstNormalId = 1000000;
const int kPinnedIds[] = {1, 2};
const int kPinnedScoreId = 50000000;  // far above every normal article

std::unique_ptr<TelegraphRig> g_telegraphRig;
std::unique_ptr<DepthRig> g_depthRig;
int g_depthInformEntries = 0;

}  // namespace

// A refresh thread's first cycle runs as it starts; with nobody subscribed it
// sends nothing, and the thread then sleeps its whole interval.
void LetTheFirstCyclePass() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }

// Publishers are process-wide: a rig of another size needs fresh ones.
void DropRigs() {
    DestroyAllPublisher();
    g_telegraphRig.reset();
    g_depthRig.reset();
    hostdouble::Reset();
}

// --- telegraph -----------------------------------------------------------------

TelegraphRig::TelegraphRig(int cached) : publisher_(GetTelegraphPublisher()) {
    // After its first, idle cycle the publisher's thread sleeps 10 s.
    LetTheFirstCyclePass();
    Install();
    publisher_->Subscribe(&observer_);

    // A first load of 15, newest first, then pages of new telegraphs on top.
    const int firstLoad = 15;
    std::vector<std::string> elements;
    for (int id = firstLoad - 1; id >= 0; --id)
        elements.push_back(benchbody::RollElement("add", id, 1, ++operationTime_));
    hi_ = firstLoad;
    Refresh(benchbody::RollPage(elements));
    Grow(std::max(0, cached - firstLoad));
}

TelegraphRig::~TelegraphRig() {}

void TelegraphRig::Install() {
    benchsupport::ResetDouble([this](const Request& request) { return Serve(request); });
    resetCountdown_ = kRefreshesBetweenResets;
}

std::string TelegraphRig::EmptyPage() { return benchbody::RollPage(std::vector<std::string>()); }

Answer TelegraphRig::Serve(const Request&) {
    if (std::this_thread::get_id() != owner_)
        return Answer::Fail();
    static const std::string empty = EmptyPage();
    std::lock_guard<std::mutex> lock(mutex_);
    if (pageServed_)
        return Answer::Ok(empty);
    pageServed_ = true;
    return Answer::Ok(page_);
}

void TelegraphRig::Prepare(const std::string& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    page_ = page;
    pageServed_ = false;
}

void TelegraphRig::Run() {
    // Should the publisher's own thread be mid-cycle, the posted refresh returns
    // at once without notifying this thread: post again.
    const unsigned long long before = observer_.ownUpdates();
    do {
        publisher_->Refresh();
        hostdouble::RunPendingTasks();
    } while (observer_.ownUpdates() == before);
}

void TelegraphRig::Grow(int count) {
    while (count > 0) {
        const int n = std::min(99, count);  // below 100: no second page
        std::vector<std::string> elements;
        for (int i = 0; i < n; ++i)
            elements.push_back(benchbody::RollElement("add", hi_ + i, 1, ++operationTime_));
        hi_ += n;
        count -= n;
        Refresh(benchbody::RollPage(elements));
        if (--resetCountdown_ <= 0)
            Install();
    }
}

std::string TelegraphRig::NextPage() {
    if (--resetCountdown_ <= 0)
        Install();
    std::vector<std::string> elements;
    for (int i = 0; i < 40; ++i) {
        elements.push_back(benchbody::RollElement("add", hi_ + i, 1, ++operationTime_));
        elements.push_back(benchbody::RollElement("del", lo_ + i, 0, ++operationTime_));
    }
    for (int i = 0; i < 15; ++i)
        elements.push_back(benchbody::RollElement("modify", hi_ - 15 + i, 1, ++operationTime_));
    for (int i = 35; i < 40; ++i)
        elements.push_back(benchbody::RollElement("modify", hi_ + i, 1, ++operationTime_));
    lo_ += 40;
    hi_ += 40;
    return benchbody::RollPage(elements);
}

// --- depth ---------------------------------------------------------------------

DepthRig::DepthRig(int cached, int informEntries) : publisher_(GetDepthPublisher()), informEntries_(informEntries) {
    LetTheFirstCyclePass();
    Install();
    publisher_->Subscribe(&observer_);

    // The first cycle takes its page as it stands (no inform-modify yet).
    lo_ = kFirstNormalId;
    hi_ = kFirstNormalId + 18;
    std::vector<std::string> articles(1, PinnedArticles());
    for (int id = hi_ - 1; id >= lo_; --id)
        articles.push_back(NormalArticle(id));
    Refresh(benchbody::DepthPage(articles), std::string());

    Grow(cached - this->cached());
}

void DepthRig::Grow(int count) {
    while (count > 0) {
        const int n = std::min(20, count);
        count -= n;
        std::vector<std::string> older;
        for (int i = 1; i <= n; ++i)
            older.push_back(NormalArticle(lo_ - i));
        lo_ -= n;
        publisher_->RequestEarlierDepth([](const std::list<DepthArticle>&) {});
        hostdouble::CompleteNext(true, benchbody::DepthPage(older));
        if (--resetCountdown_ <= 0)
            Install();
    }
}

DepthRig::~DepthRig() {}

void DepthRig::Install() {
    benchsupport::ResetDouble([this](const Request& request) { return Serve(request); });
    resetCountdown_ = kRefreshesBetweenResets;
}

std::string DepthRig::NormalArticle(int id) const {
    return benchbody::DepthArticle(id, benchbody::ScoreOf(id), false);
}

std::string DepthRig::PinnedArticles() const {
    std::string pinned;
    for (int id : kPinnedIds) {
        if (!pinned.empty())
            pinned += ',';
        pinned += benchbody::DepthArticle(id, benchbody::ScoreOf(kPinnedScoreId + id), true);
    }
    return pinned;
}

Answer DepthRig::Serve(const Request& request) {
    if (std::this_thread::get_id() != owner_)
        return Answer::Fail();
    std::lock_guard<std::mutex> lock(mutex_);
    if (request.path == "/pc/information/get_depth")
        return Answer::Ok(depthPage_);
    static const std::string empty = benchbody::InformPage(std::vector<std::string>());
    if (informServed_)
        return Answer::Ok(empty);
    informServed_ = true;
    return Answer::Ok(informPage_);
}

void DepthRig::NextAnswers(std::string& depthPage, std::string& informPage) {
    if (--resetCountdown_ <= 0)
        Install();
    std::vector<std::string> articles(1, PinnedArticles());
    for (int id = hi_ + 4; id >= hi_ - 13; --id)
        articles.push_back(NormalArticle(id));
    std::vector<std::string> entries;
    for (int id = lo_; id < lo_ + 5; ++id) {
        entries.push_back(benchbody::InformEntry("del", id, 2, ++operationTime_,
                                                 benchbody::DepthArticle(id, benchbody::ScoreOf(id), false, 0)));
    }
    for (int k = 0; k < informEntries_ - 5; ++k) {
        const int id = hi_ - 1 - k;
        entries.push_back(benchbody::InformEntry("modify", id, 2, ++operationTime_, NormalArticle(id)));
    }
    lo_ += 5;
    hi_ += 5;
    depthPage = benchbody::DepthPage(articles);
    informPage = benchbody::InformPage(entries);
}

void DepthRig::Prepare(const std::string& depthPage, const std::string& informPage) {
    std::lock_guard<std::mutex> lock(mutex_);
    depthPage_ = depthPage;
    informPage_ = informPage;
    informServed_ = informPage.empty();
}

void DepthRig::Run() {
    const unsigned long long before = observer_.ownUpdates();
    do {
        publisher_->Refresh();
        hostdouble::RunPendingTasks();
    } while (observer_.ownUpdates() == before);
}

TelegraphRig& TelegraphRigOf(int cached) {
    if (!g_telegraphRig || g_telegraphRig->cached() != cached) {
        DropRigs();
        g_telegraphRig.reset(new TelegraphRig(cached));
    }
    g_telegraphRig->Install();
    return *g_telegraphRig;
}

DepthRig& DepthRigOf(int cached, int informEntries) {
    if (!g_depthRig || g_depthRig->cached() != cached || g_depthInformEntries != informEntries) {
        DropRigs();
        g_depthRig.reset(new DepthRig(cached, informEntries));
        g_depthInformEntries = informEntries;
    }
    g_depthRig->Install();
    return *g_depthRig;
}

}  // namespace benchrig
