#include "news_center/feeds/exclusive_publisher.h"

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDateTime>

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
using news_center::internal::MergeArticlePage;

namespace {

const char kArticlePath[] = "/pc/exclusive/column_article_list";
const char kInformPath[] = "/pc/inform/modify";

std::string Article(int id, unsigned long long score, int type = 2) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) +
           ",\"sort_score\":" + std::to_string(score) + ",\"title\":\"t" + std::to_string(id) + "\"}";
}

std::string ListBody(const std::vector<std::string>& articles, int errorNumber = 0) {
    return "{\"errno\":" + std::to_string(errorNumber) + ",\"data\":{\"list\":[" + body::Join(articles) + "]}}";
}

// An edit in column `column`.
std::string Edit(int id, unsigned long long score, int column, const std::string& operation = "modify") {
    return Entry(operation, id, Info(id, score, 1, column, "\"title\":\"edited\""));
}

std::list<ExclusiveArticle> Articles(const std::vector<std::pair<int, unsigned long long> >& items) {
    std::list<ExclusiveArticle> articles;
    for (const auto& item : items) {
        ExclusiveArticle article;
        article.id = item.first;
        article.sort_score = item.second;
        articles.push_back(article);
    }
    return articles;
}

// Records every callback; safe from several network threads.
struct Capture {
    testsupport::Capture<const std::list<ExclusiveColumn>&> columns;
    testsupport::Capture<int, const std::list<ExclusiveArticle>&> pages;
    testsupport::Capture<int, const ExclusiveUpdate&> updates;
};

class ExclusivePublisherTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        publisher_ = GetExclusivePublisher();
        SetInformAnswer(Answer::Ok(body::ModifyPage({})));
        hostdouble::SetSyncHandler([this](const Request&) {
            std::lock_guard<std::mutex> lock(answerMutex_);
            return informAnswer_;
        });
    }
    void SetInformAnswer(const Answer& answer) {
        std::lock_guard<std::mutex> lock(answerMutex_);
        informAnswer_ = answer;
    }

    void LoadFirstPage(int column, const std::vector<std::string>& articles) {
        publisher_->RequestArticleList(column, capture_.pages.callback());
        hostdouble::CompleteNext(true, ListBody(articles));
    }
    // An incremental refresh answered with `listBody` and these inform-modify entries.
    ExclusiveUpdate Operation(int column, const std::string& listBody,
                                     const std::vector<std::string>& informEntries = {}) {
        SetInformAnswer(Answer::Ok(body::ModifyPage(informEntries, 777)));
        publisher_->RequestArticleListOperation(column, capture_.updates.callback());
        hostdouble::CompleteNext(true, listBody);
        EXPECT_EQ(column, capture_.updates.last<0>());
        return capture_.updates.last<1>();
    }
    Request LastInformRequest() {
        const std::vector<Request> requests = RequestsTo(kInformPath);
        return requests.empty() ? Request() : requests.back();
    }

    IExclusivePublisher* publisher_ = nullptr;
    Capture capture_;
    std::mutex answerMutex_;
    Answer informAnswer_;
};

// --- page merge -------------------------------------------------------------------

TEST(ExclusivePageMergeTest, EmptyCacheBecomesThePage) {
    std::list<ExclusiveArticle> cache;
    MergeArticlePage(cache, Articles({{1, 50}, {2, 40}}));
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(cache));
}

TEST(ExclusivePageMergeTest, IdenticalPageChangesNothing) {
    std::list<ExclusiveArticle> cache = Articles({{1, 50}, {2, 40}});
    MergeArticlePage(cache, Articles({{1, 50}, {2, 40}}));
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(cache));
    MergeArticlePage(cache, Articles({}));
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(cache));
}

TEST(ExclusivePageMergeTest, PagesWhollyNewerOrOlderAreSplicedWhole) {
    std::list<ExclusiveArticle> cache = Articles({{1, 50}, {2, 40}});
    MergeArticlePage(cache, Articles({{3, 30}, {4, 20}}));
    MergeArticlePage(cache, Articles({{5, 70}, {6, 60}}));
    EXPECT_EQ((std::vector<int>{5, 6, 1, 2, 3, 4}), Ids(cache));
}

TEST(ExclusivePageMergeTest, EqualScoreWithAnotherIdAtAnEndSplicesWhole) {
    std::list<ExclusiveArticle> cache = Articles({{1, 50}, {2, 40}});
    MergeArticlePage(cache, Articles({{7, 60}, {8, 50}}));
    EXPECT_EQ((std::vector<int>{7, 8, 1, 2}), Ids(cache));
    MergeArticlePage(cache, Articles({{9, 40}, {10, 30}}));
    EXPECT_EQ((std::vector<int>{7, 8, 1, 2, 9, 10}), Ids(cache));

    // Only the ends are compared: a page that repeats a cached article is spliced
    // whole all the same.
    cache = Articles({{1, 50}, {2, 40}});
    MergeArticlePage(cache, Articles({{1, 50}, {8, 50}}));
    EXPECT_EQ((std::vector<int>{1, 8, 1, 2}), Ids(cache));
    cache = Articles({{1, 50}, {2, 40}});
    MergeArticlePage(cache, Articles({{9, 40}, {2, 40}}));
    EXPECT_EQ((std::vector<int>{1, 2, 9, 2}), Ids(cache));
}

TEST(ExclusivePageMergeTest, OverlappingPageIsMergedArticleByArticle) {
    std::list<ExclusiveArticle> cache = Articles({{1, 50}, {2, 40}, {3, 30}});
    MergeArticlePage(cache, Articles({{1, 50}, {4, 45}, {6, 40}, {3, 30}, {5, 25}}));
    // 6 shares 2's score but not its id: it goes in before 2.
    EXPECT_EQ((std::vector<int>{1, 4, 6, 2, 3, 5}), Ids(cache));
}

// --- column list ----------------------------------------------------------------------

TEST_F(ExclusivePublisherTest, ColumnListIsParsedInOrder) {
    publisher_->RequestColumnList(capture_.columns.callback());
    const Request request = hostdouble::Requests().back();
    EXPECT_EQ("/pc/exclusive/column_list", request.path);
    EXPECT_TRUE(request.params.empty());
    EXPECT_EQ(30, request.timeout);
    EXPECT_FALSE(request.sync);
    hostdouble::CompleteNext(true,
                             "{\"errno\":0,\"data\":{\"column_list\":[{\"column_id\":3,\"title\":\"t\","
                             "\"unread_pic\":\"u\",\"frontpage_pic\":\"f\",\"calendar_pic\":\"c\","
                             "\"calendar_color\":\"#fff\",\"neican_pic\":\"n\"},{\"column_id\":\"4\"}]}}");
    ASSERT_EQ(1u, capture_.columns.count());
    const std::list<ExclusiveColumn>& columns = capture_.columns.arg(0);
    ASSERT_EQ(2u, columns.size());
    const ExclusiveColumn& first = columns.front();
    EXPECT_EQ(3, first.column_id);
    EXPECT_EQ(L"t", first.title);
    EXPECT_EQ(L"u", first.unread_pic);
    EXPECT_EQ(L"f", first.frontpage_pic);
    EXPECT_EQ(L"c", first.calendar_pic);
    EXPECT_EQ(L"#fff", first.calendar_color);
    EXPECT_EQ(L"n", first.neican_pic);
    EXPECT_EQ(0, columns.back().column_id);
}

TEST_F(ExclusivePublisherTest, ColumnListFailuresDeliverAnEmptyListAndErrnoKeepsTheList) {
    publisher_->RequestColumnList(capture_.columns.callback());
    hostdouble::CompleteNext(false, "");
    publisher_->RequestColumnList(capture_.columns.callback());
    hostdouble::CompleteNext(true, "{\"data\":{\"column_list\":[{");
    publisher_->RequestColumnList(capture_.columns.callback());
    hostdouble::CompleteNext(true, "{\"data\":[1]}");
    publisher_->RequestColumnList(capture_.columns.callback());
    hostdouble::CompleteNext(true, "{\"errno\":3,\"data\":{\"column_list\":[{\"column_id\":5}]}}");
    publisher_->RequestColumnList(ExclusiveColumnCallback());
    hostdouble::CompleteNext(true, "{\"data\":{\"column_list\":[{\"column_id\":5}]}}");

    ASSERT_EQ(4u, capture_.columns.count());
    EXPECT_TRUE(capture_.columns.arg(0).empty());
    EXPECT_TRUE(capture_.columns.arg(1).empty());
    EXPECT_TRUE(capture_.columns.arg(2).empty());
    EXPECT_EQ(1u, capture_.columns.arg(3).size());
}

// --- article pages ----------------------------------------------------------------------

TEST_F(ExclusivePublisherTest, FirstPageKeepsTypes2And3AndReachesTheCallbackWhole) {
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000, 3), Article(3, 3000000, 1)});
    const Request request = RequestsTo(kArticlePath).back();
    EXPECT_EQ("7", request.param("column_id"));
    EXPECT_EQ("15", request.param("rn"));
    EXPECT_FALSE(request.has("last_time"));
    EXPECT_EQ(30, request.timeout);
    ASSERT_EQ(1u, capture_.pages.count());
    EXPECT_EQ(7, capture_.pages.arg<0>(0));
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(capture_.pages.arg<1>(0)));
    EXPECT_EQ(L"t1", capture_.pages.arg<1>(0).front().title);

    // A repeat is skipped by the cache but still handed on whole.
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000, 3)});
    EXPECT_EQ((std::vector<int>{1, 2}), Ids(capture_.pages.arg<1>(1)));
}

TEST_F(ExclusivePublisherTest, FirstPageSeedsTheCursorAndEarliestOfItsColumn) {
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000)});
    const ExclusiveUpdate update =
        Operation(7, ListBody({}), {Edit(8, 4500000, 7, "show"), Edit(9, 3900000, 7, "show")});
    EXPECT_EQ("5000", LastInformRequest().param("last_time"));
    EXPECT_EQ("0", LastInformRequest().param("time"));
    EXPECT_TRUE(LastInformRequest().sync);
    // 9 is older than anything loaded.
    EXPECT_EQ((std::vector<int>{8}), Ids(update.added));
}

TEST_F(ExclusivePublisherTest, EarlierPageIsAppendedAndLowersEarliest) {
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000)});
    publisher_->RequestEarlierArticleList(7, 4000000, capture_.pages.callback());
    const Request request = RequestsTo(kArticlePath).back();
    EXPECT_EQ("4000000", request.param("last_time"));
    EXPECT_EQ("1", request.param("refresh_type"));
    EXPECT_EQ("10", request.param("rn"));
    hostdouble::CompleteNext(true, ListBody({Article(4, 3500000), Article(5, 3000000)}));
    EXPECT_EQ((std::vector<int>{4, 5}), Ids(capture_.pages.last<1>()));

    const ExclusiveUpdate update = Operation(7, ListBody({}), {Edit(9, 3200000, 7, "show")});
    EXPECT_EQ((std::vector<int>{9}), Ids(update.added));
}

TEST_F(ExclusivePublisherTest, ColumnsKeepTheirOwnState) {
    LoadFirstPage(7, {Article(1, 5000000)});
    LoadFirstPage(8, {Article(2, 9000000)});
    Operation(8, ListBody({}));
    EXPECT_EQ("9000", LastInformRequest().param("last_time"));
    Operation(7, ListBody({}));
    EXPECT_EQ("5000", LastInformRequest().param("last_time"));
}

// Log lines and call counts of every failure: failure_log_test.cpp.
TEST_F(ExclusivePublisherTest, PageFailuresDeliverAnEmptyPageOfTheirColumnAndErrnoKeepsThePage) {
    for (bool earlier : {false, true}) {
        Capture capture;
        const auto send = [&] {
            if (earlier)
                publisher_->RequestEarlierArticleList(4, 100, capture.pages.callback());
            else
                publisher_->RequestArticleList(4, capture.pages.callback());
        };
        send();
        hostdouble::CompleteNext(false, ListBody({Article(1, 50)}));
        send();
        const std::string body = ListBody({Article(1, 50)});
        hostdouble::CompleteNext(true, body.substr(0, body.size() - 3));
        send();
        hostdouble::CompleteNext(true, "");
        send();
        hostdouble::CompleteNext(true, ListBody({Article(1, 50)}, 2));

        ASSERT_EQ(4u, capture.pages.count());
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(4, capture.pages.arg<0>(i));
            EXPECT_TRUE(capture.pages.arg<1>(i).empty());
        }
        EXPECT_EQ(1u, capture.pages.arg<1>(3).size());
    }
}

TEST_F(ExclusivePublisherTest, EmptyCallbackStillRunsTheRequestAndFillsTheCache) {
    publisher_->RequestArticleList(7, ExclusiveArticleCallback());
    hostdouble::CompleteNext(true, ListBody({Article(1, 5000000)}));
    publisher_->RequestArticleListOperation(7, ExclusiveUpdateCallback());
    hostdouble::CompleteNext(true, ListBody({}));
    EXPECT_EQ("5000", LastInformRequest().param("last_time"));
    EXPECT_TRUE(capture_.pages.count() == 0);
}

// --- incremental refresh -------------------------------------------------------------------

TEST_F(ExclusivePublisherTest, IncrementalRefreshFoldsNewArticlesEditsAndRemovals) {
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000)});
    const ExclusiveUpdate update =
        Operation(7, ListBody({Article(10, 6000000), Article(1, 5000000), Article(2, 4000000)}),
                  {Entry("modify", 1, Info(1, 5000000, 1, 7), 2, 5100), Removal("del", 2, 2, 5200),
                   Entry("modify", 12, Info(12, 4800000, 1, 6)), Entry("modify", 13, Info(13, 4800000, 1, 7), 4),
                   Entry("show", 11, Info(11, 4500000, 1, 7), 3, 5300)});
    EXPECT_EQ((std::vector<int>{10, 11}), Ids(update.added));
    EXPECT_EQ((std::vector<int>{1}), Ids(update.modified));
    EXPECT_EQ((std::list<int>{2}), update.removed);

    const ExclusiveUpdate next = Operation(7, ListBody({Article(12, 6500000), Article(10, 6000000)}));
    EXPECT_EQ("5300", LastInformRequest().param("last_time"));
    EXPECT_EQ("777", LastInformRequest().param("time"));
    EXPECT_EQ((std::vector<int>{12}), Ids(next.added));
    EXPECT_TRUE(next.modified.empty());
    EXPECT_TRUE(next.removed.empty());
}

TEST_F(ExclusivePublisherTest, RemovalLeavesTheCacheAndEditsDoNot) {
    LoadFirstPage(7, {Article(1, 5000000), Article(2, 4000000)});
    // 2 is edited to look newer than anything; the cache keeps its old score.
    Operation(7, ListBody({}), {Removal("del", 1), Edit(2, 9000000, 7)});
    const ExclusiveUpdate update = Operation(7, ListBody({Article(3, 4500000)}));
    EXPECT_EQ((std::vector<int>{3}), Ids(update.added));
}

TEST_F(ExclusivePublisherTest, ColumnWithNothingLoadedGetsOnlyRemovalsAndAClockCursor) {
    const unsigned long long before = static_cast<unsigned long long>(QDateTime::currentMSecsSinceEpoch());
    const ExclusiveUpdate update =
        Operation(9, ListBody({Article(5, 1000)}), {Edit(6, 2000, 9, "show"), Edit(7, 2000, 9), Removal("del", 8)});
    const unsigned long long after = static_cast<unsigned long long>(QDateTime::currentMSecsSinceEpoch());
    EXPECT_TRUE(update.added.empty());
    EXPECT_TRUE(update.modified.empty());
    EXPECT_EQ((std::list<int>{8}), update.removed);
    const unsigned long long sent = std::stoull(hostdouble::Requests()[1].param("last_time"));
    EXPECT_LE(before, sent);
    EXPECT_GE(after, sent);
}

TEST_F(ExclusivePublisherTest, FailedRefreshStillStoresTheCursorItRead) {
    LoadFirstPage(7, {Article(1, 5000000)});
    publisher_->RequestArticleListOperation(7, capture_.updates.callback());
    hostdouble::CompleteNext(false, "");
    ASSERT_EQ(1u, capture_.updates.count());
    EXPECT_TRUE(capture_.updates.arg<1>(0).added.empty());
    EXPECT_TRUE(RequestsTo(kInformPath).empty());
    EXPECT_EQ(1u, hostdouble::CountLogs(L"ExclusivePublisher::RequestArticleListOp Code fail"));

    // A newer first page no longer moves the stored cursor.
    LoadFirstPage(7, {Article(2, 9000000)});
    Operation(7, ListBody({}));
    EXPECT_EQ("5000", LastInformRequest().param("last_time"));
}

TEST_F(ExclusivePublisherTest, RefreshBodyErrorsAreLoggedWithTheirTexts) {
    LoadFirstPage(7, {Article(1, 5000000)});
    const std::string body = ListBody({Article(3, 6000000)});
    const ExclusiveUpdate broken = Operation(7, body.substr(0, body.size() / 2));
    EXPECT_TRUE(broken.added.empty());
    EXPECT_TRUE(RequestsTo(kInformPath).empty());
    ASSERT_EQ(1u, hostdouble::Logs().size());
    EXPECT_EQ(0u, hostdouble::Logs()[0].text.find(L"ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: "));

    const ExclusiveUpdate errored = Operation(7, ListBody({Article(3, 6000000)}, 5));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::RequestArticleListOperation Response Error Code: 5"));
    EXPECT_EQ((std::vector<int>{3}), Ids(errored.added));
}

TEST_F(ExclusivePublisherTest, FailedInformModifyIsLoggedAndTheNewArticlesStillArrive) {
    LoadFirstPage(7, {Article(1, 5000000)});
    SetInformAnswer(Answer::Fail());
    publisher_->RequestArticleListOperation(7, capture_.updates.callback());
    hostdouble::CompleteNext(true, ListBody({Article(3, 6000000)}));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"ExclusivePublisher::RequestInformModify Failed: url = " +
                                        LastInformRequest().url));
    ASSERT_EQ(1u, capture_.updates.count());
    EXPECT_EQ((std::vector<int>{3}), Ids(capture_.updates.arg<1>(0).added));
}

// --- teardown and concurrency ---------------------------------------------------------------------

TEST_F(ExclusivePublisherTest, CompletionsAfterTeardownTouchNothing) {
    publisher_->RequestColumnList(capture_.columns.callback());
    publisher_->RequestArticleList(7, capture_.pages.callback());
    publisher_->RequestEarlierArticleList(7, 10, capture_.pages.callback());
    publisher_->RequestArticleListOperation(7, capture_.updates.callback());
    std::vector<HttpCompletion> late;
    while (hostdouble::PendingCount() > 0)
        late.push_back(hostdouble::TakeNext());
    const std::size_t requests = hostdouble::RequestCount();

    DestroyAllPublisher();
    const std::string body = ListBody({Article(1, 50)}, 4);
    for (HttpCompletion& completion : late) {
        completion(true, body.data(), static_cast<long long>(body.size()));
        completion(false, nullptr, 0);
    }
    EXPECT_TRUE(capture_.columns.count() == 0);
    EXPECT_TRUE(capture_.pages.count() == 0);
    EXPECT_TRUE(capture_.updates.count() == 0);
    EXPECT_EQ(requests, hostdouble::RequestCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

TEST_F(ExclusivePublisherTest, ManyConcurrentCompletionsEachServeTheirOwnColumn) {
    const int kColumns = 40;
    for (int column = 1; column <= kColumns; ++column) {
        publisher_->RequestArticleList(column, capture_.pages.callback());
        publisher_->RequestArticleListOperation(column, capture_.updates.callback());
    }
    hostdouble::DeliverConcurrently([](const Request& request, std::size_t) {
        const int column = std::stoi(request.param("column_id"));
        return ListBody({Article(column * 100, 1000000 + column)});
    });
    ASSERT_EQ(static_cast<std::size_t>(kColumns), capture_.pages.count());
    ASSERT_EQ(static_cast<std::size_t>(kColumns), capture_.updates.count());
    for (const auto& page : capture_.pages.all())
        EXPECT_EQ((std::vector<int>{std::get<0>(page) * 100}), Ids(std::get<1>(page)));
    for (const auto& update : capture_.updates.all()) {
        // Either order: the refresh saw no page yet (nothing kept) or saw the same article (repeat).
        EXPECT_TRUE(std::get<1>(update).added.empty()) << std::get<0>(update);
    }
}

}  // namespace
