#include "tools/lxnews/feed_requests.h"

#include <cwchar>

#include "host/lx_common.h"

namespace lxnews {

namespace {

constexpr auto kPeriod = std::chrono::seconds(10);  // depth and column refresh, as often as the telegraph polls
constexpr auto kPageBackAfter = std::chrono::seconds(3);
constexpr int kLandMineDays = 180;

std::wstring DateText(unsigned int date) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%04u-%02u-%02u", date / 10000, date / 100 % 100, date % 100);
    return buf;
}

unsigned int DaysBefore(unsigned int date, int days) {
    return common::ServerDateOfDay(common::ServerDayOf(common::DateToTime(date, 12, 0, 0)) - days);
}

}  // namespace

FeedRequests::FeedRequests(Console& console, const std::string& stock)
    : console_(console),
      stock_(stock.begin(), stock.end()),
      counters_(console),
      telegraph_(console, counters_),
      depth_(console, counters_),
      exclusive_(console, counters_),
      timeline_(console),
      essence_(console, "essence"),
      announcements_(console, "announcements"),
      landMines_(console, "land-mines"),
      stockNews_(console, "stock-news"),
      unusual_(console, "unusual-trading") {}

void FeedRequests::Start() {
    start_ = Clock::now();
    nextPeriod_ = start_ + kPeriod;
    const auto missing = [this](const char* feed) { console_.Note(feed, "feed not available"); };
    if (ITelegraphPublisher* telegraphs = GetTelegraphPublisher()) {
        telegraph_.handOver.During([&] { telegraphs->Subscribe(&telegraph_); });
        telegraphs->Refresh();  // the thread's own poll would wait up to 10 s
    } else {
        missing("telegraph");
    }
    if (IDepthPublisher* depths = GetDepthPublisher()) {
        depth_.handOver.During([&] { depths->Subscribe(&depth_); });
        depths->Refresh();
    } else {
        missing("depth");
    }
    if (IExclusivePublisher* columns = GetExclusivePublisher())
        columns->RequestColumnList([this](const std::list<ExclusiveColumn>& list) { exclusive_.OnColumns(list); });
    else
        missing("exclusive");
    if (ITimelinePublisher* timelines = GetTimelinePublisher()) {
        const unsigned int today = common::GetCurrentServerDate();
        const std::wstring first = DateText(today / 100 * 100 + 1), last = DateText(today);
        timelines->RequestReddot(first.c_str(), last.c_str(),
                                 [this](const std::list<TimelineReddot>& dates) { timeline_.OnReddot(dates); });
        timelines->RequestEventList(last.c_str(),
                                    [this](const std::list<TimelineEvent>& events) { timeline_.OnEvents(events); });
    } else {
        missing("timeline");
    }
    if (!GetCommonPublisher()) missing("counters");
    // The essence fetches its list as it is created; a request of our own would race that
    // fetch, and the list held at the end would depend on which answer came last.
    if (IInformationEssence* essences = GetInformationEssence())
        essence_.handOver.During([&] { essences->Attach(&essence_); });
    else
        missing("essence");
    StartStockFeeds();
}

void FeedRequests::StartStockFeeds() {
    if (IStockAnnouncement* notices = GetStockAnnouncement()) {
        announcements_.handOver.During([&] { notices->Attach(&announcements_); });
        notices->RequestStockAnnouncementList(stock_, 1, 20);
    } else {
        console_.Note("announcements", "feed not available");
    }
    if (IStockLandMine* mines = GetStockLandMine()) {
        // The request first resets the subscribers' value on this thread.
        landMines_.handOver.During([&] {
            mines->Attach(&landMines_);
            mines->RequestStockLandMineList(stock_, DaysBefore(common::GetCurrentServerDate(), kLandMineDays), 0);
        });
    } else {
        console_.Note("land-mines", "feed not available");
    }
    if (IStockNews* news = GetStockNews()) {
        stockNews_.handOver.During([&] { news->Attach(&stockNews_); });
        news->RequestStockNewsList(1, stock_, 0, 0, 20);
    } else {
        console_.Note("stock-news", "feed not available");
    }
    if (IStockUnusualTrading* dragons = GetStockUnusualTrading()) {
        unusual_.handOver.During([&] { dragons->Attach(&unusual_); });
        dragons->FetchStockUnusualTrading(stock_);
    } else {
        console_.Note("unusual-trading", "feed not available");
    }
}

void FeedRequests::FollowUp() {
    const Clock::time_point now = Clock::now();
    const bool pageBackTime = now >= start_ + kPageBackAfter;
    IExclusivePublisher* columns = GetExclusivePublisher();
    const int column = exclusive_.firstColumn();
    if (columns && column != 0 && !pageRequested_) {
        pageRequested_ = true;
        columns->RequestArticleList(
            column, [this](int id, const std::list<ExclusiveArticle>& page) { exclusive_.OnPage(id, page); });
    }
    const std::vector<unsigned int> pageIds = exclusive_.TakePageIds();
    ICommonPublisher* counters = GetCommonPublisher();
    if (counters && !pageIds.empty())
        counters->RequestCountInfo(pageIds, [this](const CountInfoMap& map) { exclusive_.OnCounters(map); });
    ITimelinePublisher* timelines = GetTimelinePublisher();
    if (timelines && timeline_.firstEvent() != 0 && !detailRequested_) {
        detailRequested_ = true;
        timelines->RequestEventDetail(static_cast<unsigned int>(timeline_.firstEvent()),
                                      [this](const TimelineEventDetail& detail) { timeline_.OnDetail(detail); });
    }
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    if (telegraphs && pageBackTime && !telegraphPaged_ && telegraph_.hasItems()) {
        telegraphPaged_ = true;
        telegraphs->RequestEarlierTelegraph(telegraph_.floor(), [this](bool failed, const std::list<TelegraphInfo>& page) {
            telegraph_.OnOlderPage(failed, page);
        });
    }
    IDepthPublisher* depths = GetDepthPublisher();
    if (depths && pageBackTime && !depthPaged_ && depth_.hasItems()) {
        depthPaged_ = true;
        depths->RequestEarlierDepth([this](const std::list<DepthArticle>& page) { depth_.OnOlderPage(page); });
    }
    if (now >= nextPeriod_) {
        nextPeriod_ += kPeriod;
        if (depths) depths->Refresh();
        if (columns && column != 0)
            columns->RequestArticleListOperation(
                column, [this](int id, const ExclusiveUpdate& update) { exclusive_.OnUpdate(id, update); });
    }
}

}  // namespace lxnews
