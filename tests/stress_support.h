#pragma once

// Shared by the teardown, concurrency and shutdown tests: subscribers of every
// kind that count their calls and the calls that reach them when they should
// not, one request of every kind, and delivery of whatever is pending.

#include <atomic>
#include <list>
#include <mutex>
#include <string>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/bodies.h"
#include "tests/test_support.h"

namespace stress {

// Counts calls, and the stray ones that arrive while closed: after the
// Unsubscribe or Detach that removed it returned, or after teardown.
class Gate {
public:
    void Open() { open_ = true; }
    void Close() { open_ = false; }
    void Call() {
        ++calls_;
        if (!open_)
            ++strays_;
    }
    int calls() const { return calls_; }
    int strays() const { return strays_; }

private:
    std::atomic<bool> open_{true};
    std::atomic<int> calls_{0};
    std::atomic<int> strays_{0};
};

struct TelegraphWatcher : ITelegraphObserver, Gate {
    void OnTelegraphRefreshBegin() override { Call(); }
    void OnTelegraphUpdate(bool, const TelegraphUpdate&) override { Call(); }
    void OnTelegraphCountersUpdate(CountInfoMap) override { Call(); }
};

struct DepthWatcher : IDepthObserver, Gate {
    void OnDepthRefreshBegin() override { Call(); }
    void OnDepthUpdate(bool, const DepthUpdate&) override { Call(); }
    void OnDepthCountersUpdate(CountInfoMap) override { Call(); }
};

template <class T>
struct SubjectWatcher : IUpdate1<T>, Gate {
    void Update(const T&) override { Call(); }
};

// What the factories hand out; a null one (a feed not built yet) is skipped.
struct Publishers {
    ITelegraphPublisher* telegraph = GetTelegraphPublisher();
    IDepthPublisher* depth = GetDepthPublisher();
    ITimelinePublisher* timeline = GetTimelinePublisher();
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    ICommonPublisher* common = GetCommonPublisher();
    IStockNews* stockNews = GetStockNews();
    IStockAnnouncement* announcement = GetStockAnnouncement();
    IStockUnusualTrading* unusualTrading = GetStockUnusualTrading();
    IInformationEssence* essence = GetInformationEssence();
    IStockLandMine* landMine = GetStockLandMine();
};

// One subscriber of each kind.
struct Watchers {
    TelegraphWatcher telegraph;
    DepthWatcher depth;
    SubjectWatcher<StockNewsInfo> stockNews;
    SubjectWatcher<StockAnnouncement> announcement;
    SubjectWatcher<StockUnusualTradingInfo> unusualTrading;
    SubjectWatcher<std::list<InformationEssence> > essence;
    SubjectWatcher<StockLandMine> landMine;

    template <class F>
    void ForEachGate(F f) {
        f(telegraph);
        f(depth);
        f(stockNews);
        f(announcement);
        f(unusualTrading);
        f(essence);
        f(landMine);
    }
    void Open() {
        ForEachGate([](Gate& gate) { gate.Open(); });
    }
    void Close() {
        ForEachGate([](Gate& gate) { gate.Close(); });
    }
    int strays() {
        int total = 0;
        ForEachGate([&total](Gate& gate) { total += gate.strays(); });
        return total;
    }

    void Subscribe(const Publishers& p) {
        Open();
        if (p.telegraph)
            p.telegraph->Subscribe(&telegraph);
        if (p.depth)
            p.depth->Subscribe(&depth);
        if (p.stockNews)
            p.stockNews->Attach(&stockNews);
        if (p.announcement)
            p.announcement->Attach(&announcement);
        if (p.unusualTrading)
            p.unusualTrading->Attach(&unusualTrading);
        if (p.essence)
            p.essence->Attach(&essence);
        if (p.landMine)
            p.landMine->Attach(&landMine);
    }
    // Closes each gate as soon as its publisher has let go of it.
    void Unsubscribe(const Publishers& p) {
        if (p.telegraph)
            p.telegraph->Unsubscribe(&telegraph);
        telegraph.Close();
        if (p.depth)
            p.depth->Unsubscribe(&depth);
        depth.Close();
        Detach(p.stockNews, stockNews);
        Detach(p.announcement, announcement);
        Detach(p.unusualTrading, unusualTrading);
        Detach(p.essence, essence);
        Detach(p.landMine, landMine);
    }

private:
    template <class Publisher, class Watcher>
    static void Detach(Publisher* publisher, Watcher& watcher) {
        if (publisher)
            publisher->Detach(&watcher);
        watcher.Close();
    }
};

// Callbacks handed to the publishers: `callbacks` counts those that reach a
// publisher's state or are bound to it; `timeline` those of the stateless
// timeline, which still answers after teardown.
struct CallbackGates {
    Gate callbacks;
    Gate timeline;
};

// Sends one request of every kind and returns how many callbacks of
// `gates.callbacks` it should bring once every completion is delivered
// successfully (the timeline's three come on top, through `gates.timeline`).
inline int RequestEverything(const Publishers& p, CallbackGates& gates, int serial) {
    Gate* callbacks = &gates.callbacks;
    Gate* timeline = &gates.timeline;
    int expected = 0;
    const int column = 1 + serial % 3;
    const std::wstring stock = serial % 2 ? L"600000" : L"000001";
    if (p.telegraph) {
        p.telegraph->RequestEarlierTelegraph(static_cast<unsigned long long>(serial),
                                             [callbacks](bool, const std::list<TelegraphInfo>&) { callbacks->Call(); });
        p.telegraph->Refresh();
        ++expected;
    }
    if (p.depth) {
        p.depth->RequestEarlierDepth([callbacks](const std::list<DepthArticle>&) { callbacks->Call(); });
        p.depth->Refresh();
        ++expected;
    }
    if (p.exclusive) {
        const auto articles = [callbacks](int, const std::list<ExclusiveArticle>&) { callbacks->Call(); };
        p.exclusive->RequestColumnList([callbacks](const std::list<ExclusiveColumn>&) { callbacks->Call(); });
        p.exclusive->RequestArticleList(column, articles);
        p.exclusive->RequestEarlierArticleList(column, 5, articles);
        p.exclusive->RequestArticleListOperation(column,
                                                 [callbacks](int, const ExclusiveUpdate&) { callbacks->Call(); });
        expected += 4;
    }
    if (p.timeline) {
        p.timeline->RequestReddot(L"2026-12-01", L"2026-12-31",
                                  [timeline](const std::list<TimelineReddot>&) { timeline->Call(); });
        p.timeline->RequestEventList(L"2026-12-06", [timeline](const std::list<TimelineEvent>&) { timeline->Call(); });
        p.timeline->RequestEventDetail(7, [timeline](const TimelineEventDetail&) { timeline->Call(); });
    }
    if (p.common) {
        p.common->RequestCountInfo({1, 2, static_cast<unsigned int>(serial)},
                                   [callbacks](const CountInfoMap&) { callbacks->Call(); });
        ++expected;
    }
    if (p.stockNews)
        p.stockNews->RequestStockNewsList(1, stock, 0, 0, 20);
    if (p.announcement)
        p.announcement->RequestStockAnnouncementList(stock, 1, 20);
    if (p.unusualTrading)
        p.unusualTrading->FetchStockUnusualTrading(stock);
    if (p.essence)
        p.essence->FetchInformationEssence(0, 0, 50);
    if (p.landMine)
        p.landMine->RequestStockLandMineList(stock, 20261201, 20261205);
    return expected;
}

// Answers repeat their ids every kSerials: caches stay small (they have no
// bound of their own) and later answers overlap earlier ones.
const int kSerials = 64;

// GetSync answers every path with a well-formed body.
inline void AnswerSyncRequests() {
    hostdouble::SetSyncHandler([](const hostdouble::Request& request) {
        static std::atomic<int> serial{0};
        return hostdouble::Answer::Ok(body::For(request.path, ++serial % kSerials));
    });
}

// Takes the oldest pending completion, if any, and runs it with a well-formed
// body; with `failSome`, every seventh transfer fails instead, except those of
// the counters (whose failure drops the callback by design). `take` serialises
// takers so none finds the queue emptied under it; the completion runs outside.
inline bool DeliverOne(std::mutex& take, int serial, bool failSome = false) {
    HttpCompletion completion;
    hostdouble::Request request;
    {
        std::lock_guard<std::mutex> lock(take);
        if (hostdouble::PendingCount() == 0)
            return false;
        completion = hostdouble::TakeNext(&request);
    }
    if (failSome && serial % 7 == 0 && request.path != "/pc/information/get_count_by_ids") {
        completion(false, nullptr, 0);
    } else {
        const std::string body = body::For(request.path, serial % kSerials);
        completion(true, body.data(), static_cast<long long>(body.size()));
    }
    return true;
}

inline bool RunOneTask() {
    const boost::function<void()> task = hostdouble::TakeTask();
    if (!task)
        return false;
    task();
    return true;
}

// Completions and tasks, on the calling thread, until neither is left (work may
// bring more work: a refresh task asks for counters).
inline void DeliverAll(int serial) {
    std::mutex take;
    while (DeliverOne(take, serial) || RunOneTask()) {
    }
}

}  // namespace stress
