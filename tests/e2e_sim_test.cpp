// End to end over loopback: lx_news_center with the real host libraries against
// the news-service simulator running in this process. The healthy runs freeze the
// world (no tick timer) and move it with Advance; the fault run at the end lets
// it move while the service misbehaves, then checks the same views.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <shared_mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "news_center/news_center.h"
#include "tests/sim_test_support.h"
#include "tools/lxnews/feed_views.h"
#include "tools/news_service_sim/sim_server.h"

namespace {

using namespace e2e;

bool OlderTelegraphs(ITelegraphPublisher* telegraphs, unsigned long long floor,
                     std::pair<bool, std::list<TelegraphInfo> >& failedAndPage) {
    return Await<std::pair<bool, std::list<TelegraphInfo> > >(
        [&](auto done) {
            telegraphs->RequestEarlierTelegraph(floor, [done](bool failed, const std::list<TelegraphInfo>& page) {
                done({failed, page});
            });
        },
        failedAndPage);
}

// The exclusive column's calls, waiting for their callbacks (made also when the request failed).
bool FirstPage(IExclusivePublisher* exclusive, int column, std::list<ExclusiveArticle>& page) {
    return Await<std::list<ExclusiveArticle> >(
        [&](auto done) { exclusive->RequestArticleList(column, [done](int, const std::list<ExclusiveArticle>& p) { done(p); }); },
        page);
}
bool OlderPage(IExclusivePublisher* exclusive, int column, unsigned long long floor, std::list<ExclusiveArticle>& page) {
    return Await<std::list<ExclusiveArticle> >(
        [&](auto done) {
            exclusive->RequestEarlierArticleList(column, floor,
                                                 [done](int, const std::list<ExclusiveArticle>& p) { done(p); });
        },
        page);
}
bool ColumnUpdate(IExclusivePublisher* exclusive, int column, ExclusiveUpdate& update) {
    return Await<ExclusiveUpdate>(
        [&](auto done) { exclusive->RequestArticleListOperation(column, [done](int, const ExclusiveUpdate& u) { done(u); }); },
        update);
}

// Served answers that several tests compare with.
class E2eTest : public SimTest {
protected:
    QJsonArray ServedLandMines(const std::string& code, unsigned int first, unsigned int last) {
        return ServedList(L"/pc/rt/stock_landmine", {{"stock", code},
                                                     {"start", std::to_string(common::DateToTime(first, 0, 0, 0))},
                                                     {"end", std::to_string(common::DateToTime(last, 23, 59, 59))}});
    }
    QJsonArray ServedStockNews(const std::string& code) {
        return ServedList(L"/v1/market/get_list", {{"unique_key", code}, {"type", "2"}, {"last_time", "0"},
                                                   {"refresh_type", "0"}, {"rn", "10"}, {"time", "0"}});
    }
    QJsonObject ServedDragon(const std::string& code) {
        return ServedList(L"/pc/rt/stock_dragon", {{"stock_arr", "[\"" + code + "\"]"}}).first().toObject();
    }
    // Essence records by member name; ascending as strings is the delivery order.
    QJsonObject ServedEssence() {
        return Fetch(L"/pc/information/sum_article_list", {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}})
            .value("data").toObject().value("list").toObject();
    }
};

// ---------------------------------------------------------------------------
// Each publisher receives what the simulator serves.

TEST_F(E2eTest, CounterPublisherDeliversTheServedCounters_Sim) {
    ICommonPublisher* counters = GetCommonPublisher();
    SKIP_IF_MISSING(counters);
    CountInfoMap got;
    ASSERT_TRUE(Await<CountInfoMap>([&](auto done) { counters->RequestCountInfo({880001, 0, 510003, 42}, done); }, got));

    const QJsonObject served =
        Fetch(L"/pc/information/get_count_by_ids", {{"ids", "880001,510003,42"}, {"time", "0"}}).value("data").toObject();
    const QJsonObject reading = served.value("reading_num").toObject();
    const QJsonObject comment = served.value("comment_num").toObject();
    ASSERT_EQ(got.size(), 3u);
    for (const auto& entry : got) {
        const QString key = QString::number(entry.first);
        EXPECT_EQ(entry.second.reading_num, reading.value(key).toInt()) << entry.first;
        EXPECT_EQ(entry.second.comment_num, comment.value(key).toInt()) << entry.first;
    }
}

TEST_F(E2eTest, TelegraphFirstLoadHoldsTheNewestServedTelegraphsAndTheirCounters_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));

    const QJsonArray served =
        ServedList(L"/pc/roll/batch_show", {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "15"}, {"time", "0"}});
    const lxnews::TelegraphView view = observer.view();
    ASSERT_EQ(served.size(), 15);
    EXPECT_EQ(view.ids(), Ids(served));
    const QJsonObject newest = served.first().toObject().value("info").toObject();
    EXPECT_EQ(view.items().front().content, Wide(newest.value("content")));
    EXPECT_EQ(view.items().front().sort_score, U64(newest.value("sort_score")));
    EXPECT_EQ(view.items().front().ctime, U64(newest.value("ctime")));
    EXPECT_EQ(observer.failures(), 0);

    // Counters of the 15 newest follow the refresh.
    CountInfoMap counters;
    ASSERT_TRUE(observer.counters_.WaitFirst(counters));
    EXPECT_EQ(counters.size(), 15u);
    EXPECT_EQ(counters.count(static_cast<unsigned int>(view.items().front().id)), 1u);
    telegraphs->Unsubscribe(&observer);
}

TEST_F(E2eTest, DepthFirstRefreshSplitsPinnedFromNormalArticlesWithBanners_Sim) {
    IDepthPublisher* depth = GetDepthPublisher();
    SKIP_IF_MISSING(depth);
    DepthRecorder observer;
    depth->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { depth->Refresh(); }));

    const QJsonObject served = Fetch(L"/pc/information/get_depth", {{"last_time", "0"}, {"refresh_type", "0"},
                                                                   {"last_is_stickies", "1"}})
                                   .value("data").toObject();
    std::vector<int> top, normal;
    for (const QJsonValue& article : served.value("list").toArray())
        (article.toObject().value("is_top").toBool() ? top : normal).push_back(article.toObject().value("id").toInt());
    const lxnews::DepthView view = observer.view();
    EXPECT_FALSE(top.empty());
    EXPECT_EQ(view.topIds(), top);
    EXPECT_EQ(view.normalIds(), normal);

    const QJsonArray banners = served.value("banner").toArray();
    ASSERT_EQ(view.banners().size(), static_cast<std::size_t>(banners.size()));
    EXPECT_EQ(view.banners().front().title, Wide(banners.first().toObject().value("title")));

    // A related article's id comes as a string and arrives as a number.
    for (const QJsonValue& value : served.value("list").toArray()) {
        const QJsonArray related = value.toObject().value("article_rec").toArray();
        if (related.isEmpty()) continue;
        const int id = value.toObject().value("id").toInt();
        for (const DepthArticle& article : view.normal()) {
            if (article.id != id) continue;
            ASSERT_FALSE(article.article_rec.empty());
            EXPECT_EQ(article.article_rec.front().article_id,
                      related.first().toObject().value("article_id").toString().toInt());
        }
    }
    depth->Unsubscribe(&observer);
}

TEST_F(E2eTest, ExclusiveColumnListAndFirstPageMatchTheService_Sim) {
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    SKIP_IF_MISSING(exclusive);
    std::list<ExclusiveColumn> got;
    ASSERT_TRUE(Await<std::list<ExclusiveColumn> >([&](auto done) { exclusive->RequestColumnList(done); }, got));
    const QJsonArray servedColumns = Fetch(L"/pc/exclusive/column_list", {}).value("data").toObject()
                                         .value("column_list").toArray();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(servedColumns.size()));
    EXPECT_EQ(got.front().column_id, servedColumns.first().toObject().value("column_id").toInt());
    EXPECT_EQ(got.back().title, Wide(servedColumns.last().toObject().value("title")));

    const int column = got.front().column_id;
    std::list<ExclusiveArticle> page;
    ASSERT_TRUE(FirstPage(exclusive, column, page));
    const QJsonArray served =
        ServedList(L"/pc/exclusive/column_article_list", {{"column_id", std::to_string(column)}, {"rn", "15"}});
    std::vector<int> ids;
    for (const ExclusiveArticle& article : page) ids.push_back(article.id);
    EXPECT_EQ(ids, Ids(served));
    EXPECT_EQ(page.front().title, Wide(served.first().toObject().value("title")));
    EXPECT_EQ(page.front().sort_score, U64(served.first().toObject().value("sort_score")));
}

TEST_F(E2eTest, EssenceListArrivesInMemberNameOrder_Sim) {
    IInformationEssence* essence = GetInformationEssence();
    SKIP_IF_MISSING(essence);
    Subscriber<std::list<InformationEssence> > subscriber;
    essence->Attach(&subscriber);
    essence->FetchInformationEssence(0, 0, 50);
    std::list<InformationEssence> got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const std::list<InformationEssence>& list) { return !list.empty(); }, got));

    const QJsonObject served = ServedEssence();
    QStringList keys = served.keys();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(keys.size()));
    auto item = got.begin();
    for (const QString& key : keys) {
        const QJsonObject entry = served.value(key).toObject();
        EXPECT_EQ(item->id, entry.value("id").toInt());
        EXPECT_EQ(item->title, Wide(entry.value("title")));
        EXPECT_EQ(item->ctime, entry.value("ctime").toInt());
        ++item;
    }
    essence->Detach(&subscriber);
}

TEST_F(E2eTest, TimelineDeliversCountsEventsAndTheDetailOfAnEvent_Sim) {
    ITimelinePublisher* timeline = GetTimelinePublisher();
    SKIP_IF_MISSING(timeline);
    std::list<TimelineReddot> gotDates;
    ASSERT_TRUE(Await<std::list<TimelineReddot> >(
        [&](auto done) { timeline->RequestReddot(L"2024-03-01", L"2024-03-10", done); }, gotDates));
    const QJsonArray servedDates = ServedList(L"/pc/time_axis/reddot", {{"start_date", "2024-03-01"}, {"end_date", "2024-03-10"}});
    ASSERT_EQ(gotDates.size(), 10u);
    ASSERT_EQ(servedDates.size(), 10);
    EXPECT_EQ(gotDates.front().date, L"2024-03-01");
    EXPECT_EQ(gotDates.back().nums, servedDates.last().toObject().value("nums").toInt());

    std::list<TimelineEvent> gotEvents;
    ASSERT_TRUE(Await<std::list<TimelineEvent> >([&](auto done) { timeline->RequestEventList(L"2024-03-04", done); },
                                                 gotEvents));
    const QJsonArray servedEvents = ServedList(L"/pc/time_axis/get_list_by_day", {{"date", "2024-03-04"}, {"rn", "50"}});
    std::vector<int> ids;
    for (const TimelineEvent& event : gotEvents) ids.push_back(event.id);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids, Ids(servedEvents));

    TimelineEventDetail detail;
    ASSERT_TRUE(Await<TimelineEventDetail>(
        [&](auto done) { timeline->RequestEventDetail(static_cast<unsigned int>(ids.front()), done); }, detail));
    EXPECT_EQ(detail.id, ids.front());
    EXPECT_EQ(detail.title, gotEvents.front().title);  // the list and the detail tell the same event
    EXPECT_FALSE(detail.content.empty());
}

TEST_F(E2eTest, StockAnnouncementsArriveForTheRequestedPage_Sim) {
    IStockAnnouncement* announcements = GetStockAnnouncement();
    SKIP_IF_MISSING(announcements);
    Subscriber<StockAnnouncement> subscriber;
    announcements->Attach(&subscriber);
    announcements->RequestStockAnnouncementList(L"sh600519", 2, 10);
    StockAnnouncement got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockAnnouncement& v) { return !v.items.empty(); }, got));

    const QJsonArray served = ServedList(L"/pc/rt/stock_notice", {{"stock", "sh600519"}, {"page", "2"}, {"rn", "10"}});
    EXPECT_EQ(got.stock, L"sh600519");
    ASSERT_EQ(got.items.size(), 10u);
    EXPECT_EQ(got.items.front().hashid, Wide(served.first().toObject().value("hashid")));
    EXPECT_EQ(got.items.back().title, Wide(served.last().toObject().value("title")));
    EXPECT_EQ(got.items.back().publish_time, U64(served.last().toObject().value("publish_time")));
    announcements->Detach(&subscriber);
}

TEST_F(E2eTest, StockLandMinesArriveAndACoveredRangeIsAnsweredFromMemory_Sim) {
    IStockLandMine* landMines = GetStockLandMine();
    SKIP_IF_MISSING(landMines);
    Subscriber<StockLandMine> subscriber;
    landMines->Attach(&subscriber);
    const unsigned int today = common::GetCurrentServerDate();
    const unsigned int start = DaysBefore(today, 240);
    landMines->RequestStockLandMineList(L"sz000001", start, today);
    StockLandMine got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockLandMine& v) { return !v.items.empty(); }, got));

    const QJsonArray all = ServedLandMines("sz000001", start, today);
    ASSERT_EQ(got.items.size(), static_cast<std::size_t>(all.size()));
    EXPECT_EQ(got.items.front().id, Wide(all.first().toObject().value("id")));
    EXPECT_EQ(got.items.back().publish_time, U64(all.last().toObject().value("publish_time")));

    // Months inside the fetched range come from memory, on this thread: the
    // reset value, then the cached items of those months.
    const long long requestsBefore = sim_->requestCount("/pc/rt/stock_landmine");
    const std::size_t deliveredBefore = subscriber.inbox.size();
    const unsigned int innerStart = DaysBefore(today, 150), innerEnd = DaysBefore(today, 30);
    landMines->RequestStockLandMineList(L"sz000001", innerStart, innerEnd);
    EXPECT_EQ(sim_->requestCount("/pc/rt/stock_landmine"), requestsBefore);
    const std::vector<StockLandMine> values = subscriber.inbox.values();
    ASSERT_EQ(values.size(), deliveredBefore + 2);
    EXPECT_TRUE(values[deliveredBefore].items.empty());
    const QJsonArray inner = ServedLandMines("sz000001", innerStart, innerEnd);
    ASSERT_FALSE(inner.isEmpty());
    ASSERT_LT(inner.size(), all.size());
    EXPECT_EQ(Texts(values.back().items, &StockLandMineItem::id), Texts(inner, "id"));
    landMines->Detach(&subscriber);
}

TEST_F(E2eTest, StockNewsReadsTypeAndColumnFromStrings_Sim) {
    IStockNews* news = GetStockNews();
    SKIP_IF_MISSING(news);
    Subscriber<StockNewsInfo> subscriber;
    news->Attach(&subscriber);
    news->RequestStockNewsList(2, L"sz300750", 0, 0, 10);
    StockNewsInfo got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockNewsInfo& v) { return !v.items.empty(); }, got));

    const QJsonArray served = ServedStockNews("sz300750");
    ASSERT_EQ(got.items.size(), static_cast<std::size_t>(served.size()));
    const QJsonObject first = served.first().toObject();
    ASSERT_TRUE(first.value("type").isString());
    EXPECT_EQ(got.items.front().id, Wide(first.value("id")));
    EXPECT_EQ(got.items.front().type, 2);
    EXPECT_EQ(got.items.front().column_id, first.value("column_id").toString().toInt());
    EXPECT_NE(got.items.front().column_id, 0);
    EXPECT_EQ(got.items.front().ctime, U64(first.value("ctime")));
    news->Detach(&subscriber);
}

TEST_F(E2eTest, UnusualTradingGroupsArriveNewestDateFirst_Sim) {
    IStockUnusualTrading* unusual = GetStockUnusualTrading();
    SKIP_IF_MISSING(unusual);
    Subscriber<StockUnusualTradingInfo> subscriber;
    unusual->Attach(&subscriber);
    unusual->FetchStockUnusualTrading(L"sh601318");
    StockUnusualTradingInfo got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockUnusualTradingInfo& v) { return !v.groups.empty(); }, got));

    const QJsonObject groups = ServedDragon("sh601318");
    QStringList keys = groups.keys();
    ASSERT_EQ(got.groups.size(), static_cast<std::size_t>(keys.size()));
    auto group = got.groups.begin();
    for (auto key = keys.crbegin(); key != keys.crend(); ++key, ++group) {
        const QJsonArray entries = groups.value(*key).toArray();
        EXPECT_EQ(group->key, key->toStdWString());
        EXPECT_EQ(group->amount, entries.last().toObject().value("amt").toDouble());
        ASSERT_EQ(group->items.size(), static_cast<std::size_t>(entries.size()));
        const QJsonObject firstEntry = entries.first().toObject();
        EXPECT_EQ(group->items.front().type, Wide(firstEntry.value("type")));
        ASSERT_EQ(group->items.front().buyer.size(), 5u);
        EXPECT_EQ(group->items.front().buyer.front().name,
                  Wide(firstEntry.value("buyer").toArray().first().toObject().value("name")));
        EXPECT_EQ(group->items.front().seller.back().sell,
                  firstEntry.value("seller").toArray().last().toObject().value("sell").toDouble());
    }
    unusual->Detach(&subscriber);
}

// ---------------------------------------------------------------------------
// After edits, removals, hides and re-shows the observers' views equal the
// simulator's ground truth.

void ExpectEveryKindOfOperation(const QJsonObject& operations, const char* stream) {
    const QJsonObject counts = operations.value(stream).toObject();
    for (const char* kind : {"modify", "hidden", "show", "del"})
        EXPECT_GE(counts.value(kind).toInt(), 1) << stream << " saw no " << kind << ": "
                                                  << QJsonDocument(counts).toJson().constData();
}

TEST_F(E2eTest, TelegraphViewMatchesTheGroundTruthAfterEditsAndAnOlderPage_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));

    for (int round = 0; round < 14; ++round) {
        sim_->state().Advance(round % 2 == 0 ? 1 : 3);
        ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));
        if (round == 5) {
            std::pair<bool, std::list<TelegraphInfo> > failedAndPage;
            ASSERT_TRUE(OlderTelegraphs(telegraphs, observer.view().floor(), failedAndPage));
            ASSERT_FALSE(failedAndPage.first);
            const std::list<TelegraphInfo>& page = failedAndPage.second;
            EXPECT_EQ(page.size(), 10u);
            observer.AddOlder(page);
        }
    }
    const lxnews::TelegraphView view = observer.view();
    const QJsonObject truth = Truth("telegraph_floor=" + std::to_string(view.floor()));
    EXPECT_EQ(view.ids(), Ids(truth.value("telegraph").toObject().value("visible").toArray()));

    ExpectEveryKindOfOperation(truth.value("operations").toObject(), "telegraph");
    EXPECT_EQ(observer.failures(), 0);
    telegraphs->Unsubscribe(&observer);
}

// A telegraph hidden on one page and shown again on a later page of the same
// refresh is lost: the show is dropped as already cached before the removal is
// applied. The comparison leaves such telegraphs out.
TEST_F(E2eTest, TelegraphBacklogLongerThanAPageIsDrainedInOneRefresh_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));
    // Where the publisher's cursor stands: the newest operation time.
    const unsigned long long cursor =
        U64(ServedList(L"/pc/roll/batch_show", {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "15"}, {"time", "0"}})
                .first().toObject().value("operation_time"));

    sim_->state().Advance(150);
    const long long requestsBefore = sim_->requestCount("/pc/roll/batch_show");
    const int marker = observer.clock.begins();
    telegraphs->Refresh();
    ASSERT_TRUE(observer.clock.WaitForCycleAfter(marker, kHang));
    const long long requests = sim_->requestCount("/pc/roll/batch_show") - requestsBefore;

    int operations = 0;
    std::set<int> hiddenOrShown;
    for (unsigned long long at = cursor;;) {
        const QJsonArray page = ServedList(
            L"/pc/roll/batch_show", {{"last_time", std::to_string(at)}, {"refresh_type", "0"}, {"rn", "15"}, {"time", "0"}});
        for (const QJsonValue& element : page) {
            const QString operation = element.toObject().value("operation").toString();
            if (operation == "hidden" || operation == "show") hiddenOrShown.insert(element.toObject().value("id").toInt());
        }
        operations += page.size();
        if (page.size() < news_sim::SimState::kIncrementalPage) break;
        at = U64(page.last().toObject().value("operation_time"));
    }
    ASSERT_GT(operations, news_sim::SimState::kIncrementalPage);
    EXPECT_EQ(requests, operations / news_sim::SimState::kIncrementalPage + 1);

    const lxnews::TelegraphView view = observer.view();
    const std::vector<int> held = view.ids();
    const std::vector<int> truth =
        Ids(Truth("telegraph_floor=" + std::to_string(view.floor())).value("telegraph").toObject().value("visible").toArray());
    for (int id : truth) {
        if (hiddenOrShown.count(id)) continue;
        EXPECT_EQ(std::count(held.begin(), held.end(), id), 1) << id << " is missing";
    }
    for (int id : held) {
        if (hiddenOrShown.count(id)) continue;
        EXPECT_EQ(std::count(truth.begin(), truth.end(), id), 1) << id << " should be gone";
    }
    telegraphs->Unsubscribe(&observer);
}

TEST_F(E2eTest, DepthViewMatchesTheGroundTruthAfterEditsPinsAndAnOlderPage_Sim) {
    IDepthPublisher* depth = GetDepthPublisher();
    SKIP_IF_MISSING(depth);
    DepthRecorder observer;
    depth->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { depth->Refresh(); }));

    for (int round = 0; round < 16; ++round) {
        sim_->state().Advance(2);
        ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { depth->Refresh(); }));
        if (round == 6) {
            std::list<DepthArticle> page;
            ASSERT_TRUE(Await<std::list<DepthArticle> >([&](auto done) { depth->RequestEarlierDepth(done); }, page));
            EXPECT_EQ(page.size(), 10u);
            observer.AddOlder(page);
        }
    }
    const lxnews::DepthView view = observer.view();
    const QJsonObject truth = Truth("depth_floor=" + std::to_string(view.floor()));
    const QJsonObject depthTruth = truth.value("depth").toObject();
    EXPECT_EQ(view.topIds(), Ids(depthTruth.value("top").toArray()));
    EXPECT_EQ(view.normalIds(), Ids(depthTruth.value("normal").toArray()));

    ExpectEveryKindOfOperation(truth.value("operations").toObject(), "depth");
    EXPECT_EQ(observer.failures(), 0);
    depth->Unsubscribe(&observer);
}

TEST_F(E2eTest, ExclusiveColumnViewMatchesTheGroundTruthAfterOperations_Sim) {
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    SKIP_IF_MISSING(exclusive);
    const int column = sim_->state().columnIds().front();
    lxnews::ColumnView view;  // touched on this thread only, after each callback has arrived

    std::list<ExclusiveArticle> page;
    ASSERT_TRUE(FirstPage(exclusive, column, page));
    view.AddPage(page);

    for (int round = 0; round < 16; ++round) {
        sim_->state().Advance(3);
        ExclusiveUpdate update;
        ASSERT_TRUE(ColumnUpdate(exclusive, column, update));
        view.Apply(update);
        if (round == 6) {
            ASSERT_TRUE(OlderPage(exclusive, column, view.floor(), page));
            EXPECT_EQ(page.size(), 10u);
            view.AddPage(page);
        }
    }
    const QJsonObject truth =
        Truth("column=" + std::to_string(column) + "&column_floor=" + std::to_string(view.floor()));
    EXPECT_EQ(view.ids(), Ids(truth.value("column").toObject().value("articles").toArray()));
    ExpectEveryKindOfOperation(truth.value("operations").toObject(), ("column:" + std::to_string(column)).c_str());
}

// ---------------------------------------------------------------------------
// Signatures and a faulty service.

TEST_F(E2eTest, TamperedSignatureGetsANonZeroErrnoAndEmptyData_Sim) {
    const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(
        L"/pc/exclusive/column_article_list", {{"column_id", "7"}, {"rn", "15"}});
    const QJsonObject accepted = FetchUrl(url);
    EXPECT_EQ(accepted.value("errno").toInt(-1), 0);
    EXPECT_FALSE(accepted.value("data").toObject().value("list").toArray().isEmpty());

    std::wstring tampered = url;
    tampered.replace(tampered.find(L"rn=15"), 5, L"rn=50");  // the signature no longer covers the query
    const QJsonObject rejected = FetchUrl(tampered);
    EXPECT_EQ(rejected.value("errno").toInt(), news_sim::kBadSignatureErrno);
    EXPECT_TRUE(rejected.value("data").toObject().isEmpty());
}

TEST_F(E2eTest, WrongKeyIsLoggedWithTheServiceErrnoAndDeliversNoCounters_Sim) {
    ICommonPublisher* counters = GetCommonPublisher();
    SKIP_IF_MISSING(counters);
    UrlHelper::SetServiceKey("not-the-service-key");
    CountInfoMap got;  // a non-zero errno still delivers "data", empty here
    ASSERT_TRUE(Await<CountInfoMap>([&](auto done) { counters->RequestCountInfo({880001, 880002}, done); }, got));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(sim_->badSignatureCount(), 1);
    EXPECT_EQ(CountLogLines("CommonPublisher::RequestCountInfo Response Error Code: " +
                            std::to_string(news_sim::kBadSignatureErrno)),
              1);
}

class FaultySimTest : public E2eTest {
protected:
    news_sim::SimOptions Options() const override {
        news_sim::SimOptions options = SimTest::Options();
        options.faults.failRate = 0.25;
        options.faults.malformedRate = 0.25;
        options.faults.errnoRate = 0.25;
        return options;
    }
};

TEST_F(FaultySimTest, EveryRequestEndsInExactlyOneDeliveryOrOneFailureLine_Sim) {
    ICommonPublisher* counters = GetCommonPublisher();
    SKIP_IF_MISSING(counters);
    const int kRequests = 60;
    auto delivered = std::make_shared<std::atomic<int> >(0);
    for (int i = 0; i < kRequests; ++i)
        counters->RequestCountInfo({880001u + static_cast<unsigned int>(i)}, [delivered](const CountInfoMap&) { ++*delivered; });

    // A request ends in a callback (also with errno) or in a transport or parse
    // failure line; the three kinds must add up, each request exactly once.
    const auto ended = [&] {
        return *delivered + CountLogLines("CommonPublisher::RequestCountInfo Failed!") +
               CountLogLines("CommonPublisher::RequestCountInfo Json Parse Error Code") ;
    };
    const SteadyClock::time_point deadline = SteadyClock::now() + kHang;
    while (ended() < kRequests && SteadyClock::now() < deadline) std::this_thread::sleep_for(milliseconds(20));
    std::this_thread::sleep_for(milliseconds(100));  // a duplicate would show up by now
    EXPECT_EQ(ended(), kRequests);
    EXPECT_GT(CountLogLines("CommonPublisher::RequestCountInfo Failed!"), 0);
    EXPECT_GT(CountLogLines("CommonPublisher::RequestCountInfo Json Parse Error Code"), 0);
    const int errnoLines = CountLogLines("CommonPublisher::RequestCountInfo Response Error Code: 5");
    EXPECT_GT(errnoLines, 0);
    EXPECT_LE(errnoLines, delivered->load());
    EXPECT_EQ(sim_->requestCount("/pc/information/get_count_by_ids"), kRequests);
}

TEST_F(FaultySimTest, FeedsKeepRefreshingThroughFailures_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    for (int round = 0; round < 12; ++round) {
        sim_->state().Advance(1);
        ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));
    }
    // Some cycles failed, the others kept the view going; none wrote a log line.
    EXPECT_GT(observer.failures(), 0);
    EXPECT_FALSE(observer.view().items().empty());
    EXPECT_EQ(CountLogLines("TelegraphPublisher::"), 0);
    telegraphs->Unsubscribe(&observer);
}

// ---------------------------------------------------------------------------
// Teardown with requests in flight.

class StallingSimTest : public E2eTest {
protected:
    news_sim::SimOptions Options() const override {
        news_sim::SimOptions options = SimTest::Options();
        options.faults.stallRate = 1.0;
        options.faults.stallMs = 60000;
        return options;
    }
};

// Outlive the test: a misbehaving library could still call them at exit. Kept
// reachable so that the leak checker does not count them.
std::vector<std::shared_ptr<void> >* g_immortals = new std::vector<std::shared_ptr<void> >;

template <class T>
T* Immortal() {
    T* object = new T;
    g_immortals->push_back(std::shared_ptr<void>(object, [](void*) {}));
    return object;
}

TEST_F(StallingSimTest, TeardownWithStalledRequestsReturnsPromptlyAndCallsNobody_Sim) {
    auto calls = std::make_shared<std::atomic<int> >(0);
    if (ICommonPublisher* counters = GetCommonPublisher()) {
        for (int i = 0; i < 4; ++i) counters->RequestCountInfo({880001}, [calls](const CountInfoMap&) { ++*calls; });
    }
    if (IExclusivePublisher* exclusive = GetExclusivePublisher()) {
        exclusive->RequestColumnList([calls](const std::list<ExclusiveColumn>&) { ++*calls; });
        exclusive->RequestArticleListOperation(7, [calls](int, const ExclusiveUpdate&) { ++*calls; });
    }
    if (ITelegraphPublisher* telegraphs = GetTelegraphPublisher())
        telegraphs->RequestEarlierTelegraph(1, [calls](bool, const std::list<TelegraphInfo>&) { ++*calls; });
    auto* announcements = Immortal<Subscriber<StockAnnouncement> >();
    if (IStockAnnouncement* publisher = GetStockAnnouncement()) {
        publisher->Attach(announcements);
        publisher->RequestStockAnnouncementList(L"sh600519", 1, 10);
    }
    const std::size_t attachedValues = announcements->inbox.size();
    ASSERT_TRUE([&] {
        const SteadyClock::time_point deadline = SteadyClock::now() + kHang;
        while (sim_->stalledNow() < 2 && SteadyClock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
        return sim_->stalledNow() >= 2;
    }());

    const SteadyClock::time_point start = SteadyClock::now();
    DestroyAllPublisher();
    EXPECT_LT(SteadyClock::now() - start, milliseconds(5000));

    // Releasing the stalls fails the transfers; the completions find nobody.
    sim_->Stop();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(calls->load(), 0);
    EXPECT_EQ(announcements->inbox.size(), attachedValues);
}

class SlowSimTest : public E2eTest {
protected:
    news_sim::SimOptions Options() const override {
        news_sim::SimOptions options = SimTest::Options();
        options.faults.delayMs = 400;
        return options;
    }
};

TEST_F(SlowSimTest, TeardownDuringSlowRefreshesWaitsForThemAndThenCallsNobody_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    IDepthPublisher* depth = GetDepthPublisher();
    if (telegraphs == nullptr && depth == nullptr) GTEST_SKIP() << "no refreshing publisher is built yet";
    auto* telegraphObserver = Immortal<TelegraphRecorder>();
    auto* depthObserver = Immortal<DepthRecorder>();
    if (telegraphs) {
        telegraphs->Subscribe(telegraphObserver);
        telegraphs->Refresh();
    }
    if (depth) {
        depth->Subscribe(depthObserver);
        depth->Refresh();
    }
    const SteadyClock::time_point deadline = SteadyClock::now() + kHang;
    while ((telegraphs && sim_->requestCount("/pc/roll/batch_show") == 0) ||
           (depth && sim_->requestCount("/pc/information/get_depth") == 0)) {
        ASSERT_LT(SteadyClock::now(), deadline);
        std::this_thread::sleep_for(milliseconds(5));
    }

    const SteadyClock::time_point start = SteadyClock::now();
    DestroyAllPublisher();
    EXPECT_LT(SteadyClock::now() - start, milliseconds(5000));
    const int telegraphCalls = telegraphObserver->clock.updates();
    const int depthCalls = depthObserver->clock.updates();
    std::this_thread::sleep_for(milliseconds(600));
    EXPECT_EQ(telegraphObserver->clock.updates(), telegraphCalls);
    EXPECT_EQ(depthObserver->clock.updates(), depthCalls);
}

// ---------------------------------------------------------------------------
// A long run against a faulty service. Every feed is in use from several
// threads while the simulator fails, garbles, errs, delays and stalls requests
// and its world keeps moving; then the faults stop. Checked: each fault the
// simulator injected left exactly its operation's log line (and nothing else
// was logged), and once the service is healthy again every view equals what
// the service holds: nothing lost, nothing duplicated, every edit in place.
//
// LX_FAULT_RUN_SECONDS sets the faulty phase (20 s by default; ./dev faults
// runs it for minutes).

int FaultySeconds() {
    const char* text = std::getenv("LX_FAULT_RUN_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 20;
}

// ---------------------------------------------------------------------------
// The log texts of every operation, grouped by the route its requests take.

struct OperationLines {
    const char* transport;  // null: that failure is silent
    const char* parse;
    const char* response;
};

struct RouteLines {
    std::string path;
    // Which refresh_type the requests carry: "" none, "0" or "1", "*" any.
    std::string refreshType;
    std::vector<OperationLines> operations;
};

const std::vector<RouteLines>& Routes() {
    // clang-format off
    static const std::vector<RouteLines> routes = {
        {"/pc/information/get_count_by_ids", "",
         {{"CommonPublisher::RequestCountInfo Failed!", "CommonPublisher::RequestCountInfo Json Parse Error Code: %d",
           "CommonPublisher::RequestCountInfo Response Error Code: %d"}}},
        {"/pc/roll/batch_show", "0", {{nullptr, nullptr, nullptr}}},
        {"/pc/roll/batch_show", "1",
         {{"TelegraphPublisher::RequestEarlierTelegraph Failed!",
           "TelegraphPublisher::RequestEarlierTelegraph Json Parse Error Code: %d",
           "TelegraphPublisher::RequestEarlierTelegraph Response Error Code: %d"}}},
        {"/pc/information/get_depth", "0",
         {{nullptr, "DepthPublisher::NotifySubscriber Json Parse Error Code: %d",
           "DepthPublisher::NotifySubscriber Response Error Code: %d"}}},
        {"/pc/information/get_depth", "1",
         {{"DepthPublisher::RequestEarlierDepth Code fail",
           "DepthPublisher::RequestEarlierDepth Json Parse Error Code: %d",
           "DepthPublisher::RequestEarlierDepth Response Error Code: %d"}}},
        {"/pc/inform/modify", "",
         {{"DepthPublisher::RequestInformModify Failed: url = %s",
           "DepthPublisher::MergeInformModifyListToCache Json Parse Error Code: %d",
           "DepthPublisher::MergeInformModifyListToCache Response Error Code: %d"},
          {"ExclusivePublisher::RequestInformModify Failed: url = %s", nullptr,
           "ExclusivePublisher::RequestInformModify Response Error Code: %d"}}},
        {"/pc/exclusive/column_list", "",
         {{"ExclusivePublisher::RequestColumnList Code fail",
           "ExclusivePublisher::RequestColumnList Json Parse Error Code: %d",
           "DepthPublisher::RequestColumnList Response Error Code: %d"}}},
        {"/pc/exclusive/column_article_list", "",
         {{"ExclusivePublisher::RequestArticleList Code fail",
           "ExclusivePublisher::RequestArticleList Json Parse Error Code: %d",
           "DepthPublisher::RequestArticleList Response Error Code: %d"},
          {"ExclusivePublisher::RequestArticleListOp Code fail",
           "ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: %d",
           "DepthPublisher::RequestArticleListOperation Response Error Code: %d"}}},
        {"/pc/exclusive/column_article_list", "1",
         {{"ExclusivePublisher::RequestEarlierArticle Code fail",
           "ExclusivePublisher::RequestEarlierArticleList Json Parse Error Code: %d",
           "DepthPublisher::RequestEarlierArticleList Response Error Code: %d"}}},
        {"/pc/information/sum_article_list", "*",
         {{"CInformationEssence::FetchInformationEssence Code fail",
           "CInformationEssence::FetchInformationEssence Json Parse Error Code: %d",
           "CInformationEssence::FetchInformationEssence Error Code: %d"}}},
        {"/pc/time_axis/reddot", "",
         {{"TimelinePublisher::RequestReddot Code fail", "TimelinePublisher::RequestReddot Json Parse Error Code: %d",
           "TimelinePublisher::RequestReddot Response Error Code: %d"}}},
        {"/pc/time_axis/get_list_by_day", "",
         {{"TimelinePublisher::RequestEventList Code fail",
           "TimelinePublisher::RequestEventList Json Parse Error Code: %d",
           "TimelinePublisher::RequestEventList Response Error Code: %d"}}},
        {"/pc/time_axis/get_info_by_id", "",
         {{"TimelinePublisher::RequestEventDetail Code fail",
           "TimelinePublisher::RequestEventDetail Json Parse Error Code: %d",
           "TimelinePublisher::RequestEventDetail Response Error Code: %d"}}},
        {"/pc/rt/stock_notice", "",
         {{"CStockAnnouncementPublisher::RequestStockAnnouncementList Code fail",
           "CStockAnnouncementPublisher::RequestStockAnnouncementList Json Parse Error Code: %d",
           "CStockAnnouncementPublisher::RequestStockAnnouncementList Error Code: %d"}}},
        {"/pc/rt/stock_landmine", "",
         {{"CStockLandMine::RequestStockLandMineList Code fail",
           "CStockLandMine::RequestStockLandMineList Json Parse Error Code: %d",
           "CStockLandMine::RequestStockLandMineList Error Code: %d"}}},
        {"/v1/market/get_list", "*",
         {{"CStockNews::RequestStockNewsList Code fail", "CStockNews::RequestStockNewsList Json Parse Error Code: %d",
           "CStockNews::RequestStockNewsList Error Code: %d"}}},
        {"/pc/rt/stock_dragon", "",
         {{"CStockUnusualTrading::FetchStockUnusualTrading Code fail",
           "CStockUnusualTrading::FetchStockUnusualTrading Json Parse Error Code: %d",
           "CStockUnusualTrading::FetchStockUnusualTrading Error Code: %d"}}},
    };
    // clang-format on
    return routes;
}

// A log text as a whole-message pattern: "%d" any integer, "%s" a URL.
std::regex PatternOf(const std::string& text, int errnoValue) {
    std::string pattern;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%d") == 0) {
            pattern += errnoValue != 0 ? std::to_string(errnoValue) : std::string("-?[0-9]+");
            ++i;
        } else if (text.compare(i, 2, "%s") == 0) {
            pattern += "http://\\S+";
            ++i;
        } else {
            if (std::string("\\^$.|?*+()[]{}").find(text[i]) != std::string::npos) pattern += '\\';
            pattern += text[i];
        }
    }
    return std::regex(pattern);
}

// The message of a log line: what follows "time [thread] [level] ".
std::string MessageOf(const std::string& line) {
    const std::size_t level = line.find("] [");
    const std::size_t end = level == std::string::npos ? std::string::npos : line.find("] ", level + 3);
    return end == std::string::npos ? line : line.substr(end + 2);
}

// ---------------------------------------------------------------------------

using IdText = std::pair<int, std::wstring>;

std::vector<IdText> TruthItems(const QJsonArray& array) {
    std::vector<IdText> items;
    for (const QJsonValue& value : array)
        items.emplace_back(value.toObject().value("id").toInt(), Wide(value.toObject().value("text")));
    return items;
}

std::vector<IdText> TelegraphItems(const std::list<TelegraphInfo>& list) {
    std::vector<IdText> items;
    for (const TelegraphInfo& item : list) items.emplace_back(item.id, item.content);
    return items;
}

template <class Article>
std::vector<IdText> ArticleItems(const std::list<Article>& list) {
    std::vector<IdText> items;
    for (const Article& article : list) items.emplace_back(article.id, article.title);
    return items;
}

// Missing, extra and differently worded items, rather than two long lists.
// The text of an id in `anyText` is not compared.
std::string Difference(const std::vector<IdText>& held, const std::vector<IdText>& truth,
                       const std::set<int>& anyText = std::set<int>()) {
    std::map<int, std::wstring> heldById(held.begin(), held.end()), truthById(truth.begin(), truth.end());
    std::ostringstream out;
    if (heldById.size() != held.size()) out << "held ids repeat; ";
    for (const IdText& item : truth) {
        const auto it = heldById.find(item.first);
        if (it == heldById.end())
            out << "missing " << item.first << "; ";
        else if (it->second != item.second && anyText.count(item.first) == 0)
            out << "stale text of " << item.first << " (held \"" << QString::fromStdWString(it->second).toStdString()
                << "\", served \"" << QString::fromStdWString(item.second).toStdString() << "\"); ";
    }
    for (const IdText& item : held)
        out << (truthById.count(item.first) ? "" : "extra " + std::to_string(item.first) + "; ");
    const auto ids = [](const std::vector<IdText>& items) {
        std::vector<int> list;
        for (const IdText& item : items) list.push_back(item.first);
        return list;
    };
    if (out.str().empty() && ids(held) != ids(truth)) out << "same items in another order";
    return out.str();
}

std::vector<IdText> Without(std::vector<IdText> items, const std::set<int>& ids) {
    items.erase(
        std::remove_if(items.begin(), items.end(), [&](const IdText& item) { return ids.count(item.first) != 0; }),
        items.end());
    return items;
}

// When a refresh's edit fetch fails, its get_depth answer can show an article
// newly pinned: the publisher adds it to the pinned list while its normal copy
// stays, and a later removal or unpinning takes one copy only. Such articles
// are noted here (the view mirrors the publisher's lists) and left out.
class DepthRecorderNotingDoubles : public DepthRecorder {
public:
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override {
        DepthRecorder::OnDepthUpdate(failed, changes);
        const lxnews::DepthView held = view();
        const std::vector<int> top = held.topIds();
        std::lock_guard<std::mutex> lock(mutex_);
        for (int id : held.normalIds()) {
            if (std::find(top.begin(), top.end(), id) != top.end()) doubled_.insert(id);
        }
    }
    std::set<int> doubled() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return doubled_;
    }

private:
    mutable std::mutex mutex_;
    std::set<int> doubled_;
};

const std::vector<std::wstring> kStocks = {L"sh600519", L"sz000001", L"sz300750", L"sh601318", L"bj430047"};

class FaultRunTest : public E2eTest {
protected:
    static void SetUpTestSuite() {
        // As a host would for this load: stalled requests must not hold up the rest.
        netwk::SetNetworkThreadCount(8);
    }

    news_sim::SimOptions Options() const override {
        news_sim::SimOptions options = E2eTest::Options();
        options.seed = 20261206;
        return options;
    }

    static news_sim::SimFaults Faults() {
        news_sim::SimFaults faults;
        faults.failRate = 0.08;
        faults.malformedRate = 0.08;
        faults.errnoRate = 0.08;
        faults.stallRate = 0.03;
        faults.stallMs = 1500;
        faults.delayMs = 15;
        return faults;
    }

    // Log lines of each kind per route against the faults the simulator
    // injected there. A kind some operation of the route keeps silent can only
    // be bounded. Returns what does not add up, empty when all does.
    std::string Accounting(const std::vector<std::string>& messages) const {
        std::ostringstream problems;
        for (const RouteLines& route : Routes()) {
            const news_sim::FaultTally tally = TallyOf(route);
            const long long injected[3] = {tally.stalls + tally.failures, tally.malformed, tally.errnos};
            const char* kinds[3] = {"transport", "parse", "errno"};
            for (int kind = 0; kind < 3; ++kind) {
                long long lines = 0;
                bool silentSomewhere = false;
                for (const OperationLines& operation : route.operations) {
                    const char* text = kind == 0   ? operation.transport
                                       : kind == 1 ? operation.parse
                                                   : operation.response;
                    if (text == nullptr) {
                        silentSomewhere = true;
                        continue;
                    }
                    const std::regex pattern = PatternOf(text, kind == 2 ? news_sim::kInjectedErrno : 0);
                    for (const std::string& message : messages) lines += std::regex_match(message, pattern) ? 1 : 0;
                }
                const bool fine = silentSomewhere ? lines <= injected[kind] : lines == injected[kind];
                if (!fine)
                    problems << route.path << (route.refreshType.empty() ? "" : " refresh_type=" + route.refreshType)
                             << ": " << lines << " " << kinds[kind] << " lines for " << injected[kind] << " injected\n";
            }
        }
        return problems.str();
    }

    news_sim::FaultTally TallyOf(const RouteLines& route) const {
        std::vector<std::string> suffixes;
        if (route.refreshType == "*")
            suffixes = {"?refresh_type=0", "?refresh_type=1", ""};
        else
            suffixes = {route.refreshType.empty() ? "" : "?refresh_type=" + route.refreshType};
        news_sim::FaultTally tally;
        for (const std::string& suffix : suffixes) {
            const news_sim::FaultTally part = sim_->faultTally(route.path + suffix);
            tally.requests += part.requests;
            tally.stalls += part.stalls;
            tally.failures += part.failures;
            tally.malformed += part.malformed;
            tally.errnos += part.errnos;
        }
        return tally;
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const std::string& line : LogLines()) messages.push_back(MessageOf(line));
        return messages;
    }
};

TEST_F(FaultRunTest, EveryFaultLeavesItsLineAndEveryViewMatchesTheServiceOnceFaultsStop_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    IDepthPublisher* depth = GetDepthPublisher();
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    ICommonPublisher* counters = GetCommonPublisher();
    IInformationEssence* essence = GetInformationEssence();
    ITimelinePublisher* timeline = GetTimelinePublisher();
    IStockAnnouncement* announcements = GetStockAnnouncement();
    IStockLandMine* landMines = GetStockLandMine();
    IStockNews* stockNews = GetStockNews();
    IStockUnusualTrading* unusual = GetStockUnusualTrading();
    ASSERT_TRUE(telegraphs && depth && exclusive && counters && essence && timeline && announcements && landMines &&
                stockNews && unusual);

    TelegraphRecorder telegraphView;
    DepthRecorderNotingDoubles depthView;
    Subscriber<std::list<InformationEssence> > essenceValue;
    Subscriber<StockAnnouncement> announcementValue;
    Subscriber<StockLandMine> landMineValue;
    Subscriber<StockNewsInfo> stockNewsValue;
    Subscriber<StockUnusualTradingInfo> unusualValue;
    telegraphs->Subscribe(&telegraphView);
    depth->Subscribe(&depthView);
    essence->Attach(&essenceValue);
    announcements->Attach(&announcementValue);
    landMines->Attach(&landMineValue);
    stockNews->Attach(&stockNewsValue);
    unusual->Attach(&unusualValue);
    const int column = sim_->state().columnIds().front();
    lxnews::ColumnView columnView;  // the exclusive driver's until the faulty phase ends

    sim_->SetFaults(Faults());
    const SteadyClock::time_point end = SteadyClock::now() + std::chrono::seconds(FaultySeconds());
    std::atomic<bool> failed{false};  // a callback that never came
    std::atomic<long long> olderPages{0}, exclusiveUpdates{0}, otherRequests{0};
    const auto running = [&] { return SteadyClock::now() < end && !failed; };
    std::vector<std::thread> drivers;

    // The world holds still while an older page is on its way. An operation
    // made meanwhile can be applied by a refresh before the page's records are
    // in the cache (or in the view, which gets the page after the cache), and is
    // then lost: the publishers' page handling has no version check.
    std::shared_mutex olderPageInFlight;
    drivers.emplace_back([&] {  // the world: a tick is ten seconds of news
        while (running()) {
            {
                std::unique_lock<std::shared_mutex> still(olderPageInFlight);
                sim_->state().Advance(1);
            }
            std::this_thread::sleep_for(milliseconds(250));
        }
    });
    drivers.emplace_back([&] {
        for (int round = 0; running(); ++round) {
            telegraphs->Refresh();
            std::this_thread::sleep_for(milliseconds(150));
            if (round % 10 != 9 || telegraphView.view().items().empty()) continue;
            std::pair<bool, std::list<TelegraphInfo> > page;
            std::shared_lock<std::shared_mutex> still(olderPageInFlight);
            if (!OlderTelegraphs(telegraphs, telegraphView.view().floor(), page)) {
                failed = true;
            } else if (!page.first) {
                telegraphView.AddOlder(page.second);
                ++olderPages;
            }
        }
    });
    drivers.emplace_back([&] {
        for (int round = 0; running(); ++round) {
            depth->Refresh();
            std::this_thread::sleep_for(milliseconds(200));
            if (round % 10 != 9 || depthView.view().normal().empty()) continue;
            std::list<DepthArticle> page;
            std::shared_lock<std::shared_mutex> still(olderPageInFlight);
            if (!Await<std::list<DepthArticle> >([&](auto done) { depth->RequestEarlierDepth(done); }, page)) {
                failed = true;
            } else if (!page.empty()) {
                depthView.AddOlder(page);
                ++olderPages;
            }
        }
    });
    drivers.emplace_back([&] {
        for (int round = 0; running(); ++round) {
            std::this_thread::sleep_for(milliseconds(100));
            std::list<ExclusiveArticle> page;
            if (columnView.items().empty() || round % 10 == 9) {
                const bool first = columnView.items().empty();
                if (!(first ? FirstPage(exclusive, column, page) : OlderPage(exclusive, column, columnView.floor(), page)))
                    failed = true;
                columnView.AddPage(page);
                continue;
            }
            ExclusiveUpdate update;
            if (!ColumnUpdate(exclusive, column, update)) failed = true;
            columnView.Apply(update);
            ++exclusiveUpdates;
        }
    });
    drivers.emplace_back([&] {  // one request of another feed every 40 ms, in turn
        std::minstd_rand random(7);
        const unsigned int today = common::GetCurrentServerDate();
        for (int round = 0; running(); ++round) {
            std::this_thread::sleep_for(milliseconds(40));
            const std::wstring& stock = kStocks[random() % kStocks.size()];
            switch (round % 10) {
                case 0:
                    counters->RequestCountInfo({880001u + static_cast<unsigned int>(random() % 50), 510003u},
                                               [](const CountInfoMap&) {});
                    break;
                case 1:
                    essence->FetchInformationEssence(0, 0, 50);
                    break;
                case 2:
                    timeline->RequestReddot(L"2024-03-01", L"2024-03-10", [](const std::list<TimelineReddot>&) {});
                    break;
                case 3:
                    timeline->RequestEventList(L"2024-03-04", [](const std::list<TimelineEvent>&) {});
                    break;
                case 4:
                    timeline->RequestEventDetail(1 + static_cast<unsigned int>(random() % 40),
                                                 [](const TimelineEventDetail&) {});
                    break;
                case 5:
                    announcements->RequestStockAnnouncementList(stock, 1 + static_cast<unsigned int>(random() % 3), 10);
                    break;
                case 6:  // up to today, so later requests meet months already held
                    landMines->RequestStockLandMineList(stock, DaysBefore(today, 30 + static_cast<int>(random() % 400)),
                                                        today);
                    break;
                case 7:
                    stockNews->RequestStockNewsList(1 + static_cast<unsigned int>(random() % 2), stock, 0, 0, 10);
                    break;
                case 8:
                    unusual->FetchStockUnusualTrading(stock);
                    break;
                case 9:
                    exclusive->RequestColumnList([](const std::list<ExclusiveColumn>&) {});
                    break;
            }
            ++otherRequests;
        }
    });
    for (std::thread& driver : drivers) driver.join();
    ASSERT_FALSE(failed) << "a callback never came";

    // Faults off; what is in flight ends within a stall or a timeout.
    sim_->SetFaults(news_sim::SimFaults());
    std::string problems;
    const SteadyClock::time_point settle = SteadyClock::now() + kHang;
    do {
        std::this_thread::sleep_for(milliseconds(200));
        problems = Accounting(Messages());
    } while (!problems.empty() && SteadyClock::now() < settle);
    EXPECT_EQ(problems, "");

    // Nothing else was logged.
    std::vector<std::regex> known;
    for (const RouteLines& route : Routes()) {
        for (const OperationLines& operation : route.operations) {
            for (const char* text : {operation.transport, operation.parse, operation.response})
                if (text != nullptr) known.push_back(PatternOf(text, 0));
        }
    }
    int unknown = 0;
    for (const std::string& message : Messages()) {
        const bool ok = std::any_of(known.begin(), known.end(),
                                    [&](const std::regex& pattern) { return std::regex_match(message, pattern); });
        if (!ok && ++unknown <= 5) ADD_FAILURE() << "unexpected log line: " << message;
    }

    // A healthy service: one more round of each feed, then every view against it.
    sim_->state().Advance(1);
    ASSERT_TRUE(RefreshUntilFreshCycle(telegraphView.clock, [&] { telegraphs->Refresh(); }));
    ASSERT_TRUE(RefreshUntilFreshCycle(depthView.clock, [&] { depth->Refresh(); }));
    ExclusiveUpdate update;
    ASSERT_TRUE(ColumnUpdate(exclusive, column, update));
    columnView.Apply(update);

    const lxnews::TelegraphView telegraphHeld = telegraphView.view();
    const lxnews::DepthView depthHeld = depthView.view();
    const QJsonObject truth = Truth("telegraph_floor=" + std::to_string(telegraphHeld.floor()) + "&depth_floor=" +
                                    std::to_string(depthHeld.floor()) + "&column=" + std::to_string(column) +
                                    "&column_floor=" + std::to_string(columnView.floor()));
    // After failed refreshes an edit can come in one answer with a later
    // operation that it is folded into (a telegraph's add, an article's show
    // again): such texts may be older.
    const QJsonObject telegraphTruth = truth.value("telegraph").toObject();
    const std::vector<int> foldedIds = Ids(truth.value("folded_edits").toArray());
    const std::set<int> folded(foldedIds.begin(), foldedIds.end());
    const std::vector<IdText> telegraphsServed = TruthItems(telegraphTruth.value("visible").toArray());
    EXPECT_EQ(Difference(TelegraphItems(telegraphHeld.items()), telegraphsServed, folded), "") << "telegraphs";
    // Left out as well: depth articles a refresh met for the first time after an
    // edit (failed refreshes in between), which the merge drops.
    const std::set<int> doubled = depthView.doubled();
    const std::vector<int> editedBeforeLoaded =
        Ids(truth.value("depth").toObject().value("edited_before_loaded").toArray());
    std::set<int> leftOut(editedBeforeLoaded.begin(), editedBeforeLoaded.end());
    leftOut.insert(doubled.begin(), doubled.end());
    EXPECT_EQ(Difference(Without(ArticleItems(depthHeld.top()), leftOut),
                         Without(TruthItems(truth.value("depth").toObject().value("top").toArray()), leftOut), folded),
              "")
        << "pinned depth articles";
    EXPECT_EQ(
        Difference(Without(ArticleItems(depthHeld.normal()), leftOut),
                   Without(TruthItems(truth.value("depth").toObject().value("normal").toArray()), leftOut), folded),
        "")
        << "depth articles";
    EXPECT_EQ(Difference(ArticleItems(columnView.items()),
                         TruthItems(truth.value("column").toObject().value("articles").toArray()), folded),
              "")
        << "column articles";

    // A late subscriber is handed the publisher's own cache.
    TelegraphRecorder lateTelegraphs;
    telegraphs->Subscribe(&lateTelegraphs);
    EXPECT_EQ(Difference(TelegraphItems(lateTelegraphs.view().items()), telegraphsServed, folded), "")
        << "telegraphs handed to a late subscriber";
    telegraphs->Unsubscribe(&lateTelegraphs);

    // The value-at-a-time feeds answer the next request with what is served.
    std::list<InformationEssence> essences;
    ASSERT_TRUE(essenceValue.Next([&] { essence->FetchInformationEssence(0, 0, 50); },
                                  [](const std::list<InformationEssence>& l) { return !l.empty(); }, essences));
    std::vector<int> gotEssences, servedEssences;
    for (const InformationEssence& item : essences) gotEssences.push_back(item.id);
    for (const QJsonValue& item : ServedEssence()) servedEssences.push_back(item.toObject().value("id").toInt());
    EXPECT_EQ(gotEssences, servedEssences);
    const unsigned int today = common::GetCurrentServerDate();
    for (const std::wstring& stock : kStocks) {
        const std::string code(stock.begin(), stock.end());
        StockAnnouncement announcement;
        ASSERT_TRUE(announcementValue.Next([&] { announcements->RequestStockAnnouncementList(stock, 1, 10); },
                                           [&](const StockAnnouncement& v) { return v.stock == stock; }, announcement));
        EXPECT_EQ(Texts(announcement.items, &StockAnnouncementItem::hashid),
                  Texts(ServedList(L"/pc/rt/stock_notice", {{"stock", code}, {"page", "1"}, {"rn", "10"}}), "hashid"))
            << code;
        // A reset value comes first, then the range.
        const unsigned int start = DaysBefore(today, 200);
        StockLandMine landMine;
        const std::size_t seen = landMineValue.inbox.size() + 1;
        landMines->RequestStockLandMineList(stock, start, today);
        ASSERT_TRUE(landMineValue.inbox.WaitFor([&](const StockLandMine& v) { return v.stock == stock; }, landMine, seen))
            << code;
        EXPECT_EQ(Texts(landMine.items, &StockLandMineItem::id), Texts(ServedLandMines(code, start, today), "id")) << code;
        StockNewsInfo news;
        ASSERT_TRUE(stockNewsValue.Next([&] { stockNews->RequestStockNewsList(2, stock, 0, 0, 10); },
                                        [&](const StockNewsInfo& v) { return v.stock == stock; }, news));
        EXPECT_EQ(Texts(news.items, &StockNewsItem::id), Texts(ServedStockNews(code), "id")) << code;
        StockUnusualTradingInfo trading;
        ASSERT_TRUE(unusualValue.Next([&] { unusual->FetchStockUnusualTrading(stock); },
                                      [&](const StockUnusualTradingInfo& v) { return v.stock == stock; }, trading));
        const QStringList servedKeys = ServedDragon(code).keys();
        std::vector<std::wstring> newestFirst;
        for (auto key = servedKeys.crbegin(); key != servedKeys.crend(); ++key) newestFirst.push_back(key->toStdWString());
        EXPECT_EQ(Texts(trading.groups, &StockUnusualTradingGroup::key), newestFirst) << code;
    }

    const QJsonObject operations = truth.value("operations").toObject();
    std::printf(
        "faulty phase %d s: %lld older pages, %lld exclusive updates, %lld other requests; "
        "%zu edits folded; held %zu telegraphs, %zu depth articles (%zu pinned twice, %zu dropped "
        "as edited before loaded), "
        "%zu column articles; operations %s\n",
        FaultySeconds(), olderPages.load(), exclusiveUpdates.load(), otherRequests.load(), folded.size(),
        telegraphHeld.items().size(), depthHeld.top().size() + depthHeld.normal().size(), doubled.size(),
        editedBeforeLoaded.size(), columnView.items().size(),
        QJsonDocument(operations).toJson(QJsonDocument::Compact).constData());
    for (const RouteLines& route : Routes()) {
        const news_sim::FaultTally t = TallyOf(route);
        std::printf("  %-36s %-3s requests %6lld  stalls %4lld  failures %4lld  malformed %4lld  errno %4lld\n",
                    route.path.c_str(), route.refreshType.c_str(), t.requests, t.stalls, t.failures, t.malformed,
                    t.errnos);
    }

    telegraphs->Unsubscribe(&telegraphView);
    depth->Unsubscribe(&depthView);
    essence->Detach(&essenceValue);
    announcements->Detach(&announcementValue);
    landMines->Detach(&landMineValue);
    stockNews->Detach(&stockNewsValue);
    unusual->Detach(&unusualValue);
}

}  // namespace
