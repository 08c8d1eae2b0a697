#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/feed_script.h"

using body::Entry;
using body::Info;
using body::Removal;
using hostdouble::Request;
using feedtest::IdsText;
using feedtest::Spell;
using testsupport::RequestsTo;

using feedtest::kCountPath;
using feedtest::kInformPath;
using feedtest::Texts;

namespace {

const char kDepthPath[] = "/pc/information/get_depth";

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

struct Observer : IDepthObserver, feedtest::TestThreadOnly {
    void OnDepthRefreshBegin() override { Mine(); }
    void OnDepthUpdate(bool isFailed, const DepthUpdate& changes) override {
        Keep(failed, isFailed);
        Keep(updates, changes);
    }
    void OnDepthCountersUpdate(CountInfoMap) override {}
    std::vector<bool> failed;
    std::vector<DepthUpdate> updates;
};

class DepthTest : public feedtest::FeedTest<IDepthPublisher, Observer, &GetDepthPublisher> {
protected:
    void Load() { Answer({Article(1, 9000000, true), Article(2, 8000000), Article(3, 7000000)}); }
    // Without entries the edits request fails, which folds nothing in.
    DepthUpdate Answer(const Texts& articles, const Texts& entries = {}, unsigned long long time = 0) {
        script_.Add(kDepthPath, DepthBody(articles));
        if (!entries.empty())
            script_.Add(kInformPath, body::ModifyPage(entries, time));
        return Cycle();
    }
    std::string CounterIds() {
        const std::vector<Request> counters = RequestsTo(kCountPath);
        return counters.empty() ? "(none)" : counters.back().param("ids");
    }
};

// After Load, one cycle with these fresh articles and edits; the counters ask for the cache in order.
TEST_F(DepthTest, EditsRemovalsAndNewerArticlesFoldIntoTheCache) {
    const struct {
        Texts articles, entries;
        const char *changes, *cache;
    } rows[] = {
        // Only type 2 articles newer than the newest of their own list are new.
        {{Article(2, 8000000), Article(5, 8500000), Article(6, 8000000), Article(4, 9500000, false, 3),
          Article(7, 8900000, true)},
         {Edit(3, 7000000), Removal("del", 2)}, "5|3|2", "1,5,3"},
        {{}, {Edit(1, 9000000, true), Edit(2, 8000000)}, "|1,2|", "1,2,3"},
        // A new pin or score moves the article: removed, then added where it lands.
        {{}, {Edit(3, 7000000, true)}, "3|3|3", "1,3,2"},
        {{}, {Edit(3, 8500000), Edit(1, 9100000, true)}, "1,3|1,3|1,3", "1,3,2"},
        {{}, {Edit(1, 7500000)}, "1|1|1", "2,1,3"},
        {{}, {Edit(1, 6000000)}, "|1|1", "2,3"},  // unpinned below everything loaded
        {{}, {Edit(40, 7500000), Removal("del", 41)}, "|40|", "1,2,3"},
        // A fresh article newer than its edit replaces it; one not newer is dropped; a removed one stays out.
        {{Article(5, 9000000), Article(6, 8800000), Article(7, 8600000)},
         {Edit(5, 8900000), Edit(6, 8900000), Removal("del", 7)}, "5|6|", "1,5,2,3"},
        {{}, {Show(9, 1000), Show(10, 7500000), Show(11, 7000000)}, "10,11||", "1,2,10,3,11"},
        // Removals unpublished, the rest published, type 2, no column, with "info": filtered before merging.
        {{},
         {Entry("del", 2, Info(2, 1, 1)), Entry("modify", 2, Info(2, 8000000, 1, -3)), Entry("del", 1, ""),
          Entry("modify", 3, Info(3, 1, 1, 7)), Entry("modify", 3, Info(3, 1, 2)), Entry("show", 12, Info(12, 1), 3)},
         "|2|", "1,2,3"},
        // A removal beats anything after it but a show.
        {{}, {Removal("del", 2), Edit(2, 8000000), Removal("hidden", 12), Show(12, 7500000)}, "12||2", "1,12,3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        Start();
        Load();
        EXPECT_EQ(row.changes, feedtest::Changes(Answer(row.articles, row.entries)));
        EXPECT_EQ(row.cache, CounterIds());
    }
}

TEST_F(DepthTest, EditsAreAskedFromTheNewestArticleOnAndPagedByOperationTime) {
    Texts articles;  // the counters ask for the pinned first, fifteen in all
    for (int i = 1; i <= 17; ++i)
        articles.push_back(Article(i, 1000000 - i * 1000));
    for (int i = 101; i <= 103; ++i)
        articles.push_back(Article(i, 500 - i, true));
    Answer(articles);
    EXPECT_EQ("101,102,103,1,2,3,4,5,6,7,8,9,10,11,12", CounterIds());
    // 100 entries, all filtered out, ask for another page.
    Texts full;
    for (int i = 0; i < 100; ++i)
        full.push_back(Entry("show", 1000 + i, Info(1000 + i, 1, 0), 2, i == 0 ? 500 : i == 99 ? 900 : 1));
    script_.Add(kInformPath, body::ModifyPage(full, 11));
    Answer({}, {Entry("show", 5, Info(5, 7500000), 2, 1500)}, 13);
    Answer({}, {Removal("del", 17)});

    const std::string refresh = "last_is_stickies=1&last_time=0&refresh_type=0";
    EXPECT_EQ(refresh + " " + refresh + " " + refresh, Spell(script_.Sent(kDepthPath), " "));
    EXPECT_EQ(30, script_.Sent(kDepthPath).at(0).timeout);
    // None on the first load; then the newest normal score / 1000.
    EXPECT_EQ("last_time=999&time=0 last_time=900&time=11 last_time=1500&time=13",
              Spell(script_.Sent(kInformPath), " "));
}

TEST_F(DepthTest, BannersAreReportedWhenTheyChangeAndAFailedFetchForgetsThem) {
    Load();
    const auto cycle = [this](const std::string& depth) {
        if (!depth.empty())
            script_.Add(kDepthPath, depth);
        return Cycle();
    };
    const std::string ab = DepthBody({}, {"{\"title\":\"a\"}", "{\"title\":\"b\"}"});
    EXPECT_EQ(L"b", cycle(ab).banners.back().title);
    EXPECT_TRUE(cycle(ab).banners.empty());
    script_.Add(kInformPath, body::ModifyPage({Removal("del", 2)}));
    EXPECT_TRUE(cycle("").removed.empty());  // no answer: the fetch fails and the edits wait
    EXPECT_TRUE(observer_->failed.back());
    const DepthUpdate again = cycle(ab);
    EXPECT_EQ(2u, again.banners.size());
    EXPECT_EQ("2", IdsText(again.removed));
    EXPECT_FALSE(observer_->failed.back());
}

TEST_F(DepthTest, EarlierPagesAddOnlyWhatIsNewAndMoveTheOldestScore) {
    // Nothing loaded: an empty list at once, and a refresh instead of a request.
    testsupport::Capture<const std::list<DepthArticle>&> pages;
    publisher_->RequestEarlierDepth(pages.callback());
    EXPECT_TRUE(pages.calls() == 1 && pages.last().empty());
    EXPECT_EQ(1u, hostdouble::PendingTaskCount());
    script_.Add(kDepthPath, DepthBody({"{\"id\":1,\"type\":2,\"sort_score\":9000000,\"is_top\":true,\"reading_num\":"
                                       "2.9,\"comment_num\":-1e20,\"article_rec\":[{\"article_id\":\"42\"},"
                                       "{\"article_id\":4}]}"}));
    const DepthUpdate first = Cycle();
    ASSERT_EQ("1", IdsText(first.added));
    const DepthArticle& read = first.added.front();  // counts truncated and clamped; ids from text only
    EXPECT_EQ("2,-2147483648,42,0",
              feedtest::Join(read.reading_num, read.comment_num, read.article_rec.at(0).article_id,
                             read.article_rec.at(1).article_id));

    // Only pinned articles loaded: the page after the stickies.
    publisher_->RequestEarlierDepth(pages.callback());
    Request request = RequestsTo(kDepthPath).back();
    EXPECT_TRUE(!request.sync && request.timeout == 5);
    EXPECT_EQ("last_is_stickies=1&last_time=9000000&refresh_type=1", Spell(request));
    hostdouble::TakeNext();  // the load's counters
    hostdouble::CompleteNext(true, DepthBody({Article(2, 8000000), Article(3, 7000000)}));
    EXPECT_EQ("2,3", IdsText(pages.last()));

    publisher_->RequestEarlierDepth(pages.callback());
    EXPECT_EQ("last_is_stickies=0&last_time=7000000&refresh_type=1", Spell(RequestsTo(kDepthPath).back()));
    hostdouble::CompleteNext(true, DepthBody({Article(3, 7000000), Article(5, 6500000, true), Article(4, 6000000),
                                              Article(12, 5000000, false, 3)}));
    EXPECT_EQ("5,4", IdsText(pages.last()));
    EXPECT_EQ(1u, observer_->updates.size());  // observers are not told

    // A page of cached articles adds nothing but still moves the oldest score.
    publisher_->RequestEarlierDepth(pages.callback());
    hostdouble::CompleteNext(true, DepthBody({Article(2, 8000000)}));
    EXPECT_EQ("", IdsText(pages.last()));
    publisher_->RequestEarlierDepth(pages.callback());
    EXPECT_EQ("8000000", RequestsTo(kDepthPath).back().param("last_time"));
    Answer({});
    EXPECT_EQ("1,5,2,3,4", CounterIds());
}

}  // namespace
