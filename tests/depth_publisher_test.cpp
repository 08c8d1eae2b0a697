#include "news_center/feeds/depth_publisher.h"

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/bodies.h"
#include "tests/test_support.h"

using body::Entry;
using body::Info;
using body::Removal;
using hostdouble::Answer;
using hostdouble::Request;
using testsupport::Ids;
using testsupport::RequestsTo;

namespace {

const char kDepthPath[] = "/pc/information/get_depth";
const char kInformPath[] = "/pc/inform/modify";
const char kCountPath[] = "/pc/information/get_count_by_ids";

std::string Article(int id, unsigned long long score, bool top = false, int type = 2) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) +
           ",\"sort_score\":" + std::to_string(score) + ",\"is_top\":" + (top ? "true" : "false") + "}";
}

std::string Banner(const std::string& title) {
    return "{\"title\":\"" + title + "\",\"img\":\"i\",\"jump\":\"j\"}";
}

std::string DepthBody(const std::vector<std::string>& articles, const std::vector<std::string>& banners = {},
                      int errorNumber = 0) {
    return "{\"errno\":" + std::to_string(errorNumber) + ",\"time\":1,\"data\":{\"banner\":[" +
           body::Join(banners) + "],\"list\":[" + body::Join(articles) + "]}}";
}

// An edit of a depth article, as "info" carries it.
std::string Edit(int id, unsigned long long score, bool top = false, const std::string& title = "edited") {
    return Entry("modify", id,
                 Info(id, score, 1, 0, std::string("\"is_top\":") + (top ? "true" : "false") + ",\"title\":\"" +
                                           title + "\""));
}

class Recorder : public IDepthObserver {
public:
    void OnDepthRefreshBegin() override { ++begins; }
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override {
        this->failed.push_back(failed);
        updates.push_back(changes);
    }
    void OnDepthCountersUpdate(CountInfoMap map) override { counters.push_back(map); }

    int begins = 0;
    std::vector<bool> failed;
    std::vector<DepthUpdate> updates;
    std::vector<CountInfoMap> counters;
};

using PageCapture = testsupport::Capture<const std::list<DepthArticle>&>;

class DepthPublisherTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        publisher_ = static_cast<CDepthPublisher*>(GetDepthPublisher());
        // The thread's own first cycle finds nobody subscribed; cycles are then
        // driven through Refresh on this thread.
        while (publisher_->threadCycleCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        hostdouble::SetSyncHandler([this](const Request& request) {
            std::lock_guard<std::mutex> lock(answerMutex_);
            return request.path == kDepthPath ? depthAnswer_ : informAnswer_;
        });
    }

    // One refresh cycle through the task manager with these answers.
    void Cycle(const Answer& depth, const Answer& inform = Answer::Ok(body::ModifyPage({}))) {
        {
            std::lock_guard<std::mutex> lock(answerMutex_);
            depthAnswer_ = depth;
            informAnswer_ = inform;
        }
        publisher_->Refresh();
        hostdouble::RunPendingTasks();
    }
    void Cycle(const std::string& depthBody, const std::vector<std::string>& informEntries = {}) {
        Cycle(Answer::Ok(depthBody), Answer::Ok(body::ModifyPage(informEntries)));
    }

    std::string LastCounterIds() {
        const std::vector<Request> requests = RequestsTo(kCountPath);
        return requests.empty() ? "(none)" : requests.back().param("ids");
    }
    const DepthUpdate& LastUpdate() { return observer_.updates.back(); }

    // Pinned 1, then 2 and 3.
    void LoadThree() {
        publisher_->Subscribe(&observer_);
        Cycle(DepthBody({Article(1, 9000000, true), Article(2, 8000000), Article(3, 7000000)}, {Banner("a")}));
        ASSERT_EQ("1,2,3", LastCounterIds());
        AnswerCounters();
    }
    // Completes the oldest pending completion, a counter request.
    void AnswerCounters() { hostdouble::CompleteNext(true, "{\"data\":{}}"); }

    CDepthPublisher* publisher_ = nullptr;
    Recorder observer_;
    std::mutex answerMutex_;
    Answer depthAnswer_;
    Answer informAnswer_;
};

TEST_F(DepthPublisherTest, NothingIsFetchedWithoutAnObserver) {
    publisher_->Refresh();
    hostdouble::RunPendingTasks();
    publisher_->Subscribe(&observer_);
    publisher_->Unsubscribe(&observer_);
    publisher_->Refresh();
    hostdouble::RunPendingTasks();
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(0, observer_.begins);
}

TEST_F(DepthPublisherTest, ObserverSubscribedTwiceIsCalledOnce) {
    publisher_->Subscribe(&observer_);
    publisher_->Subscribe(&observer_);
    publisher_->Subscribe(nullptr);
    Cycle(DepthBody({Article(2, 8000)}));
    EXPECT_EQ(1, observer_.begins);
    EXPECT_EQ(1u, observer_.updates.size());
}

TEST_F(DepthPublisherTest, FirstCycleCachesEveryDepthArticleAndReportsThemAdded) {
    publisher_->Subscribe(&observer_);
    Cycle(DepthBody({Article(2, 8000), Article(1, 9000, true), Article(3, 7000), Article(4, 9500, false, 3)},
                    {Banner("a"), Banner("b")}));
    EXPECT_EQ(1, observer_.begins);
    ASSERT_EQ(1u, observer_.updates.size());
    EXPECT_FALSE(observer_.failed[0]);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Ids(LastUpdate().added));
    EXPECT_TRUE(LastUpdate().modified.empty());
    EXPECT_TRUE(LastUpdate().removed.empty());
    EXPECT_EQ(2u, LastUpdate().banners.size());

    // The first load takes the page as it stands: no inform-modify request.
    const std::vector<Request> requests = hostdouble::Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(kDepthPath, requests[0].path);
    EXPECT_TRUE(requests[0].sync);
    EXPECT_EQ(30, requests[0].timeout);
    EXPECT_EQ("0", requests[0].param("last_time"));
    EXPECT_EQ("0", requests[0].param("refresh_type"));
    EXPECT_EQ("1", requests[0].param("last_is_stickies"));
    EXPECT_EQ(kCountPath, requests[1].path);
    EXPECT_EQ("1,2,3", requests[1].param("ids"));

    hostdouble::CompleteNext(true, "{\"data\":{\"reading_num\":{\"2\":40}}}");
    ASSERT_EQ(1u, observer_.counters.size());
    EXPECT_EQ(40, observer_.counters[0][2].reading_num);
}

TEST_F(DepthPublisherTest, LaterCycleFoldsInEditsRemovalsAndNewerArticles) {
    LoadThree();
    Cycle(DepthBody({Article(2, 8000000), Article(5, 8500000), Article(6, 8000000)}, {Banner("a")}),
          {Entry("modify", 3, Info(3, 7000000, 1, 0, "\"title\":\"new\""), 2, 8100),
           Removal("del", 2, 2, 8200)});
    std::vector<Request> inform = RequestsTo(kInformPath);
    ASSERT_EQ(1u, inform.size());
    EXPECT_EQ("8000", inform[0].param("last_time"));  // the newest normal article's score / 1000
    EXPECT_EQ("0", inform[0].param("time"));

    ASSERT_EQ(2u, observer_.updates.size());
    EXPECT_EQ((std::vector<int>{5}), Ids(LastUpdate().added));
    ASSERT_EQ((std::vector<int>{3}), Ids(LastUpdate().modified));
    EXPECT_EQ(L"new", LastUpdate().modified.front().title);
    EXPECT_EQ((std::list<int>{2}), LastUpdate().removed);
    EXPECT_TRUE(LastUpdate().banners.empty());
    EXPECT_EQ("1,5,3", LastCounterIds());

    hostdouble::QueueSyncAnswer(Answer::Ok(DepthBody({})));
    hostdouble::QueueSyncAnswer(Answer::Ok(body::ModifyPage({}, 0)));
    publisher_->Refresh();
    hostdouble::RunPendingTasks();
    inform = RequestsTo(kInformPath);
    ASSERT_EQ(2u, inform.size());
    EXPECT_EQ("8200", inform[1].param("last_time"));
}

TEST_F(DepthPublisherTest, NewArticlesMustBeNewerThanTheNewestOfTheirOwnList) {
    publisher_->Subscribe(&observer_);
    Cycle(DepthBody({Article(1, 9000000, true), Article(2, 5000000)}));
    Cycle(DepthBody({Article(6, 8000000, true), Article(7, 6000000), Article(8, 5000000)}));
    EXPECT_EQ((std::vector<int>{7}), Ids(LastUpdate().added));
    Cycle(DepthBody({Article(1, 9000000, true), Article(7, 6000000), Article(9, 100)}));
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_EQ("1,7,2", LastCounterIds());
}

TEST_F(DepthPublisherTest, EditKeepingScoreAndPinOverwritesInPlace) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}), {Edit(1, 9000000, true), Edit(2, 8000000)});
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(LastUpdate().modified));
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_TRUE(LastUpdate().removed.empty());
    EXPECT_EQ("1,2,3", LastCounterIds());
}

TEST_F(DepthPublisherTest, PinChangeIsReportedAsModifiedRemovedAndAdded) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}), {Edit(3, 7000000, true)});
    EXPECT_EQ((std::vector<int>{3}), Ids(LastUpdate().modified));
    EXPECT_EQ((std::list<int>{3}), LastUpdate().removed);
    EXPECT_EQ((std::vector<int>{3}), Ids(LastUpdate().added));
    EXPECT_EQ("1,3,2", LastCounterIds());

    // Unpinned below the oldest loaded article: it leaves and does not come back.
    Cycle(DepthBody({}, {Banner("a")}), {Edit(1, 6000000, false)});
    EXPECT_EQ((std::list<int>{1}), LastUpdate().removed);
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_EQ("3,2", LastCounterIds());
}

TEST_F(DepthPublisherTest, ScoreChangeMovesTheArticleWithinItsList) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}), {Edit(3, 8500000), Edit(1, 9100000, true)});
    EXPECT_EQ((std::list<int>{1, 3}), LastUpdate().removed);
    EXPECT_EQ((std::vector<int>{1, 3}), Ids(LastUpdate().added));
    EXPECT_EQ("1,3,2", LastCounterIds());
    // Unpinned above the oldest loaded article: it moves into the normal list.
    Cycle(DepthBody({}, {Banner("a")}), {Edit(1, 7500000, false)});
    EXPECT_EQ((std::vector<int>{1}), Ids(LastUpdate().added));
    EXPECT_EQ("3,2,1", LastCounterIds());
}

TEST_F(DepthPublisherTest, EditOfAnArticleNotCachedIsOnlyReported) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}), {Edit(40, 7500000), Removal("del", 41)});
    EXPECT_EQ((std::vector<int>{40}), Ids(LastUpdate().modified));
    EXPECT_TRUE(LastUpdate().removed.empty());
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_EQ("1,2,3", LastCounterIds());
}

TEST_F(DepthPublisherTest, FreshArticleAlsoEditedOrRemovedInTheSameCycle) {
    LoadThree();
    Cycle(DepthBody({Article(5, 9000000), Article(6, 8800000), Article(7, 8600000)}, {Banner("a")}),
          {Edit(5, 8900000), Edit(6, 8900000), Removal("del", 7)});
    // 5 is newer than its edit and replaces it; 6 is not and is dropped; 7 was removed.
    EXPECT_EQ((std::vector<int>{5}), Ids(LastUpdate().added));
    EXPECT_EQ((std::vector<int>{6}), Ids(LastUpdate().modified));
    EXPECT_TRUE(LastUpdate().removed.empty());
    EXPECT_EQ("1,5,2,3", LastCounterIds());
}

TEST_F(DepthPublisherTest, ShownArticleOlderThanWhatIsLoadedIsLeftOut) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}),
          {Entry("show", 9, Info(9, 1000)), Entry("show", 10, Info(10, 7500000)), Entry("show", 11, Info(11, 7000000))});
    EXPECT_EQ((std::vector<int>{10, 11}), Ids(LastUpdate().added));
    EXPECT_EQ("1,2,10,3,11", LastCounterIds());
}

TEST_F(DepthPublisherTest, BannersAreReportedOnlyWhenTheyChange) {
    publisher_->Subscribe(&observer_);
    Cycle(DepthBody({Article(2, 8000)}, {Banner("a"), Banner("b")}));
    EXPECT_EQ(2u, LastUpdate().banners.size());
    Cycle(DepthBody({}, {Banner("a"), Banner("b")}));
    EXPECT_TRUE(LastUpdate().banners.empty());
    Cycle(DepthBody({}, {Banner("a"), Banner("c")}));
    ASSERT_EQ(2u, LastUpdate().banners.size());
    EXPECT_EQ(L"a", LastUpdate().banners.front().title);
    EXPECT_EQ(L"c", LastUpdate().banners.back().title);
    Cycle(DepthBody({}, {Banner("a")}));
    EXPECT_EQ(1u, LastUpdate().banners.size());

    // A failed fetch clears the cached banners, so the same list is news again.
    Cycle(Answer::Fail());
    EXPECT_TRUE(observer_.failed.back());
    EXPECT_TRUE(LastUpdate().banners.empty());
    Cycle(DepthBody({}, {Banner("a")}));
    EXPECT_FALSE(observer_.failed.back());
    EXPECT_EQ(1u, LastUpdate().banners.size());
}

TEST_F(DepthPublisherTest, FailedFetchReportsFailureAndSkipsTheMerge) {
    LoadThree();
    Cycle(Answer::Fail(), Answer::Ok(body::ModifyPage({Removal("del", 2)})));
    EXPECT_TRUE(observer_.failed.back());
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_TRUE(LastUpdate().removed.empty());
    EXPECT_TRUE(RequestsTo(kInformPath).empty());
    EXPECT_TRUE(hostdouble::Logs().empty());
    EXPECT_EQ(2, observer_.begins);
}

TEST_F(DepthPublisherTest, BodyCutInHalfIsLoggedAndActsAsAnEmptyResponse) {
    LoadThree();
    const std::string body = DepthBody({Article(5, 9900000)}, {Banner("a")});
    Cycle(Answer::Ok(body.substr(0, body.size() / 2)));
    ASSERT_EQ(1u, hostdouble::Logs().size());
    EXPECT_EQ(0u, hostdouble::Logs()[0].text.find(L"DepthPublisher::NotifySubscriber Json Parse Error Code: "));
    EXPECT_FALSE(observer_.failed.back());
    EXPECT_TRUE(LastUpdate().added.empty());
    EXPECT_TRUE(RequestsTo(kInformPath).empty());
}

TEST_F(DepthPublisherTest, NonZeroErrnoIsLoggedAndTheDataStillUsed) {
    LoadThree();
    Cycle(Answer::Ok(DepthBody({Article(5, 9900000)}, {Banner("a")}, 7)),
          Answer::Ok(body::ModifyPage({Removal("del", 3)}, 5, 2)));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::NotifySubscriber Response Error Code: 7"));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::MergeInformModifyListToCache Response Error Code: 2"));
    EXPECT_EQ((std::vector<int>{5}), Ids(LastUpdate().added));
    EXPECT_EQ((std::list<int>{3}), LastUpdate().removed);
}

TEST_F(DepthPublisherTest, FailedInformModifyIsLoggedAndTheCycleGoesOn) {
    LoadThree();
    Cycle(Answer::Ok(DepthBody({Article(5, 9900000)}, {Banner("a")})), Answer::Fail());
    const std::vector<Request> inform = RequestsTo(kInformPath);
    ASSERT_EQ(1u, inform.size());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::RequestInformModify Failed: url = " + inform[0].url));
    EXPECT_EQ((std::vector<int>{5}), Ids(LastUpdate().added));
}

TEST_F(DepthPublisherTest, CountersAskForThePinnedFirstAndFifteenInAll) {
    publisher_->Subscribe(&observer_);
    std::vector<std::string> articles;
    for (int i = 1; i <= 17; ++i)
        articles.push_back(Article(i, 1000000 - i * 1000));
    for (int i = 101; i <= 103; ++i)
        articles.push_back(Article(i, 500 - i, true));
    Cycle(DepthBody(articles));
    EXPECT_EQ("101,102,103,1,2,3,4,5,6,7,8,9,10,11,12", LastCounterIds());
    EXPECT_EQ(30, RequestsTo(kCountPath).back().timeout);
}

TEST_F(DepthPublisherTest, EmptyCacheAsksNoCounters) {
    publisher_->Subscribe(&observer_);
    Cycle(DepthBody({}));
    EXPECT_EQ(1u, observer_.updates.size());
    EXPECT_TRUE(RequestsTo(kCountPath).empty());
}

TEST_F(DepthPublisherTest, EarlierDepthOnAnEmptyCacheStartsARefreshInstead) {
    publisher_->Subscribe(&observer_);
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    ASSERT_EQ(1, capture.calls());
    EXPECT_TRUE(capture.arg(0).empty());
    EXPECT_EQ(0u, hostdouble::RequestCount());
    EXPECT_EQ(1u, hostdouble::PendingTaskCount());

    publisher_->RequestEarlierDepth(DepthArticleCallback());
    EXPECT_EQ(2u, hostdouble::PendingTaskCount());
    {
        std::lock_guard<std::mutex> lock(answerMutex_);
        depthAnswer_ = Answer::Ok(DepthBody({Article(2, 8000)}));
    }
    hostdouble::RunPendingTasks();
    EXPECT_EQ(2u, observer_.updates.size());
    EXPECT_EQ((std::vector<int>{2}), Ids(observer_.updates[0].added));
    EXPECT_EQ("0", RequestsTo(kDepthPath)[0].param("refresh_type"));
}

TEST_F(DepthPublisherTest, EarlierDepthWithAnEmptyCallbackDoesNothing) {
    LoadThree();
    const std::size_t before = hostdouble::RequestCount();
    publisher_->RequestEarlierDepth(DepthArticleCallback());
    EXPECT_EQ(before, hostdouble::RequestCount());
    EXPECT_EQ(0u, hostdouble::PendingTaskCount());
}

TEST_F(DepthPublisherTest, EarlierPageCachesAndHandsOnOnlyNewArticles) {
    LoadThree();
    const std::size_t updates = observer_.updates.size();
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    const Request request = RequestsTo(kDepthPath).back();
    EXPECT_FALSE(request.sync);
    EXPECT_EQ(5, request.timeout);
    EXPECT_EQ("7000000", request.param("last_time"));
    EXPECT_EQ("1", request.param("refresh_type"));
    EXPECT_EQ("0", request.param("last_is_stickies"));

    hostdouble::CompleteNext(true, DepthBody({Article(3, 7000000), Article(5, 6500000, true), Article(4, 6000000),
                                              Article(12, 5000000, false, 3)}));
    ASSERT_EQ(1, capture.calls());
    EXPECT_EQ((std::vector<int>{5, 4}), Ids(capture.arg(0)));
    EXPECT_EQ(updates, observer_.updates.size());

    publisher_->RequestEarlierDepth(capture.callback());
    EXPECT_EQ("6000000", RequestsTo(kDepthPath).back().param("last_time"));
    Cycle(DepthBody({}, {Banner("a")}));
    EXPECT_EQ("1,5,2,3,4", LastCounterIds());
}

TEST_F(DepthPublisherTest, EarlierPageAlreadyCachedGivesNothingButMovesEarliest) {
    LoadThree();
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::CompleteNext(true, DepthBody({Article(3, 7000000), Article(2, 8000000)}));
    ASSERT_EQ(1, capture.calls());
    EXPECT_TRUE(capture.arg(0).empty());
    publisher_->RequestEarlierDepth(capture.callback());
    EXPECT_EQ("8000000", RequestsTo(kDepthPath).back().param("last_time"));
}

TEST_F(DepthPublisherTest, EarlierPageWithOnlyPinnedArticlesCachedAsksForStickies) {
    publisher_->Subscribe(&observer_);
    Cycle(DepthBody({Article(1, 9000, true)}));
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    EXPECT_EQ("9000", RequestsTo(kDepthPath).back().param("last_time"));
    EXPECT_EQ("1", RequestsTo(kDepthPath).back().param("last_is_stickies"));
}

TEST_F(DepthPublisherTest, EarlierPageFailuresGiveAnEmptyListAndTheirLogLine) {
    LoadThree();
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::CompleteNext(false, DepthBody({Article(4, 6000000)}));
    publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::CompleteNext(true, "{\"data\":{\"list\":[");
    publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::CompleteNextRaw(true, nullptr, 12);
    ASSERT_EQ(3, capture.calls());
    for (const auto& page : capture.all())
        EXPECT_TRUE(std::get<0>(page).empty());
    const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
    ASSERT_EQ(2u, logs.size());
    EXPECT_TRUE(logs[0].viaString);
    EXPECT_EQ(-1, logs[0].level);
    EXPECT_EQ(L"DepthPublisher::RequestEarlierDepth Code fail", logs[0].text);
    EXPECT_EQ(0u, logs[1].text.find(L"DepthPublisher::RequestEarlierDepth Json Parse Error Code: "));

    publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::CompleteNext(true, DepthBody({Article(4, 6000000)}, {}, 9));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::RequestEarlierDepth Response Error Code: 9"));
    EXPECT_EQ((std::vector<int>{4}), Ids(capture.last()));
}

TEST_F(DepthPublisherTest, ConcurrentEarlierPagesCacheEachArticleOnce) {
    LoadThree();
    const int kRequests = 8;
    PageCapture capture;
    for (int i = 0; i < kRequests; ++i)
        publisher_->RequestEarlierDepth(capture.callback());
    hostdouble::DeliverConcurrently(
        [](const Request&, std::size_t i) {
            // Overlapping pages: ids i+10 .. i+14.
            std::vector<std::string> articles;
            for (int id = static_cast<int>(i) + 10; id < static_cast<int>(i) + 15; ++id)
                articles.push_back(Article(id, 6000000 - id));
            return DepthBody(articles);
        },
        kRequests);
    ASSERT_EQ(kRequests, capture.calls());
    std::multiset<int> delivered;
    for (const auto& page : capture.all())
        for (const DepthArticle& article : std::get<0>(page))
            delivered.insert(article.id);
    EXPECT_EQ(static_cast<std::size_t>(kRequests + 4), delivered.size());
    for (int id = 10; id < kRequests + 14; ++id)
        EXPECT_EQ(1u, delivered.count(id)) << id;
}

TEST_F(DepthPublisherTest, WorkDeliveredAfterTeardownTouchesNothing) {
    LoadThree();
    Cycle(DepthBody({}, {Banner("a")}));
    PageCapture capture;
    publisher_->RequestEarlierDepth(capture.callback());
    HttpCompletion lateCounters = hostdouble::TakeNext();
    HttpCompletion latePage = hostdouble::TakeNext();
    publisher_->Refresh();
    boost::function<void()> lateRefresh = hostdouble::TakeTask();
    ASSERT_TRUE(lateRefresh);
    const std::size_t requests = hostdouble::RequestCount();
    const std::size_t updates = observer_.updates.size();
    const std::size_t counterUpdates = observer_.counters.size();

    DestroyAllPublisher();
    const std::string page = DepthBody({Article(4, 6000000)}, {}, 3);
    latePage(true, page.data(), static_cast<long long>(page.size()));
    latePage(false, nullptr, 0);
    const std::string counters = "{\"data\":{\"reading_num\":{\"1\":2}}}";
    lateCounters(true, counters.data(), static_cast<long long>(counters.size()));
    lateRefresh();

    EXPECT_EQ(0, capture.calls());
    EXPECT_EQ(updates, observer_.updates.size());
    EXPECT_EQ(counterUpdates, observer_.counters.size());
    EXPECT_EQ(requests, hostdouble::RequestCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST(DepthArticleParserTest, ReadsEveryFieldByTheCommonRules) {
    const std::string text =
        "{\"id\":7,\"short_title\":\"s\",\"title\":\"t\",\"author\":\"a\",\"brief\":\"b\",\"img\":\"i\","
        "\"jump\":\"j\",\"ctime\":1700000000,\"sort_score\":18446744073709549568,\"recommend\":1,"
        "\"is_top\":true,\"reading_num\":2.9,\"comment_num\":-3.7,\"status\":1,\"shareurl\":\"su\","
        "\"showurl\":\"wu\",\"unknown\":5,\"article_rec\":[{\"article_id\":\"42\",\"name\":\"n\","
        "\"showurl\":\"x\"},{\"article_id\":43},{\"article_id\":\"4x\"}]}";
    const DepthArticle article =
        news_center::internal::ParseDepthArticle(QJsonDocument::fromJson(QByteArray(text.c_str())).object());
    EXPECT_EQ(7, article.id);
    EXPECT_EQ(L"s", article.short_title);
    EXPECT_EQ(L"t", article.title);
    EXPECT_EQ(L"a", article.author);
    EXPECT_EQ(L"b", article.brief);
    EXPECT_EQ(L"i", article.img);
    EXPECT_EQ(L"j", article.jump);
    EXPECT_EQ(1700000000u, article.ctime);
    EXPECT_EQ(18446744073709549568ULL, article.sort_score);
    EXPECT_TRUE(article.recommend);
    EXPECT_TRUE(article.is_top);
    EXPECT_EQ(2, article.reading_num);
    EXPECT_EQ(-3, article.comment_num);
    EXPECT_EQ(1, article.status);
    EXPECT_EQ(L"su", article.shareurl);
    EXPECT_EQ(L"wu", article.showurl);
    ASSERT_EQ(3u, article.article_rec.size());
    EXPECT_EQ(42, article.article_rec[0].article_id);
    EXPECT_EQ(L"n", article.article_rec[0].name);
    EXPECT_EQ(L"x", article.article_rec[0].showurl);
    EXPECT_EQ(0, article.article_rec[1].article_id);
    EXPECT_EQ(0, article.article_rec[2].article_id);
}

TEST(DepthArticleParserTest, WrongTypesReadAsDefaults) {
    const std::string text =
        "{\"id\":\"7\",\"title\":5,\"sort_score\":\"9\",\"recommend\":\"true\",\"is_top\":1,"
        "\"reading_num\":\"3\",\"article_rec\":{}}";
    const DepthArticle article =
        news_center::internal::ParseDepthArticle(QJsonDocument::fromJson(QByteArray(text.c_str())).object());
    EXPECT_EQ(0, article.id);
    EXPECT_EQ(L"", article.title);
    EXPECT_EQ(0u, article.sort_score);
    EXPECT_TRUE(article.recommend);  // QVariant's reading of a string
    EXPECT_FALSE(article.is_top);
    EXPECT_EQ(0, article.reading_num);
    EXPECT_TRUE(article.article_rec.empty());
}

}  // namespace
