#include "news_center/common/inform_modify.h"

#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include "news_center/request/json_read.h"
#include "tests/host_double/host_double.h"
#include "tests/bodies.h"
#include "tests/test_support.h"

using namespace news_center::internal;
using body::Entry;
using body::Info;
using body::Removal;
using testsupport::Ids;

namespace {

// The merge needs of a record only its id, its sort_score and a parser.
struct Item {
    int id = 0;
    unsigned long long sort_score = 0;
    std::wstring title;
};

Item ParseItem(const QJsonObject& object) {
    Item item;
    item.id = ReadInt(object.value(QStringLiteral("id")));
    item.sort_score = ReadU64(object.value(QStringLiteral("sort_score")));
    item.title = ReadWide(object.value(QStringLiteral("title")));
    return item;
}

struct Changes {
    std::list<Item> added;
    std::list<Item> modified;
    std::list<int> removed;
};

QJsonArray Array(const std::vector<std::string>& entries) {
    const std::string text = "[" + body::Join(entries) + "]";
    return QJsonDocument::fromJson(QByteArray(text.c_str())).array();
}

// "operation id" of each entry, e.g. "del 5".
std::vector<std::string> Describe(const QJsonArray& entries) {
    std::vector<std::string> out;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        out.push_back(entry.value(QStringLiteral("operation")).toString().toStdString() + " " +
                      std::to_string(EntryId(entry)));
    }
    return out;
}

std::vector<std::string> Reduced(const std::vector<std::string>& entries,
                                 const InformModifyRules& rules = DepthInformModifyRules()) {
    QJsonArray array = Array(entries);
    ReduceInformModifyPage(array, rules);
    return Describe(array);
}

std::string Show(int id, unsigned long long score = 1000) { return Entry("show", id, Info(id, score)); }
std::string Modify(int id, unsigned long long score = 1000) { return Entry("modify", id, Info(id, score)); }
std::string Del(int id) { return Removal("del", id); }

typedef std::vector<std::string> Texts;

// --- sorted insert -------------------------------------------------------------

TEST(SortedInsertTest, NewcomerGoesBeforeTheFirstSmallerScoreAndLastAmongEquals) {
    std::list<Item> items;
    EXPECT_TRUE(InsertBySortScore(items, Item{1, 50, L""}));
    EXPECT_TRUE(InsertBySortScore(items, Item{2, 90, L""}));
    EXPECT_TRUE(InsertBySortScore(items, Item{3, 50, L""}));
    EXPECT_TRUE(InsertBySortScore(items, Item{4, 10, L""}));
    EXPECT_TRUE(InsertBySortScore(items, Item{5, 18446744073709551615ULL, L""}));
    EXPECT_EQ((std::vector<int>{5, 2, 1, 3, 4}), Ids(items));
}

TEST(SortedInsertTest, AnIdAlreadyPresentIsRefusedWhateverItsScore) {
    std::list<Item> items;
    InsertBySortScore(items, Item{1, 50, L"first"});
    EXPECT_FALSE(InsertBySortScore(items, Item{1, 99, L"second"}));
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(L"first", items.front().title);
    EXPECT_EQ(50u, items.front().sort_score);
}

// --- reduction -------------------------------------------------------------------

TEST(InformModifyReduceTest, LaterOperationWinsExceptARemovalBeforeAnythingButShow) {
    EXPECT_EQ((Texts{"del 5"}), Reduced({Del(5), Modify(5)}));
    EXPECT_EQ((Texts{"show 5"}), Reduced({Del(5), Show(5)}));
    EXPECT_EQ((Texts{"del 5"}), Reduced({Modify(5), Del(5)}));
    EXPECT_EQ((Texts{"modify 5"}), Reduced({Show(5), Modify(5)}));
    EXPECT_EQ((Texts{"del 5", "show 5"}), Reduced({Del(5), Modify(5), Show(5)}));
    EXPECT_EQ((Texts{"hidden 5"}), Reduced({Removal("hidden", 5), Removal("del", 5)}));
}

TEST(InformModifyReduceTest, RemovalKeepsOnlyItsFirstLaterDuplicateInCheck) {
    // The removal drops the next "modify" and moves on: a second one stays.
    EXPECT_EQ((Texts{"del 5", "modify 5"}), Reduced({Del(5), Modify(5), Modify(5)}));
    EXPECT_EQ((Texts{"modify 6", "del 5"}), Reduced({Modify(5), Modify(6), Del(5)}));
    EXPECT_EQ((Texts{"show 7", "modify 5", "del 6"}), Reduced({Show(5), Show(7), Modify(5), Del(6)}));
}

TEST(InformModifyReduceTest, EmptyAndSingleEntryPagesStayAsTheyAre) {
    EXPECT_EQ(Texts{}, Reduced({}));
    EXPECT_EQ((Texts{"show 5"}), Reduced({Show(5)}));
}

TEST(InformModifyReduceTest, StatusFilterWantsPublishedShowsAndUnpublishedRemovals) {
    EXPECT_EQ(Texts{}, Reduced({Entry("show", 5, Info(5, 1, 0))}));
    EXPECT_EQ(Texts{}, Reduced({Entry("modify", 5, Info(5, 1, 2))}));
    EXPECT_EQ(Texts{}, Reduced({Entry("del", 5, Info(5, 1, 1))}));
    EXPECT_EQ(Texts{}, Reduced({Entry("hidden", 5, Info(5, 1, 1))}));
    // An operation the feed does not know passes the filters; applying ignores it.
    EXPECT_EQ((Texts{"top 5"}), Reduced({Entry("top", 5, Info(5, 1, 1))}));
    EXPECT_EQ((Texts{"top 5"}), Reduced({Entry("top", 5, Info(5, 1, 0))}));
}

TEST(InformModifyReduceTest, EntryWithoutInfoIsDroppedByDepthAndKeptByExclusiveForRemovals) {
    const Texts entries = {Entry("del", 5, ""), Entry("show", 6, ""), Entry("top", 7, "")};
    EXPECT_EQ(Texts{}, Reduced(entries, DepthInformModifyRules()));
    // Exclusive: status reads 0, so the removal and the unknown operation stay
    // and the "show" goes.
    EXPECT_EQ((Texts{"del 5", "top 7"}), Reduced(entries, ExclusiveInformModifyRules(0)));
}

TEST(InformModifyReduceTest, DepthKeepsType2ArticlesOutsideEveryColumn) {
    EXPECT_EQ(Texts{}, Reduced({Entry("modify", 5, Info(5, 1, 1, 7))}));
    EXPECT_EQ((Texts{"modify 5"}), Reduced({Entry("modify", 5, Info(5, 1, 1, -3))}));
    EXPECT_EQ((Texts{"modify 5"}), Reduced({Entry("modify", 5, "{\"id\":5,\"status\":1}")}));
    EXPECT_EQ(Texts{}, Reduced({Entry("show", 5, Info(5, 1), 3)}));
    EXPECT_EQ(Texts{}, Reduced({Removal("del", 5, 3)}));
    EXPECT_EQ(Texts{}, Reduced({Entry("show", 5, Info(5, 1), 0)}));
    // A removal is not column-tested.
    EXPECT_EQ((Texts{"del 5"}), Reduced({Entry("del", 5, Info(5, 1, 0, 9))}));
}

TEST(InformModifyReduceTest, ExclusiveKeepsTypes2And3OfItsOwnColumn) {
    const InformModifyRules column7 = ExclusiveInformModifyRules(7);
    EXPECT_EQ((Texts{"modify 5"}), Reduced({Entry("modify", 5, Info(5, 1, 1, 7), 2)}, column7));
    EXPECT_EQ((Texts{"modify 5"}), Reduced({Entry("modify", 5, Info(5, 1, 1, 7), 3)}, column7));
    EXPECT_EQ(Texts{}, Reduced({Entry("modify", 5, Info(5, 1, 1, 7), 4)}, column7));
    EXPECT_EQ(Texts{}, Reduced({Entry("modify", 5, Info(5, 1, 1, 8), 2)}, column7));
    EXPECT_EQ(Texts{}, Reduced({Entry("show", 5, Info(5, 1, 1, 0), 2)}, column7));
    EXPECT_EQ((Texts{"del 5"}), Reduced({Removal("del", 5, 3)}, column7));
}

TEST(InformModifyReduceTest, FiltersRunBeforeDeduplication) {
    // The unpublished "show" is gone before it could win over the removal.
    EXPECT_EQ((Texts{"del 5"}), Reduced({Del(5), Entry("show", 5, Info(5, 1, 0))}));
    // The foreign-column "modify" is gone before it could beat the "show".
    EXPECT_EQ((Texts{"show 5"}), Reduced({Show(5), Entry("modify", 5, Info(5, 1, 1, 4))}));
}

// --- applying ----------------------------------------------------------------------

void Apply(Changes& changes, const std::vector<std::string>& entries) {
    const QJsonArray array = Array(entries);
    for (const QJsonValue& entry : array)
        ApplyInformModifyEntry(changes, entry.toObject(), &ParseItem);
}

TEST(InformModifyApplyTest, RemovalTakesTheIdOutOfAddedAndModifiedAndListsItOnce) {
    Changes changes;
    Apply(changes, {Show(5), Modify(5), Show(6), Del(5), Removal("hidden", 5)});
    EXPECT_EQ((std::vector<int>{6}), Ids(changes.added));
    EXPECT_TRUE(changes.modified.empty());
    EXPECT_EQ((std::list<int>{5}), changes.removed);
}

TEST(InformModifyApplyTest, ShowRevivesARemovedIdAndKeepsTheFirstRecord) {
    Changes changes;
    Apply(changes, {Del(5), Del(6), Show(5, 300), Show(7, 900),
                    Entry("show", 5, Info(5, 999, 1, 0, "\"title\":\"second\""))});
    EXPECT_EQ((std::vector<int>{7, 5}), Ids(changes.added));
    EXPECT_EQ(300u, changes.added.back().sort_score);
    EXPECT_EQ((std::list<int>{6}), changes.removed);
    EXPECT_TRUE(changes.modified.empty());
}

TEST(InformModifyApplyTest, ModifyReplacesTheEarlierModificationOnly) {
    Changes changes;
    Apply(changes, {Show(5, 100), Del(9), Modify(5, 200), Modify(6, 150), Modify(5, 50)});
    EXPECT_EQ((std::vector<int>{5}), Ids(changes.added));
    EXPECT_EQ(100u, changes.added.front().sort_score);
    EXPECT_EQ((std::vector<int>{6, 5}), Ids(changes.modified));
    EXPECT_EQ(50u, changes.modified.back().sort_score);
    EXPECT_EQ((std::list<int>{9}), changes.removed);
    Apply(changes, {Entry("top", 9, Info(9, 1))});
    EXPECT_EQ((std::list<int>{9}), changes.removed);
}

TEST(InformModifyApplyTest, ReducedPageAppliedInOrderLeavesAShowAfterARemoval) {
    QJsonArray array = Array({Del(5), Modify(5), Show(5)});
    ReduceInformModifyPage(array, DepthInformModifyRules());
    Changes changes;
    for (const QJsonValue& entry : array)
        ApplyInformModifyEntry(changes, entry.toObject(), &ParseItem);
    EXPECT_EQ((std::vector<int>{5}), Ids(changes.added));
    EXPECT_TRUE(changes.removed.empty());
}

// --- the page loop -------------------------------------------------------------------

class InformModifyLoopTest : public hostdouble::HostDoubleTest {
protected:
    void Merge(const InformModifyRules& rules = DepthInformModifyRules()) {
        MergeInformModify(changes_, lastTime_, time_, rules, &ParseItem);
    }
    std::vector<hostdouble::Request> Requests() { return hostdouble::Requests(); }

    Changes changes_;
    unsigned long long lastTime_ = 0;
    unsigned long long time_ = 0;
};

std::vector<std::string> FilteredOutEntries(int count, unsigned long long firstTime, unsigned long long lastTime) {
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) {
        const unsigned long long time = i == 0 ? firstTime : i == count - 1 ? lastTime : 1;
        entries.push_back(Entry("show", 1000 + i, Info(1000 + i, 1, 0), 2, time));  // unpublished
    }
    return entries;
}

TEST_F(InformModifyLoopTest, RequestCarriesTheCursorsAndAShortPageEndsTheLoop) {
    lastTime_ = 1700000000;
    time_ = 42;
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({Show(5)}, 77)));
    Merge();
    const std::vector<hostdouble::Request> requests = Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("/pc/inform/modify", requests[0].path);
    EXPECT_EQ("1700000000", requests[0].param("last_time"));
    EXPECT_EQ("42", requests[0].param("time"));
    EXPECT_TRUE(requests[0].sync);
    EXPECT_EQ(30, requests[0].timeout);
    EXPECT_EQ(77u, time_);
    EXPECT_EQ(100u, lastTime_);
    EXPECT_EQ((std::vector<int>{5}), Ids(changes_.added));
}

TEST_F(InformModifyLoopTest, FullPageFetchesTheNextOneEvenWhenEverythingIsFilteredOut) {
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage(FilteredOutEntries(100, 500, 900), 11)));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage(FilteredOutEntries(100, 1300, 1200), 12)));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({Entry("show", 5, Info(5, 1), 2, 1500)}, 13)));
    Merge();
    const std::vector<hostdouble::Request> requests = Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("900", requests[1].param("last_time"));  // oldest first: the last entry's time
    EXPECT_EQ("11", requests[1].param("time"));
    EXPECT_EQ("1300", requests[2].param("last_time"));  // newest first: the first entry's time
    EXPECT_EQ("12", requests[2].param("time"));
    EXPECT_EQ(1500u, lastTime_);
    EXPECT_EQ(13u, time_);
    EXPECT_EQ((std::vector<int>{5}), Ids(changes_.added));
}

TEST_F(InformModifyLoopTest, NinetyNineEntriesEndTheLoop) {
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage(FilteredOutEntries(99, 5, 6))));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({Show(5)})));
    Merge();
    EXPECT_EQ(1u, hostdouble::RequestCount());
    EXPECT_TRUE(changes_.added.empty());
}

TEST_F(InformModifyLoopTest, EmptyOrMissingDataKeepsLastTimeAndTakesTime) {
    lastTime_ = 400;
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok("{\"errno\":0,\"time\":900}"));
    Merge();
    EXPECT_EQ(400u, lastTime_);
    EXPECT_EQ(900u, time_);
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({}, 901)));
    Merge();
    EXPECT_EQ(400u, lastTime_);
    EXPECT_EQ(901u, time_);
    EXPECT_EQ(2u, hostdouble::RequestCount());
}

TEST_F(InformModifyLoopTest, NonZeroErrnoIsLoggedOnceAndTheEntriesStillApply) {
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({Del(5)}, 3, 1)));
    Merge();
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage({Removal("del", 6, 3)}, 3, 4)));
    Merge(ExclusiveInformModifyRules(7));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"DepthPublisher::MergeInformModifyListToCache Response Error Code: 1"));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"ExclusivePublisher::RequestInformModify Response Error Code: 4"));
    EXPECT_EQ(2u, hostdouble::Logs().size());
    EXPECT_EQ((std::list<int>{5, 6}), changes_.removed);
}

TEST_F(InformModifyLoopTest, FailedTransferLogsTheUrlAndKeepsWhatEarlierPagesGave) {
    std::vector<std::string> full = FilteredOutEntries(99, 10, 20);
    full.push_back(Entry("show", 5, Info(5, 1), 2, 30));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(body::ModifyPage(full, 50)));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Fail());
    Merge();
    EXPECT_EQ((std::vector<int>{5}), Ids(changes_.added));
    EXPECT_EQ(30u, lastTime_);
    EXPECT_EQ(50u, time_);
    const std::vector<hostdouble::Request> requests = Requests();
    ASSERT_EQ(2u, requests.size());
    const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
    ASSERT_EQ(1u, logs.size());
    EXPECT_FALSE(logs[0].viaString);
    EXPECT_EQ(L"DepthPublisher::RequestInformModify Failed: url = " + requests[1].url, logs[0].text);

    hostdouble::QueueSyncAnswer(hostdouble::Answer{false, body::ModifyPage({Show(6)}, 99), false});
    Merge(ExclusiveInformModifyRules(0));
    EXPECT_EQ(1u, hostdouble::CountLogs(L"ExclusivePublisher::RequestInformModify Failed: url = " +
                                        hostdouble::Requests().back().url));
    EXPECT_EQ(50u, time_);  // the body of a failed transfer is not read
    EXPECT_EQ(1u, changes_.added.size());
}

TEST_F(InformModifyLoopTest, BodyCutInHalfIsLoggedOnlyByDepth) {
    const std::string page = body::ModifyPage({Show(5)}, 10);
    const std::string half = page.substr(0, page.size() / 2);
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(half));
    Merge();
    ASSERT_EQ(1u, hostdouble::Logs().size());
    EXPECT_EQ(0u, hostdouble::Logs()[0].text.find(L"DepthPublisher::MergeInformModifyListToCache Json Parse Error Code: "));
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(half));
    Merge(ExclusiveInformModifyRules(0));
    EXPECT_EQ(1u, hostdouble::Logs().size());
    EXPECT_TRUE(changes_.added.empty());
    EXPECT_EQ(0u, time_);
}

TEST_F(InformModifyLoopTest, EmptyBodyEndsSilently) {
    hostdouble::QueueSyncAnswer(hostdouble::Answer::Ok(""));
    Merge();
    EXPECT_EQ(1u, hostdouble::RequestCount());
    EXPECT_TRUE(hostdouble::Logs().empty());
}

}  // namespace
