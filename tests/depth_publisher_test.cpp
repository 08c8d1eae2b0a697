#include <list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/feed_script.h"
#include "tests/test_support.h"

using body::Entry;
using body::Info;
using body::Removal;
using hostdouble::Request;
using testsupport::RequestsTo;

namespace {

const char kDepthPath[] = "/pc/information/get_depth";
const char kInformPath[] = "/pc/inform/modify";
const char kCountPath[] = "/pc/information/get_count_by_ids";

typedef std::vector<std::string> Texts;

std::string Article(int id, unsigned long long score, bool top = false, int type = 2) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) + ",\"sort_score\":" +
           std::to_string(score) + ",\"is_top\":" + (top ? "true" : "false") + "}";
}

std::string DepthBody(const Texts& articles, const Texts& banners = {"{\"title\":\"a\"}"}) {
    return body::Envelope("{\"banner\":[" + body::Join(banners) + "],\"list\":[" + body::Join(articles) + "]}");
}

std::string Edit(int id, unsigned long long score, bool top = false) {
    return Entry("modify", id, Info(id, score, 1, 0, std::string("\"is_top\":") + (top ? "true" : "false")));
}

std::string Show(int id, unsigned long long score) { return Entry("show", id, Info(id, score)); }

std::string IdsOf(const std::list<DepthArticle>& articles) {
    std::string text;
    for (const DepthArticle& article : articles)
        text += (text.empty() ? "" : ",") + std::to_string(article.id);
    return text;
}

std::string IdsOf(const std::list<int>& ids) {
    std::string text;
    for (int id : ids)
        text += (text.empty() ? "" : ",") + std::to_string(id);
    return text;
}

struct Observer : IDepthObserver, feedtest::TestThreadOnly {
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool isFailed, const DepthUpdate& changes) override {
        if (Mine()) {
            failed.push_back(isFailed);
            updates.push_back(changes);
        }
    }
    void OnDepthCountersUpdate(CountInfoMap) override {}
    std::vector<bool> failed;
    std::vector<DepthUpdate> updates;
};

class DepthTest : public hostdouble::HostDoubleTest {
protected:
    // A fresh publisher with `observer_` subscribed, loaded with pinned 1, then 2 and 3.
    void Start(bool load = true) {
        DestroyAllPublisher();
        hostdouble::Reset();
        script_.Reset();
        observer_.reset(new Observer);
        publisher_ = GetDepthPublisher();
        publisher_->Subscribe(observer_.get());
        observer_->Settle();
        if (load)
            Load({Article(1, 9000000, true), Article(2, 8000000), Article(3, 7000000)});
    }
    // A cycle with nothing loaded, which asks for no edits.
    DepthUpdate Load(const Texts& articles) {
        script_.Add(kDepthPath, DepthBody(articles));
        feedtest::Cycle(publisher_, *observer_);
        return observer_->updates.empty() ? DepthUpdate() : observer_->updates.back();
    }
    DepthUpdate Cycle(const Texts& articles, const Texts& entries, unsigned long long time = 0) {
        script_.Add(kDepthPath, DepthBody(articles));
        script_.Add(kInformPath, body::ModifyPage(entries, time));
        feedtest::Cycle(publisher_, *observer_);
        return observer_->updates.empty() ? DepthUpdate() : observer_->updates.back();
    }
    std::string CounterIds() {
        const std::vector<Request> counters = RequestsTo(kCountPath);
        return counters.empty() ? "(none)" : counters.back().param("ids");
    }

    feedtest::SyncScript script_;
    std::unique_ptr<Observer> observer_;
    IDepthPublisher* publisher_ = nullptr;
};

// After a load of pinned 1@9000000, 2@8000000 and 3@7000000, one cycle with
// these fresh articles and edits; the counters ask for the cache in order.
TEST_F(DepthTest, EditsRemovalsAndNewerArticlesFoldIntoTheCache) {
    struct Row {
        Texts articles;
        Texts entries;
        const char* added;
        const char* modified;
        const char* removed;
        const char* cache;
    };
    const Row rows[] = {
        // Only type 2 articles newer than the newest of their own list are new.
        {{Article(2, 8000000), Article(5, 8500000), Article(6, 8000000), Article(4, 9500000, false, 3),
          Article(7, 8900000, true)},
         {Edit(3, 7000000), Removal("del", 2)}, "5", "3", "2", "1,5,3"},
        {{}, {Edit(1, 9000000, true), Edit(2, 8000000)}, "", "1,2", "", "1,2,3"},
        // A new pin or score moves the article: removed, then added where it lands.
        {{}, {Edit(3, 7000000, true)}, "3", "3", "3", "1,3,2"},
        {{}, {Edit(3, 8500000), Edit(1, 9100000, true)}, "1,3", "1,3", "1,3", "1,3,2"},
        {{}, {Edit(1, 7500000)}, "1", "1", "1", "2,1,3"},
        {{}, {Edit(1, 6000000)}, "", "1", "1", "2,3"},  // unpinned below everything loaded
        {{}, {Edit(40, 7500000), Removal("del", 41)}, "", "40", "", "1,2,3"},
        // A fresh article newer than its edit replaces it; one not newer is dropped; a removed one stays out.
        {{Article(5, 9000000), Article(6, 8800000), Article(7, 8600000)},
         {Edit(5, 8900000), Edit(6, 8900000), Removal("del", 7)}, "5", "6", "", "1,5,2,3"},
        {{}, {Show(9, 1000), Show(10, 7500000), Show(11, 7000000)}, "10,11", "", "", "1,2,10,3,11"},
        // A removal must be unpublished, a show or modify published, of type 2,
        // outside every column and with "info"; the filters run before the
        // later operation on an id wins.
        {{},
         {Entry("del", 2, Info(2, 1, 1)), Entry("modify", 2, Info(2, 8000000, 1, -3)), Entry("modify", 3, Info(3, 7000000, 1, 7)),
          Entry("modify", 3, Info(3, 7000000, 2)), Entry("show", 12, Info(12, 7500000), 3), Entry("del", 1, "")},
         "", "2", "", "1,2,3"},
        // A removal beats anything after it but a show.
        {{}, {Removal("del", 2), Edit(2, 8000000), Removal("hidden", 12), Show(12, 7500000)}, "12", "", "2", "1,12,3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cache);
        Start();
        const DepthUpdate& changes = Cycle(row.articles, row.entries);
        EXPECT_EQ(row.added, IdsOf(changes.added));
        EXPECT_EQ(row.modified, IdsOf(changes.modified));
        EXPECT_EQ(row.removed, IdsOf(changes.removed));
        EXPECT_EQ(row.cache, CounterIds());
    }
}

TEST_F(DepthTest, EditsAreAskedFromTheNewestArticleOnAndPagedByOperationTime) {
    Start();
    // 100 entries, all filtered out, ask for another page.
    Texts full;
    for (int i = 0; i < 100; ++i)
        full.push_back(Entry("show", 1000 + i, Info(1000 + i, 1, 0), 2, i == 0 ? 500 : i == 99 ? 900 : 1));
    script_.Add(kInformPath, body::ModifyPage(full, 11));
    Cycle({}, {Entry("show", 5, Info(5, 7500000), 2, 1500)}, 13);
    EXPECT_EQ("1,2,5,3", CounterIds());
    Cycle({}, {});

    const std::vector<Request> depth = script_.Sent(kDepthPath);
    ASSERT_EQ(3u, depth.size());
    for (const Request& request : depth) {
        EXPECT_TRUE(request.sync);
        EXPECT_EQ(30, request.timeout);
        EXPECT_EQ("0", request.param("last_time"));
        EXPECT_EQ("0", request.param("refresh_type"));
        EXPECT_EQ("1", request.param("last_is_stickies"));
    }
    // None on the first load; then the newest normal score / 1000.
    const std::vector<Request> inform = script_.Sent(kInformPath);
    const char* const marks[][2] = {{"8000", "0"}, {"900", "11"}, {"1500", "13"}};
    ASSERT_EQ(3u, inform.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(marks[i][0], inform[i].param("last_time")) << i;
        EXPECT_EQ(marks[i][1], inform[i].param("time")) << i;
    }
}

TEST_F(DepthTest, BannersAreReportedWhenTheyChangeAndAFailedFetchForgetsThem) {
    Start();
    EXPECT_EQ(1u, observer_->updates.back().banners.size());
    const auto banners = [this](const Texts& titles) {
        Texts list;
        for (const std::string& title : titles)
            list.push_back("{\"title\":\"" + title + "\"}");
        script_.Add(kDepthPath, DepthBody({}, list));
        script_.Add(kInformPath, body::ModifyPage({}));
        feedtest::Cycle(publisher_, *observer_);
        std::string reported;
        for (const DepthBanner& banner : observer_->updates.back().banners)
            reported += std::string(banner.title.begin(), banner.title.end());
        return reported;
    };
    EXPECT_EQ("ab", banners({"a", "b"}));
    EXPECT_EQ("", banners({"a", "b"}));
    // A failed fetch skips the edits too.
    script_.Add(kInformPath, body::ModifyPage({Removal("del", 2)}));
    feedtest::Cycle(publisher_, *observer_);
    EXPECT_TRUE(observer_->failed.back());
    EXPECT_TRUE(observer_->updates.back().removed.empty());
    EXPECT_EQ("ab", banners({"a", "b"}));
    EXPECT_FALSE(observer_->failed.back());
    EXPECT_EQ("2", IdsOf(observer_->updates.back().removed));
}

TEST_F(DepthTest, CountersAskForThePinnedFirstAndFifteenInAll) {
    Start(false);
    Texts articles;
    for (int i = 1; i <= 17; ++i)
        articles.push_back(Article(i, 1000000 - i * 1000));
    for (int i = 101; i <= 103; ++i)
        articles.push_back(Article(i, 500 - i, true));
    Load(articles);
    EXPECT_EQ("101,102,103,1,2,3,4,5,6,7,8,9,10,11,12", CounterIds());
}

TEST_F(DepthTest, EarlierPagesAddOnlyWhatIsNewAndMoveTheOldestScore) {
    Start(false);
    using Capture = testsupport::Capture<const std::list<DepthArticle>&>;
    // Nothing loaded: an empty list at once, and a refresh instead of a request.
    Capture empty;
    publisher_->RequestEarlierDepth(empty.callback());
    ASSERT_EQ(1, empty.calls());
    EXPECT_TRUE(empty.arg(0).empty());
    EXPECT_EQ(1u, hostdouble::PendingTaskCount());
    script_.Add(kDepthPath, DepthBody({Article(1, 9000000, true)}));
    hostdouble::RunPendingTasks();
    EXPECT_EQ("1", IdsOf(observer_->updates.back().added));

    // Only pinned articles loaded: the page after the stickies.
    Capture pages;
    publisher_->RequestEarlierDepth(pages.callback());
    Request request = RequestsTo(kDepthPath).back();
    EXPECT_FALSE(request.sync);
    EXPECT_EQ(5, request.timeout);
    EXPECT_EQ("9000000", request.param("last_time"));
    EXPECT_EQ("1", request.param("refresh_type"));
    EXPECT_EQ("1", request.param("last_is_stickies"));
    hostdouble::TakeNext();  // the load's counters
    hostdouble::CompleteNext(true, DepthBody({Article(2, 8000000), Article(3, 7000000)}));
    EXPECT_EQ("2,3", IdsOf(pages.last()));

    publisher_->RequestEarlierDepth(pages.callback());
    EXPECT_EQ("7000000", RequestsTo(kDepthPath).back().param("last_time"));
    EXPECT_EQ("0", RequestsTo(kDepthPath).back().param("last_is_stickies"));
    hostdouble::CompleteNext(true, DepthBody({Article(3, 7000000), Article(5, 6500000, true), Article(4, 6000000),
                                              Article(12, 5000000, false, 3)}));
    EXPECT_EQ("5,4", IdsOf(pages.last()));
    EXPECT_EQ(1u, observer_->updates.size());  // observers are not told

    // A page of cached articles adds nothing but still moves the oldest score.
    publisher_->RequestEarlierDepth(pages.callback());
    hostdouble::CompleteNext(true, DepthBody({Article(2, 8000000)}));
    EXPECT_EQ("", IdsOf(pages.last()));
    publisher_->RequestEarlierDepth(pages.callback());
    EXPECT_EQ("8000000", RequestsTo(kDepthPath).back().param("last_time"));
    Cycle({}, {});
    EXPECT_EQ("1,5,2,3,4", CounterIds());
}

}  // namespace
