#pragma once

// Where the library's threads meet the GUI thread. Observers, subscribers and
// callbacks run on library threads with the publishers' locks held, so each one
// here only copies what it is handed and posts it, queued, to the bridge's own
// (GUI) thread; the signals are emitted there. Panes connect to the signals
// with plain connections and never see a library thread. Requests are made
// from the GUI thread, never from inside a notification.

#include <list>

#include <QObject>
#include <QString>

#include "news_center/news_center.h"

namespace newsboard {

class LibraryBridge : public QObject,
                      private ITelegraphObserver,
                      private IDepthObserver,
                      private IUpdate1<std::list<InformationEssence> >,
                      private IUpdate1<StockAnnouncement>,
                      private IUpdate1<StockLandMine>,
                      private IUpdate1<StockNewsInfo>,
                      private IUpdate1<StockUnusualTradingInfo> {
    Q_OBJECT
public:
    explicit LibraryBridge(QObject* parent = nullptr);
    // Shuts the library down (see Shutdown): its callbacks point here.
    ~LibraryBridge() override;

    // Subscribes to the feeds that push (telegraph, depth, essence, the four
    // stock feeds) and asks the refreshing ones for their first load at once.
    void Start();
    // Stops listening, stops the host (requests in flight are abandoned, queued
    // tasks dropped) and destroys the publishers. Once it returns no library
    // thread calls the bridge; already posted deliveries still arrive. The host
    // stays stopped for the rest of the process. Idempotent.
    void Shutdown();

    void RefreshTelegraph();
    void RequestEarlierTelegraph(unsigned long long below);
    void RefreshDepth();
    void RequestEarlierDepth();
    void RequestColumns();
    void RequestColumnPage(int columnId);
    void RequestEarlierColumnPage(int columnId, unsigned long long below);
    void RequestColumnChanges(int columnId);
    void RequestArticleCounters(const std::vector<unsigned int>& ids);
    void FetchEssence();
    void RequestReddot(const QString& firstDate, const QString& lastDate);
    void RequestEvents(const QString& date);
    void RequestEventDetail(int eventId);
    // The four stock feeds of `code`.
    void RequestStock(const QString& code);

signals:
    void telegraphUpdated(bool failed, const TelegraphUpdate& changes);
    void telegraphCounters(const CountInfoMap& counters);
    void earlierTelegraphs(bool failed, const std::list<TelegraphInfo>& page);
    void depthUpdated(bool failed, const DepthUpdate& changes);
    void depthCounters(const CountInfoMap& counters);
    void earlierDepth(const std::list<DepthArticle>& page);
    void columnsArrived(const std::list<ExclusiveColumn>& columns);
    void columnPageArrived(int columnId, const std::list<ExclusiveArticle>& page);
    void earlierColumnPage(int columnId, const std::list<ExclusiveArticle>& page);
    void columnChanged(int columnId, const ExclusiveUpdate& changes);
    void articleCounters(const CountInfoMap& counters);
    void essenceArrived(const std::list<InformationEssence>& digest);
    void reddotArrived(const std::list<TimelineReddot>& dates);
    void eventsArrived(const QString& date, const std::list<TimelineEvent>& events);
    void eventDetailArrived(const TimelineEventDetail& detail);
    void announcementsArrived(const StockAnnouncement& value);
    void landMinesArrived(const StockLandMine& value);
    void stockNewsArrived(const StockNewsInfo& value);
    void unusualTradingArrived(const StockUnusualTradingInfo& value);

private:
    // Runs `deliver` on the bridge's thread, later; `deliver` holds copies only.
    template <class Delivery>
    void Post(Delivery deliver) {
        QMetaObject::invokeMethod(this, std::move(deliver), Qt::QueuedConnection);
    }

    void OnTelegraphRefreshBegin() override {}
    void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) override;
    void OnTelegraphCountersUpdate(CountInfoMap counters) override;
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override;
    void OnDepthCountersUpdate(CountInfoMap counters) override;
    void Update(const std::list<InformationEssence>& value) override;
    void Update(const StockAnnouncement& value) override;
    void Update(const StockLandMine& value) override;
    void Update(const StockNewsInfo& value) override;
    void Update(const StockUnusualTradingInfo& value) override;

    ITelegraphPublisher* telegraph_;
    IDepthPublisher* depth_;
    IExclusivePublisher* exclusive_;
    ICommonPublisher* counters_;
    IInformationEssence* essence_;
    ITimelinePublisher* timeline_;
    IStockAnnouncement* announcements_;
    IStockLandMine* landMines_;
    IStockNews* stockNews_;
    IStockUnusualTrading* unusualTrading_;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace newsboard
