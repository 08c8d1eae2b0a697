#include "tools/newsboard/library_bridge.h"

#include <string>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "tools/newsboard/row_list.h"

namespace newsboard {

namespace {

// As many as the publisher's own refreshes ask for, so every answer is the same list.
constexpr unsigned int kEssencePage = 50;
constexpr unsigned int kAnnouncementPage = 20;
constexpr unsigned int kStockNewsPage = 20;
constexpr unsigned int kStockNewsType = 1;
constexpr int kLandMineDays = 180;

unsigned long DateNumber(const QDate& date) {
    return static_cast<unsigned long>(date.year() * 10000 + date.month() * 100 + date.day());
}

}  // namespace

LibraryBridge::LibraryBridge(QObject* parent)
    : QObject(parent),
      telegraph_(GetTelegraphPublisher()),
      depth_(GetDepthPublisher()),
      exclusive_(GetExclusivePublisher()),
      counters_(GetCommonPublisher()),
      essence_(GetInformationEssence()),
      timeline_(GetTimelinePublisher()),
      announcements_(GetStockAnnouncement()),
      landMines_(GetStockLandMine()),
      stockNews_(GetStockNews()),
      unusualTrading_(GetStockUnusualTrading()) {}

LibraryBridge::~LibraryBridge() { Shutdown(); }

void LibraryBridge::Start() {
    if (started_ || shutDown_) return;
    started_ = true;
    telegraph_->Subscribe(this);
    telegraph_->Refresh();  // its own poll would take up to 10 s
    depth_->Subscribe(this);
    depth_->Refresh();      // and this one ten minutes
    essence_->Attach(this);  // the publisher fetched its list when it was created
    announcements_->Attach(this);
    landMines_->Attach(this);
    stockNews_->Attach(this);
    unusualTrading_->Attach(this);
}

void LibraryBridge::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (started_) {
        telegraph_->Unsubscribe(this);
        depth_->Unsubscribe(this);
        essence_->Detach(this);
        announcements_->Detach(this);
        landMines_->Detach(this);
        stockNews_->Detach(this);
        unusualTrading_->Detach(this);
    }
    // Requests in flight are abandoned and their completions (timeline ones
    // included) have returned; then no queued refresh starts and a running one
    // ends; then nothing is left for the teardown to wait for.
    netwk::Stop();
    base::TaskManagerInstance().Stop();
    DestroyAllPublisher();
}

// ---------------------------------------------------------------------------
// Requests, on the GUI thread.

void LibraryBridge::RefreshTelegraph() {
    if (!shutDown_) telegraph_->Refresh();
}

void LibraryBridge::RequestEarlierTelegraph(unsigned long long below) {
    if (shutDown_) return;
    telegraph_->RequestEarlierTelegraph(below, [this](bool failed, const std::list<TelegraphInfo>& page) {
        Post([this, failed, page] { emit earlierTelegraphs(failed, page); });
    });
}

void LibraryBridge::RefreshDepth() {
    if (!shutDown_) depth_->Refresh();
}

void LibraryBridge::RequestEarlierDepth() {
    if (shutDown_) return;
    depth_->RequestEarlierDepth(
        [this](const std::list<DepthArticle>& page) { Post([this, page] { emit earlierDepth(page); }); });
}

void LibraryBridge::RequestColumns() {
    if (shutDown_) return;
    exclusive_->RequestColumnList(
        [this](const std::list<ExclusiveColumn>& columns) { Post([this, columns] { emit columnsArrived(columns); }); });
}

void LibraryBridge::RequestColumnPage(int columnId) {
    if (shutDown_) return;
    exclusive_->RequestArticleList(columnId, [this](int column, const std::list<ExclusiveArticle>& page) {
        Post([this, column, page] { emit columnPageArrived(column, page); });
    });
}

void LibraryBridge::RequestEarlierColumnPage(int columnId, unsigned long long below) {
    if (shutDown_) return;
    exclusive_->RequestEarlierArticleList(columnId, below, [this](int column, const std::list<ExclusiveArticle>& page) {
        Post([this, column, page] { emit earlierColumnPage(column, page); });
    });
}

void LibraryBridge::RequestColumnChanges(int columnId) {
    if (shutDown_) return;
    exclusive_->RequestArticleListOperation(columnId, [this](int column, const ExclusiveUpdate& changes) {
        Post([this, column, changes] { emit columnChanged(column, changes); });
    });
}

void LibraryBridge::RequestArticleCounters(const std::vector<unsigned int>& ids) {
    if (shutDown_ || ids.empty()) return;
    counters_->RequestCountInfo(
        ids, [this](const CountInfoMap& counters) { Post([this, counters] { emit articleCounters(counters); }); });
}

void LibraryBridge::FetchEssence() {
    if (!shutDown_) essence_->FetchInformationEssence(0, 0, kEssencePage);
}

void LibraryBridge::RequestReddot(const QString& firstDate, const QString& lastDate) {
    if (shutDown_) return;
    timeline_->RequestReddot(firstDate.toStdWString().c_str(), lastDate.toStdWString().c_str(),
                             [this](const std::list<TimelineReddot>& dates) {
                                 Post([this, dates] { emit reddotArrived(dates); });
                             });
}

void LibraryBridge::RequestEvents(const QString& date) {
    if (shutDown_) return;
    timeline_->RequestEventList(date.toStdWString().c_str(), [this, date](const std::list<TimelineEvent>& events) {
        Post([this, date, events] { emit eventsArrived(date, events); });
    });
}

void LibraryBridge::RequestEventDetail(int eventId) {
    if (shutDown_) return;
    timeline_->RequestEventDetail(static_cast<unsigned int>(eventId), [this](const TimelineEventDetail& detail) {
        Post([this, detail] { emit eventDetailArrived(detail); });
    });
}

void LibraryBridge::RequestStock(const QString& code) {
    if (shutDown_) return;
    const std::wstring stock = code.toStdWString();
    const QDate today = ServiceToday();
    announcements_->RequestStockAnnouncementList(stock, 1, kAnnouncementPage);
    landMines_->RequestStockLandMineList(stock, DateNumber(today.addDays(-kLandMineDays)), DateNumber(today));
    stockNews_->RequestStockNewsList(kStockNewsType, stock, 0, 0, kStockNewsPage);
    unusualTrading_->FetchStockUnusualTrading(stock);
}

// ---------------------------------------------------------------------------
// Notifications, on library threads with the publishers' locks held: copy and post.

void LibraryBridge::OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) {
    Post([this, failed, changes] { emit telegraphUpdated(failed, changes); });
}

void LibraryBridge::OnTelegraphCountersUpdate(CountInfoMap counters) {
    Post([this, counters] { emit telegraphCounters(counters); });
}

void LibraryBridge::OnDepthUpdate(bool failed, const DepthUpdate& changes) {
    Post([this, failed, changes] { emit depthUpdated(failed, changes); });
}

void LibraryBridge::OnDepthCountersUpdate(CountInfoMap counters) {
    Post([this, counters] { emit depthCounters(counters); });
}

void LibraryBridge::Update(const std::list<InformationEssence>& value) {
    Post([this, value] { emit essenceArrived(value); });
}

void LibraryBridge::Update(const StockAnnouncement& value) {
    Post([this, value] { emit announcementsArrived(value); });
}

void LibraryBridge::Update(const StockLandMine& value) {
    Post([this, value] { emit landMinesArrived(value); });
}

void LibraryBridge::Update(const StockNewsInfo& value) {
    Post([this, value] { emit stockNewsArrived(value); });
}

void LibraryBridge::Update(const StockUnusualTradingInfo& value) {
    Post([this, value] { emit unusualTradingArrived(value); });
}

}  // namespace newsboard
