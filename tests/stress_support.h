#pragma once

// Subscribers of every kind that count their calls, one request of every kind, delivery of whatever is pending.

#include <atomic>
#include <list>
#include <mutex>
#include <string>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace stress {

// Set on the test's threads and those that run posted tasks; a feed's own thread never sets it.
inline thread_local bool t_host = false;

// Counts calls, those on a host thread, and the strays: calls after the Unsubscribe or Detach that removed it
// returned, or after teardown.
class Gate {
public:
    void Open() { open_ = true; }
    void Close() { open_ = false; }
    void Call() { ++calls_, hostCalls_ += t_host, strays_ += open_ ? 0 : 1; }
    int calls() const { return calls_; }
    int hostCalls() const { return hostCalls_; }
    int strays() const { return strays_; }

private:
    std::atomic<bool> open_{true};
    std::atomic<int> calls_{0}, hostCalls_{0}, strays_{0};
};

// Subscribes to any feed or subject.
struct Watcher : Gate,
                 ITelegraphObserver,
                 IDepthObserver,
                 IUpdate1<StockNewsInfo>,
                 IUpdate1<StockAnnouncement>,
                 IUpdate1<StockUnusualTradingInfo>,
                 IUpdate1<std::list<InformationEssence> >,
                 IUpdate1<StockLandMine> {
    void OnTelegraphRefreshBegin() override { Call(); }
    void OnTelegraphUpdate(bool, const TelegraphUpdate&) override { Call(); }
    void OnTelegraphCountersUpdate(CountInfoMap) override { Call(); }
    void OnDepthRefreshBegin() override { Call(); }
    void OnDepthUpdate(bool, const DepthUpdate&) override { Call(); }
    void OnDepthCountersUpdate(CountInfoMap) override { Call(); }
    void Update(const StockNewsInfo&) override { Call(); }
    void Update(const StockAnnouncement&) override { Call(); }
    void Update(const StockUnusualTradingInfo&) override { Call(); }
    void Update(const std::list<InformationEssence>&) override { Call(); }
    void Update(const StockLandMine&) override { Call(); }
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
    Watcher telegraph, depth, stockNews, announcement, unusualTrading, essence, landMine;

    Gate* gates[7] = {&telegraph, &depth, &stockNews, &announcement, &unusualTrading, &essence, &landMine};
    void Close() {
        for (Gate* gate : gates) gate->Close();
    }
    int strays() const {
        int total = 0;
        for (const Gate* gate : gates) total += gate->strays();
        return total;
    }
    void Subscribe(const Publishers& p) {
        for (Gate* gate : gates) gate->Open();
        p.telegraph->Subscribe(&telegraph);
        p.depth->Subscribe(&depth);
        p.stockNews->Attach(&stockNews);
        p.announcement->Attach(&announcement);
        p.unusualTrading->Attach(&unusualTrading);
        p.essence->Attach(&essence);
        p.landMine->Attach(&landMine);
    }
    // Closes each gate as soon as its publisher has let go of it.
    void Unsubscribe(const Publishers& p) {
        p.telegraph->Unsubscribe(&telegraph);
        telegraph.Close();
        p.depth->Unsubscribe(&depth);
        depth.Close();
        p.stockNews->Detach(&stockNews);
        stockNews.Close();
        p.announcement->Detach(&announcement);
        announcement.Close();
        p.unusualTrading->Detach(&unusualTrading);
        unusualTrading.Close();
        p.essence->Detach(&essence);
        essence.Close();
        p.landMine->Detach(&landMine);
        landMine.Close();
    }
};

// Callbacks bound to a publisher's state, and those of the stateless timeline, which answers after teardown.
struct CallbackGates {
    Gate callbacks, timeline;
};

// One request of every kind; returns the calls of `gates.callbacks` due (the timeline's three come on top).
inline int RequestEverything(const Publishers& p, CallbackGates& gates, int serial) {
    const auto in = [gate = &gates.callbacks](auto&&...) { gate->Call(); };
    const auto timeline = [gate = &gates.timeline](auto&&...) { gate->Call(); };
    const std::wstring stock = serial % 2 ? L"600000" : L"000001";
    p.telegraph->RequestEarlierTelegraph(static_cast<unsigned long long>(serial), in);
    p.telegraph->Refresh();
    p.depth->RequestEarlierDepth(in);
    p.depth->Refresh();
    p.exclusive->RequestColumnList(in);
    p.exclusive->RequestArticleList(1 + serial % 3, in);
    p.exclusive->RequestEarlierArticleList(1 + serial % 3, 5, in);
    p.exclusive->RequestArticleListOperation(1 + serial % 3, in);
    p.timeline->RequestReddot(L"2026-12-01", L"2026-12-31", timeline);
    p.timeline->RequestEventList(L"2026-12-06", timeline);
    p.timeline->RequestEventDetail(7, timeline);
    p.common->RequestCountInfo({1, 2, static_cast<unsigned int>(serial)}, in);
    p.stockNews->RequestStockNewsList(1, stock, 0, 0, 20);
    p.announcement->RequestStockAnnouncementList(stock, 1, 20);
    p.unusualTrading->FetchStockUnusualTrading(stock);
    p.essence->FetchInformationEssence(0, 0, 50);
    p.landMine->RequestStockLandMineList(stock, 20261201, 20261205);
    return 7;
}

// Answers repeat their ids every kSerials: caches stay small and later answers overlap earlier ones.
const int kSerials = 64;

inline void AnswerSyncRequests() {
    hostdouble::SetSyncHandler([](const hostdouble::Request& request) {
        static std::atomic<int> serial{0};
        return hostdouble::Answer::Ok(body::For(request.path, ++serial % kSerials));
    });
}

// Runs the oldest pending completion, if any; with `failSome` every seventh transfer fails, except the
// counters' (whose failure drops the callback). `take` keeps takers from emptying the queue under each other.
inline bool DeliverOne(std::mutex& take, int serial, bool failSome = false) {
    HttpCompletion completion;
    hostdouble::Request request;
    {
        std::lock_guard<std::mutex> lock(take);
        if (hostdouble::PendingCount() == 0) return false;
        completion = hostdouble::TakeNext(&request);
    }
    const std::string body = body::For(request.path, serial % kSerials);
    const bool fail = failSome && serial % 7 == 0 && request.path != "/pc/information/get_count_by_ids";
    completion(!fail, fail ? nullptr : body.data(), fail ? 0 : static_cast<long long>(body.size()));
    return true;
}

inline bool RunOneTask() {
    const boost::function<void()> task = hostdouble::TakeTask();
    if (task) task();
    return !task.empty();
}

// Completions and tasks until neither is left (a refresh task asks for counters).
inline void DeliverAll(int serial) {
    std::mutex take;
    while (DeliverOne(take, serial) || RunOneTask()) {
    }
}

}  // namespace stress
