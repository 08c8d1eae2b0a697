#pragma once

// Subscribers of every kind that count their calls and the stray ones, one
// request of every kind, and delivery of whatever is pending.

#include <atomic>
#include <list>
#include <mutex>
#include <string>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace stress {

// Counts calls, and the strays that arrive while closed: after the Unsubscribe
// or Detach that removed it returned, or after teardown.
class Gate {
public:
    void Open() { open_ = true; }
    void Close() { open_ = false; }
    void Call() {
        ++calls_;
        strays_ += open_ ? 0 : 1;
    }
    int calls() const { return calls_; }
    int strays() const { return strays_; }

private:
    std::atomic<bool> open_{true};
    std::atomic<int> calls_{0}, strays_{0};
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
        f(telegraph), f(depth), f(stockNews), f(announcement), f(unusualTrading), f(essence), f(landMine);
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
        p.telegraph->Subscribe(&telegraph);
        p.depth->Subscribe(&depth);
        p.stockNews->Attach(&stockNews), p.announcement->Attach(&announcement);
        p.unusualTrading->Attach(&unusualTrading), p.essence->Attach(&essence), p.landMine->Attach(&landMine);
    }
    // Closes each gate as soon as its publisher has let go of it.
    void Unsubscribe(const Publishers& p) {
        p.telegraph->Unsubscribe(&telegraph), telegraph.Close();
        p.depth->Unsubscribe(&depth), depth.Close();
        p.stockNews->Detach(&stockNews), stockNews.Close();
        p.announcement->Detach(&announcement), announcement.Close();
        p.unusualTrading->Detach(&unusualTrading), unusualTrading.Close();
        p.essence->Detach(&essence), essence.Close();
        p.landMine->Detach(&landMine), landMine.Close();
    }
};

// `callbacks` counts the callbacks bound to a publisher's state; `timeline`
// those of the stateless timeline, which still answers after teardown.
struct CallbackGates {
    Gate callbacks;
    Gate timeline;
};

// One request of every kind; returns how many calls of `gates.callbacks` they
// bring once every completion is delivered (the timeline's three come on top).
inline int RequestEverything(const Publishers& p, CallbackGates& gates, int serial) {
    Gate* in = &gates.callbacks;
    Gate* timeline = &gates.timeline;
    const int column = 1 + serial % 3;
    const std::wstring stock = serial % 2 ? L"600000" : L"000001";
    const auto articles = [in](int, const std::list<ExclusiveArticle>&) { in->Call(); };
    p.telegraph->RequestEarlierTelegraph(serial, [in](bool, const std::list<TelegraphInfo>&) { in->Call(); });
    p.telegraph->Refresh();
    p.depth->RequestEarlierDepth([in](const std::list<DepthArticle>&) { in->Call(); });
    p.depth->Refresh();
    p.exclusive->RequestColumnList([in](const std::list<ExclusiveColumn>&) { in->Call(); });
    p.exclusive->RequestArticleList(column, articles);
    p.exclusive->RequestEarlierArticleList(column, 5, articles);
    p.exclusive->RequestArticleListOperation(column, [in](int, const ExclusiveUpdate&) { in->Call(); });
    p.timeline->RequestReddot(L"2026-12-01", L"2026-12-31", [timeline](const std::list<TimelineReddot>&) {
        timeline->Call();
    });
    p.timeline->RequestEventList(L"2026-12-06", [timeline](const std::list<TimelineEvent>&) { timeline->Call(); });
    p.timeline->RequestEventDetail(7, [timeline](const TimelineEventDetail&) { timeline->Call(); });
    p.common->RequestCountInfo({1, 2, static_cast<unsigned int>(serial)}, [in](const CountInfoMap&) { in->Call(); });
    p.stockNews->RequestStockNewsList(1, stock, 0, 0, 20);
    p.announcement->RequestStockAnnouncementList(stock, 1, 20);
    p.unusualTrading->FetchStockUnusualTrading(stock);
    p.essence->FetchInformationEssence(0, 0, 50);
    p.landMine->RequestStockLandMineList(stock, 20261201, 20261205);
    return 7;
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

// Runs the oldest pending completion, if any, with a well-formed body; with
// `failSome`, every seventh transfer fails, except the counters' (whose failure
// drops the callback by design). `take` keeps takers from emptying the queue
// under each other; the completion runs outside it.
inline bool DeliverOne(std::mutex& take, int serial, bool failSome = false) {
    HttpCompletion completion;
    hostdouble::Request request;
    {
        std::lock_guard<std::mutex> lock(take);
        if (hostdouble::PendingCount() == 0)
            return false;
        completion = hostdouble::TakeNext(&request);
    }
    const std::string body = body::For(request.path, serial % kSerials);
    if (failSome && serial % 7 == 0 && request.path != "/pc/information/get_count_by_ids")
        completion(false, nullptr, 0);
    else
        completion(true, body.data(), static_cast<long long>(body.size()));
    return true;
}

inline bool RunOneTask() {
    const boost::function<void()> task = hostdouble::TakeTask();
    if (task)
        task();
    return !task.empty();
}

// Completions and tasks, on the calling thread, until neither is left (a
// refresh task asks for counters).
inline void DeliverAll(int serial) {
    std::mutex take;
    while (DeliverOne(take, serial) || RunOneTask()) {
    }
}

}  // namespace stress
