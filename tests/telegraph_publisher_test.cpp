#include <gtest/gtest.h>

#include "news_center/news_center.h"
#include "tests/bodies.h"
#include "tests/feed_script.h"

using body::Element;
using feedtest::IdsText;
using feedtest::kCountPath;
using testsupport::RequestsTo;

namespace {

const bool g_quiet = (testsupport::SilenceQtDebug(), true);
const char kRollPath[] = "/pc/roll/batch_show";

typedef feedtest::Texts Page;

// A visible telegraph operation; the operation time only has to be non-zero.
std::string E(const char* operation, int id, unsigned long long score, int status = 1, std::string content = "c") {
    return Element(operation, id, score, status, 50, content);
}

struct Observer : ITelegraphObserver, feedtest::TestThreadOnly {
    void OnTelegraphRefreshBegin() override { begins += Mine() ? 1 : 0; }
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override { Keep(updates, changes); }
    void OnTelegraphCountersUpdate(CountInfoMap map) override { Keep(counters, map); }
    int begins = 0;
    std::vector<TelegraphUpdate> updates;
    std::vector<CountInfoMap> counters;
};

class TelegraphTest : public feedtest::FeedTest<ITelegraphPublisher, Observer, &GetTelegraphPublisher> {
protected:
    // One refresh answered with `pages` in turn; returns what `watched` was told.
    TelegraphUpdate Answer(const std::vector<Page>& pages, unsigned long long time = 1000,
                           Observer* watched = nullptr) {
        for (const Page& page : pages)
            script_.Add(kRollPath, body::RollPage(time, page));
        return Cycle(watched);
    }
    // The whole cache, as a newcomer receives it.
    std::string Cache() {
        Observer late;
        publisher_->Subscribe(&late);
        publisher_->Unsubscribe(&late);
        return late.updates.size() == 1 ? IdsText(late.updates[0].added) : "(no hand-over)";
    }
};

// After a first load of 3@600, 2@300, 4@250, 1@100, each page in a refresh of its own; the last one's changes.
TEST_F(TelegraphTest, IncrementalPagesFoldIntoTheCache) {
    const std::string foreign = "{\"id\":10,\"type\":0,\"operation\":\"add\",\"info\":{\"id\":10,\"sort_score\":900}}";
    const struct {
        std::vector<Page> pages;
        const char *changes, *cache;
    } rows[] = {
        // Sorted by score, a newcomer behind equal scores; cached ids and other types are not added.
        {{{E("add", 7, 300), E("add", 8, 700), E("add", 3, 600, 1, "again"), E("add", 9, 300), foreign}},
         "8,7,9||",
         "8,3,2,7,9,4,1"},
        // Adds, shows and modifies need status 1; deletes and hides anything else.
        {{{E("add", 10, 500, 0), E("show", 11, 500, 2), E("modify", 2, 300, 0), E("del", 3, 600, 1),
           E("hidden", 4, 250, 0), E("del", 1, 100, 0)}},
         "||4,1",
         "3,2"},
        // Pairs on one id: add+modify keeps the add, modify+del the del, hidden+show the show, del+modify the del.
        {{{E("add", 10, 500), E("modify", 10, 500, 1, "x"), E("modify", 2, 300, 1, "x"), E("del", 2, 300, 0),
           E("hidden", 11, 400, 0), E("show", 11, 400), E("del", 12, 450, 0), E("modify", 12, 450)}},
         "10,11||2,12",
         "3,10,11,4,1"},
        // modify+modify keeps the later; a show below the oldest cached score is not ours.
        {{{E("modify", 3, 600, 1, "a"), E("modify", 3, 600, 1, "b"), E("show", 14, 50), E("show", 15, 100)}},
         "15|3=b|",
         "3=b,2,4,1,15"},
        // An edit raising a score leaves the record; later inserts go before the first smaller score from the front.
        {{{E("modify", 1, 999, 1, "m")}, {E("del", 4, 250, 0)}, {E("add", 5, 500)}}, "5||", "3,5,2,1=m"},
        {{{}}, "||", "3,2,4,1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cache);
        Start();
        Answer({{E("add", 3, 600), E("add", 2, 300), E("add", 4, 250), E("add", 1, 100)}});
        TelegraphUpdate changes;
        for (const Page& page : row.pages)
            changes = Answer({page});
        EXPECT_EQ(row.changes, feedtest::Changes(changes));
        EXPECT_EQ(row.cache, Cache());
    }
}

TEST_F(TelegraphTest, RequestsCarryTheMarksFromAFirstLoadToIncrementalPages) {
    // A full first load is taken unfiltered (50 is hidden), marked by its first; the next page by its last.
    Page first;
    for (int id = 1; id <= 100; ++id)
        first.push_back(Element("add", id, 10000 - id, id == 50 ? 0 : 1, 500 - id));
    const TelegraphUpdate load = Answer(
        {first,
         {Element("add", 200, 50000, 1, 600), Element("add", 201, 40000, 0, 620), Element("del", 1, 9999, 0, 605)}});
    EXPECT_EQ(101u, load.added.size());
    EXPECT_EQ(200, load.added.front().id);
    EXPECT_EQ("1", IdsText(load.removedIds));
    Answer({{}}, 900);
    Answer({{}});

    EXPECT_EQ(30, script_.Sent(kRollPath).at(0).timeout);
    const std::string query = "&refresh_type=0&rn=15&time=";  // 900 did not lower the time
    EXPECT_EQ("last_time=0" + query + "0 last_time=499" + query + "1000 last_time=605" + query + "1000 last_time=605" +
                  query + "1000",
              feedtest::Spell(script_.Sent(kRollPath), " "));
    EXPECT_EQ(observer_->updates.size(), static_cast<std::size_t>(observer_->begins));
}

TEST_F(TelegraphTest, NewcomerAloneReceivesTheCacheOnceAndCountersReachEveryone) {
    Observer& early = *observer_;
    EXPECT_TRUE(early.updates.empty());  // nothing cached yet
    Page twenty;
    for (int id = 1; id <= 20; ++id)
        twenty.push_back(E("add", id, 1000 - id));
    Answer({twenty});
    Answer({{E("modify", 20, 980, 1, "edited")}});
    EXPECT_EQ("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", RequestsTo(kCountPath).back().param("ids"));

    Observer late;
    publisher_->Subscribe(&late);
    publisher_->Subscribe(&late);
    ASSERT_EQ(1u, late.updates.size());
    EXPECT_EQ(1, late.begins);
    EXPECT_EQ(20u, late.updates[0].added.size());
    EXPECT_EQ("20=edited", IdsText(late.updates[0].modified));  // as the last refresh left it
    EXPECT_EQ(2u, early.updates.size());

    hostdouble::TakeNext();  // the first refresh's counters
    hostdouble::CompleteNext(true, "{\"data\":{\"reading_num\":{\"3\":30},\"comment_num\":{\"3\":4}}}");
    for (Observer* observer : {&early, &late})
        EXPECT_EQ("3,30,4", feedtest::Spell(observer->counters)) << observer;

    publisher_->Unsubscribe(&early);
    Answer({{}}, 1000, &late);
    EXPECT_EQ(2u, early.updates.size());
    publisher_->Unsubscribe(&late);
    const std::size_t requests = hostdouble::RequestCount();
    publisher_->Refresh();
    hostdouble::RunPendingTasks();
    EXPECT_EQ(requests, hostdouble::RequestCount());
}

TEST_F(TelegraphTest, OlderPageIsCachedSilentlyAndLowersTheOldestScore) {
    testsupport::Capture<bool, const std::list<TelegraphInfo>&> older;
    publisher_->RequestEarlierTelegraph(555, older.callback());
    // Its adds and modifies in roll order, repeats and hidden ones included.
    hostdouble::CompleteNext(true, body::RollPage(0, {E("add", 7, 700, 0), E("modify", 8, 800), E("del", 9, 900),
                                                      E("add", 7, 700), E("show", 11, 1100), E("hidden", 12, 1200)}));
    ASSERT_EQ(1, older.calls());
    EXPECT_FALSE(older.last<0>());
    EXPECT_EQ("7,8,7", IdsText(older.last<1>()));
    EXPECT_TRUE(observer_->updates.empty());
    EXPECT_EQ("8,7", Cache());

    // 700 is now the oldest score: a show at 750 is ours, one at 650 is not.
    Answer({{E("add", 1, 900)}});
    EXPECT_EQ("12", IdsText(Answer({{E("show", 12, 750), E("show", 13, 650)}}).added));
}

}  // namespace
