#include <gtest/gtest.h>
#include <QDateTime>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/feed_script.h"

using body::Entry;
using body::Info;
using body::Removal;
using feedtest::IdsText;
using feedtest::kInformPath;
using feedtest::Texts;

namespace {

std::string Article(int id, unsigned long long score, int type = 2) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) +
           ",\"sort_score\":" + std::to_string(score) + ",\"title\":\"t" + std::to_string(id) + "\"}";
}

std::string ListBody(const Texts& articles) { return body::Envelope("{\"list\":[" + body::Join(articles) + "]}"); }

// An operation on a published article of column `column`.
std::string Edit(const char* operation, int id, unsigned long long score, int column = 7, int type = 2) {
    return Entry(operation, id, Info(id, score, 1, column), type);
}

class ExclusiveTest : public hostdouble::HostDoubleTest {
protected:
    void SetUp() override {
        HostDoubleTest::SetUp();
        script_.Reset();
        publisher_ = GetExclusivePublisher();
    }
    std::string Page(int column, const Texts& articles) {
        publisher_->RequestArticleList(column, pages_.callback());
        hostdouble::CompleteNext(true, ListBody(articles));
        return IdsText(pages_.last<1>());
    }
    // A refresh of `column` whose article list is `articles` and whose edits are `entries`: its changes.
    std::string Operation(int column, const Texts& articles, const Texts& entries = {}) {
        script_.Add(kInformPath, body::ModifyPage(entries, 777));
        publisher_->RequestArticleListOperation(column, updates_.callback());
        hostdouble::CompleteNext(true, ListBody(articles));
        return feedtest::Changes(updates_.last<1>());
    }
    std::string EditsFrom() { return script_.Sent(kInformPath).back().param("last_time"); }

    feedtest::SyncScript script_;
    IExclusivePublisher* publisher_ = nullptr;
    testsupport::Capture<int, const std::list<ExclusiveArticle>&> pages_;
    testsupport::Capture<int, const ExclusiveUpdate&> updates_;
};

// After a first page of 1@5000000 and 2@4000000 in column 7, one refresh.
TEST_F(ExclusiveTest, RefreshFoldsNewerArticlesEditsAndRemovals) {
    const struct {
        Texts articles, entries;
        const char* changes;
    } rows[] = {
        // The list is cut at the first article not newer than the cache; edits: types 2 or 3, this column.
        {{Article(10, 6000000), Article(1, 5000000), Article(14, 5500000)},
         {Edit("modify", 1, 5000000), Removal("del", 2), Edit("modify", 12, 4800000, 6),
          Edit("modify", 13, 4800000, 7, 4), Edit("show", 11, 4500000, 7, 3)},
         "10,11|1|2"},
        // Nothing older than what is loaded.
        {{}, {Edit("show", 8, 4500000), Edit("show", 9, 3900000), Edit("modify", 2, 3900000)}, "8||"},
        // A removal must be unpublished, needs no "info", and takes back a new article.
        {{Article(10, 6000000)}, {Entry("del", 1, Info(1, 1, 1, 7)), Entry("del", 2, ""), Removal("hidden", 10)},
         "||2,10"},
        // The later operation on an id wins, a removal over anything but a show.
        {{}, {Removal("del", 16), Edit("show", 16, 4500000), Edit("modify", 1, 5000000), Removal("del", 1)}, "16||1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.changes);
        DestroyAllPublisher();
        publisher_ = GetExclusivePublisher();
        Page(7, {Article(1, 5000000), Article(2, 4000000)});
        EXPECT_EQ(row.changes, Operation(7, row.articles, row.entries));
    }
}

TEST_F(ExclusiveTest, PagesMergeIntoTheColumnCacheThatBoundsEachRefresh) {
    // The whole first page reaches the callback, types 2 and 3 only, a repeat too.
    EXPECT_EQ("1,2", Page(7, {Article(1, 5000000), Article(2, 4000000, 3), Article(3, 3000000, 1)}));
    EXPECT_EQ("1,2", Page(7, {Article(1, 5000000), Article(2, 4000000)}));

    // An overlapping older page goes in article by article: 5 is now the oldest.
    publisher_->RequestEarlierArticleList(7, 4000000, pages_.callback());
    hostdouble::CompleteNext(true, ListBody({Article(1, 5000000), Article(4, 4500000), Article(6, 4000000),
                                             Article(5, 2500000)}));
    EXPECT_EQ("1,4,6,5", IdsText(pages_.last<1>()));
    EXPECT_EQ("8||", Operation(7, {}, {Edit("show", 8, 3000000), Edit("show", 9, 2400000)}));
    EXPECT_EQ("5000", EditsFrom());  // the newest cached score / 1000 at first, then the stored cursor

    // A wholly newer page goes in front; a removal leaves the cache, an edit does not change it.
    Page(7, {Article(20, 7000000), Article(21, 6000000)});
    Operation(7, {}, {Removal("del", 20, 2, 5300), Edit("modify", 21, 9000000)});
    EXPECT_EQ("100", EditsFrom());  // the last operation time of the refresh before
    EXPECT_EQ("22||", Operation(7, {Article(22, 6500000), Article(23, 5900000)}));
    EXPECT_EQ("5300", EditsFrom());
    EXPECT_EQ("777", script_.Sent(kInformPath).back().param("time"));

    // Each column has its own cursor; one with nothing loaded starts from the clock and takes only removals.
    Page(8, {Article(30, 9000000)});
    Operation(8, {});
    EXPECT_EQ("9000", EditsFrom());
    const unsigned long long before = static_cast<unsigned long long>(QDateTime::currentMSecsSinceEpoch());
    EXPECT_EQ("||8", Operation(9, {Article(5, 1000)},
                               {Edit("show", 6, 2000, 9), Edit("modify", 7, 2000, 9), Removal("del", 8)}));
    EXPECT_LE(before, std::stoull(EditsFrom()));
}

}  // namespace
