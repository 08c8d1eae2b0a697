// End to end over loopback: lx_news_center with the real host libraries against
// the news-service simulator running in this process. The world is frozen
// (no tick timer); tests move it with Advance and drive refreshes with Refresh.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "host/lx_common.h"
#include "news_center/news_center.h"
#include "tests/sim_test_support.h"
#include "tools/lxnews/feed_views.h"
#include "tools/news_service_sim/sim_server.h"

namespace {

using namespace e2e;

// ---------------------------------------------------------------------------
// Each publisher receives what the simulator serves.

TEST_F(SimTest, CounterPublisherDeliversTheServedCounters_Sim) {
    ICommonPublisher* counters = GetCommonPublisher();
    SKIP_IF_MISSING(counters);
    auto inbox = std::make_shared<Inbox<CountInfoMap> >();
    counters->RequestCountInfo({880001, 0, 510003, 42}, [inbox](const CountInfoMap& map) { inbox->Put(map); });
    CountInfoMap got;
    ASSERT_TRUE(inbox->WaitFirst(got));

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

TEST_F(SimTest, TelegraphFirstLoadHoldsTheNewestServedTelegraphsAndTheirCounters_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));

    const QJsonArray served = Fetch(L"/pc/roll/batch_show", {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "15"},
                                                             {"time", "0"}})
                                  .value("data").toObject().value("list").toArray();
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

TEST_F(SimTest, DepthFirstRefreshSplitsPinnedFromNormalArticlesWithBanners_Sim) {
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

TEST_F(SimTest, ExclusiveColumnListAndFirstPageMatchTheService_Sim) {
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    SKIP_IF_MISSING(exclusive);
    auto columns = std::make_shared<Inbox<std::list<ExclusiveColumn> > >();
    exclusive->RequestColumnList([columns](const std::list<ExclusiveColumn>& list) { columns->Put(list); });
    std::list<ExclusiveColumn> got;
    ASSERT_TRUE(columns->WaitFirst(got));
    const QJsonArray servedColumns = Fetch(L"/pc/exclusive/column_list", {}).value("data").toObject()
                                         .value("column_list").toArray();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(servedColumns.size()));
    EXPECT_EQ(got.front().column_id, servedColumns.first().toObject().value("column_id").toInt());
    EXPECT_EQ(got.back().title, Wide(servedColumns.last().toObject().value("title")));

    const int column = got.front().column_id;
    auto pages = std::make_shared<Inbox<std::list<ExclusiveArticle> > >();
    exclusive->RequestArticleList(column, [pages](int, const std::list<ExclusiveArticle>& page) { pages->Put(page); });
    std::list<ExclusiveArticle> page;
    ASSERT_TRUE(pages->WaitFirst(page));
    const QJsonArray served = Fetch(L"/pc/exclusive/column_article_list",
                                    {{"column_id", std::to_string(column)}, {"rn", "15"}})
                                  .value("data").toObject().value("list").toArray();
    std::vector<int> ids;
    for (const ExclusiveArticle& article : page) ids.push_back(article.id);
    EXPECT_EQ(ids, Ids(served));
    EXPECT_EQ(page.front().title, Wide(served.first().toObject().value("title")));
    EXPECT_EQ(page.front().sort_score, U64(served.first().toObject().value("sort_score")));
}

TEST_F(SimTest, EssenceListArrivesInMemberNameOrder_Sim) {
    IInformationEssence* essence = GetInformationEssence();
    SKIP_IF_MISSING(essence);
    Subscriber<std::list<InformationEssence> > subscriber;
    essence->Attach(&subscriber);
    essence->FetchInformationEssence(0, 0, 50);
    std::list<InformationEssence> got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const std::list<InformationEssence>& list) { return !list.empty(); }, got));

    const QJsonObject served = Fetch(L"/pc/information/sum_article_list",
                                     {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}})
                                   .value("data").toObject().value("list").toObject();
    QStringList keys = served.keys();  // ascending as strings, which is the delivery order
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

TEST_F(SimTest, TimelineDeliversCountsEventsAndTheDetailOfAnEvent_Sim) {
    ITimelinePublisher* timeline = GetTimelinePublisher();
    SKIP_IF_MISSING(timeline);
    auto dates = std::make_shared<Inbox<std::list<TimelineReddot> > >();
    auto events = std::make_shared<Inbox<std::list<TimelineEvent> > >();
    auto details = std::make_shared<Inbox<TimelineEventDetail> >();
    timeline->RequestReddot(L"2024-03-01", L"2024-03-10", [dates](const std::list<TimelineReddot>& d) { dates->Put(d); });
    timeline->RequestEventList(L"2024-03-04", [events](const std::list<TimelineEvent>& e) { events->Put(e); });

    std::list<TimelineReddot> gotDates;
    ASSERT_TRUE(dates->WaitFirst(gotDates));
    const QJsonArray servedDates =
        Fetch(L"/pc/time_axis/reddot", {{"start_date", "2024-03-01"}, {"end_date", "2024-03-10"}}).value("data").toArray();
    ASSERT_EQ(gotDates.size(), 10u);
    ASSERT_EQ(servedDates.size(), 10);
    EXPECT_EQ(gotDates.front().date, L"2024-03-01");
    EXPECT_EQ(gotDates.back().nums, servedDates.last().toObject().value("nums").toInt());

    std::list<TimelineEvent> gotEvents;
    ASSERT_TRUE(events->WaitFirst(gotEvents));
    const QJsonArray servedEvents =
        Fetch(L"/pc/time_axis/get_list_by_day", {{"date", "2024-03-04"}, {"rn", "50"}}).value("data").toArray();
    std::vector<int> ids;
    for (const TimelineEvent& event : gotEvents) ids.push_back(event.id);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids, Ids(servedEvents));

    timeline->RequestEventDetail(static_cast<unsigned int>(ids.front()),
                                 [details](const TimelineEventDetail& d) { details->Put(d); });
    TimelineEventDetail detail;
    ASSERT_TRUE(details->WaitFirst(detail));
    EXPECT_EQ(detail.id, ids.front());
    EXPECT_EQ(detail.title, gotEvents.front().title);  // the list and the detail tell the same event
    EXPECT_FALSE(detail.content.empty());
}

TEST_F(SimTest, StockAnnouncementsArriveForTheRequestedPage_Sim) {
    IStockAnnouncement* announcements = GetStockAnnouncement();
    SKIP_IF_MISSING(announcements);
    Subscriber<StockAnnouncement> subscriber;
    announcements->Attach(&subscriber);
    announcements->RequestStockAnnouncementList(L"sh600519", 2, 10);
    StockAnnouncement got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockAnnouncement& v) { return !v.items.empty(); }, got));

    const QJsonArray served = Fetch(L"/pc/rt/stock_notice", {{"stock", "sh600519"}, {"page", "2"}, {"rn", "10"}})
                                  .value("data").toObject().value("list").toArray();
    EXPECT_EQ(got.stock, L"sh600519");
    ASSERT_EQ(got.items.size(), 10u);
    EXPECT_EQ(got.items.front().hashid, Wide(served.first().toObject().value("hashid")));
    EXPECT_EQ(got.items.back().title, Wide(served.last().toObject().value("title")));
    EXPECT_EQ(got.items.back().publish_time, U64(served.last().toObject().value("publish_time")));
    announcements->Detach(&subscriber);
}

TEST_F(SimTest, StockLandMinesArriveAndACoveredRangeIsAnsweredFromMemory_Sim) {
    IStockLandMine* landMines = GetStockLandMine();
    SKIP_IF_MISSING(landMines);
    Subscriber<StockLandMine> subscriber;
    landMines->Attach(&subscriber);
    const unsigned int today = common::GetCurrentServerDate();
    const unsigned int start = DaysBefore(today, 240);
    landMines->RequestStockLandMineList(L"sz000001", start, today);
    StockLandMine got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockLandMine& v) { return !v.items.empty(); }, got));

    const auto served = [this](unsigned int first, unsigned int last) {
        return Fetch(L"/pc/rt/stock_landmine",
                     {{"stock", "sz000001"},
                      {"start", std::to_string(common::DateToTime(first, 0, 0, 0))},
                      {"end", std::to_string(common::DateToTime(last, 23, 59, 59))}})
            .value("data").toObject().value("list").toArray();
    };
    const QJsonArray all = served(start, today);
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
    const QJsonArray inner = served(innerStart, innerEnd);
    ASSERT_FALSE(inner.isEmpty());
    ASSERT_LT(inner.size(), all.size());
    std::vector<std::wstring> cachedIds, innerIds;
    for (const StockLandMineItem& item : values.back().items) cachedIds.push_back(item.id);
    for (const QJsonValue& item : inner) innerIds.push_back(Wide(item.toObject().value("id")));
    EXPECT_EQ(cachedIds, innerIds);
    landMines->Detach(&subscriber);
}

TEST_F(SimTest, StockNewsReadsTypeAndColumnFromStrings_Sim) {
    IStockNews* news = GetStockNews();
    SKIP_IF_MISSING(news);
    Subscriber<StockNewsInfo> subscriber;
    news->Attach(&subscriber);
    news->RequestStockNewsList(2, L"sz300750", 0, 0, 10);
    StockNewsInfo got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockNewsInfo& v) { return !v.items.empty(); }, got));

    const QJsonArray served = Fetch(L"/v1/market/get_list", {{"unique_key", "sz300750"}, {"type", "2"},
                                                            {"last_time", "0"}, {"refresh_type", "0"}, {"rn", "10"},
                                                            {"time", "0"}})
                                  .value("data").toArray();
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

TEST_F(SimTest, UnusualTradingGroupsArriveNewestDateFirst_Sim) {
    IStockUnusualTrading* unusual = GetStockUnusualTrading();
    SKIP_IF_MISSING(unusual);
    Subscriber<StockUnusualTradingInfo> subscriber;
    unusual->Attach(&subscriber);
    unusual->FetchStockUnusualTrading(L"sh601318");
    StockUnusualTradingInfo got;
    ASSERT_TRUE(subscriber.inbox.WaitFor([](const StockUnusualTradingInfo& v) { return !v.groups.empty(); }, got));

    const QJsonObject groups = Fetch(L"/pc/rt/stock_dragon", {{"stock_arr", "[\"sh601318\"]"}})
                                   .value("data").toObject().value("list").toArray().first().toObject();
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

TEST_F(SimTest, TelegraphViewMatchesTheGroundTruthAfterEditsAndAnOlderPage_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));

    for (int round = 0; round < 14; ++round) {
        sim_->state().Advance(round % 2 == 0 ? 1 : 3);
        ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));
        if (round == 5) {
            auto pages = std::make_shared<Inbox<std::list<TelegraphInfo> > >();
            telegraphs->RequestEarlierTelegraph(observer.view().floor(),
                                                [pages](bool failed, const std::list<TelegraphInfo>& page) {
                                                    if (!failed) pages->Put(page);
                                                });
            std::list<TelegraphInfo> page;
            ASSERT_TRUE(pages->WaitFirst(page));
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
TEST_F(SimTest, TelegraphBacklogLongerThanAPageIsDrainedInOneRefresh_Sim) {
    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    SKIP_IF_MISSING(telegraphs);
    TelegraphRecorder observer;
    telegraphs->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { telegraphs->Refresh(); }));
    // Where the publisher's cursor stands: the newest operation time.
    const unsigned long long cursor = U64(Fetch(L"/pc/roll/batch_show", {{"last_time", "0"}, {"refresh_type", "0"},
                                                                         {"rn", "15"}, {"time", "0"}})
                                              .value("data").toObject().value("list").toArray().first().toObject()
                                              .value("operation_time"));

    sim_->state().Advance(150);
    const long long requestsBefore = sim_->requestCount("/pc/roll/batch_show");
    const int marker = observer.clock.begins();
    telegraphs->Refresh();
    ASSERT_TRUE(observer.clock.WaitForCycleAfter(marker, kHang));
    const long long requests = sim_->requestCount("/pc/roll/batch_show") - requestsBefore;

    int operations = 0;
    std::set<int> hiddenOrShown;
    for (unsigned long long at = cursor;;) {
        const QJsonArray page = Fetch(L"/pc/roll/batch_show", {{"last_time", std::to_string(at)}, {"refresh_type", "0"},
                                                               {"rn", "15"}, {"time", "0"}})
                                    .value("data").toObject().value("list").toArray();
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

TEST_F(SimTest, DepthViewMatchesTheGroundTruthAfterEditsPinsAndAnOlderPage_Sim) {
    IDepthPublisher* depth = GetDepthPublisher();
    SKIP_IF_MISSING(depth);
    DepthRecorder observer;
    depth->Subscribe(&observer);
    ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { depth->Refresh(); }));

    for (int round = 0; round < 16; ++round) {
        sim_->state().Advance(2);
        ASSERT_TRUE(RefreshUntilFreshCycle(observer.clock, [&] { depth->Refresh(); }));
        if (round == 6) {
            auto pages = std::make_shared<Inbox<std::list<DepthArticle> > >();
            depth->RequestEarlierDepth([pages](const std::list<DepthArticle>& page) { pages->Put(page); });
            std::list<DepthArticle> page;
            ASSERT_TRUE(pages->WaitFirst(page));
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

TEST_F(SimTest, ExclusiveColumnViewMatchesTheGroundTruthAfterOperations_Sim) {
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    SKIP_IF_MISSING(exclusive);
    const int column = sim_->state().columnIds().front();
    lxnews::ColumnView view;  // touched on this thread only, after each callback has arrived

    auto pages = std::make_shared<Inbox<std::list<ExclusiveArticle> > >();
    exclusive->RequestArticleList(column, [pages](int, const std::list<ExclusiveArticle>& page) { pages->Put(page); });
    std::list<ExclusiveArticle> page;
    ASSERT_TRUE(pages->WaitFirst(page));
    view.AddPage(page);

    for (int round = 0; round < 16; ++round) {
        sim_->state().Advance(3);
        auto updates = std::make_shared<Inbox<ExclusiveUpdate> >();
        exclusive->RequestArticleListOperation(column,
                                               [updates](int, const ExclusiveUpdate& update) { updates->Put(update); });
        ExclusiveUpdate update;
        ASSERT_TRUE(updates->WaitFirst(update));
        view.Apply(update);
        if (round == 6) {
            auto older = std::make_shared<Inbox<std::list<ExclusiveArticle> > >();
            exclusive->RequestEarlierArticleList(column, view.floor(),
                                                 [older](int, const std::list<ExclusiveArticle>& p) { older->Put(p); });
            ASSERT_TRUE(older->WaitFirst(page));
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

TEST_F(SimTest, TamperedSignatureGetsANonZeroErrnoAndEmptyData_Sim) {
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

TEST_F(SimTest, WrongKeyIsLoggedWithTheServiceErrnoAndDeliversNoCounters_Sim) {
    ICommonPublisher* counters = GetCommonPublisher();
    SKIP_IF_MISSING(counters);
    UrlHelper::SetServiceKey("not-the-service-key");
    auto inbox = std::make_shared<Inbox<CountInfoMap> >();
    counters->RequestCountInfo({880001, 880002}, [inbox](const CountInfoMap& map) { inbox->Put(map); });
    CountInfoMap got;
    ASSERT_TRUE(inbox->WaitFirst(got));  // a non-zero errno still delivers "data", empty here
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(sim_->badSignatureCount(), 1);
    EXPECT_EQ(CountLogLines("CommonPublisher::RequestCountInfo Response Error Code: " +
                            std::to_string(news_sim::kBadSignatureErrno)),
              1);
}

class FaultySimTest : public SimTest {
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

class StallingSimTest : public SimTest {
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

class SlowSimTest : public SimTest {
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

}  // namespace
