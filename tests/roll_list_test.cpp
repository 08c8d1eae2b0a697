#include "news_center/feeds/roll_list.h"

#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "tests/bodies.h"
#include "tests/test_support.h"

using namespace news_center::internal;
using body::Element;
using testsupport::Ids;

namespace {

// Collects the Qt debug messages (ParseTelegraphInfo's id trace) instead of printing them.
std::mutex g_traceMutex;
std::vector<QString> g_trace;
const bool g_sinkInstalled =
    (qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
         std::lock_guard<std::mutex> lock(g_traceMutex);
         if (type == QtDebugMsg)
             g_trace.push_back(message);
     }),
     true);
std::vector<QString> TakeTrace() {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    std::vector<QString> lines;
    lines.swap(g_trace);
    return lines;
}

QJsonArray Roll(const std::vector<std::string>& elements) {
    return QJsonDocument::fromJson(QByteArray::fromStdString("[" + body::Join(elements) + "]")).array();
}

// "operation:id" of every element, for readable comparisons.
std::vector<std::string> Operations(const QJsonArray& rollList) {
    std::vector<std::string> operations;
    for (const QJsonValue& value : rollList) {
        const QJsonObject element = value.toObject();
        operations.push_back(element.value(QStringLiteral("operation")).toString().toStdString() + ":" +
                             std::to_string(element.value(QStringLiteral("id")).toInt()));
    }
    return operations;
}

QJsonObject Object(const char* json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

TelegraphInfo Record(int id, unsigned long long sortScore, const wchar_t* content = L"") {
    TelegraphInfo item;
    item.id = id;
    item.sort_score = sortScore;
    item.content = content;
    return item;
}

TEST(ParseTelegraphInfoTest, ReadsEveryNamedKeyAndTracesTheId) {
    TakeTrace();
    const TelegraphInfo item = ParseTelegraphInfo(
        Object("{\"id\":42,\"author\":\"A\",\"content\":\"\xE6\x96\xB0\",\"bold\":1,\"reading_num\":7,"
               "\"comment_num\":3,\"recommend\":2,\"ctime\":1700000000.9,\"sort_score\":1700000000123,"
               "\"shareurl\":\"s\",\"showurl\":\"u\",\"status\":1,\"collection\":-1,\"extra\":5}"));
    EXPECT_EQ(42, item.id);
    EXPECT_EQ(L"A", item.author);
    EXPECT_EQ(L"\x65B0", item.content);
    EXPECT_TRUE(item.bold);
    EXPECT_EQ(7, item.reading_num);
    EXPECT_EQ(3, item.comment_num);
    EXPECT_TRUE(item.recommend);
    EXPECT_EQ(1700000000ULL, item.ctime);
    EXPECT_EQ(1700000000123ULL, item.sort_score);
    EXPECT_EQ(L"s", item.shareurl);
    EXPECT_EQ(L"u", item.showurl);
    EXPECT_EQ(1, item.status);
    EXPECT_TRUE(item.collection);
    EXPECT_EQ(std::vector<QString>{QStringLiteral("item.id 42")}, TakeTrace());
}

TEST(ParseTelegraphInfoTest, ValuesOfAnotherTypeReadAsDefaults) {
    const TelegraphInfo item = ParseTelegraphInfo(
        Object("{\"id\":\"42\",\"bold\":true,\"recommend\":\"1\",\"collection\":null,\"reading_num\":1.5,"
               "\"ctime\":\"5\",\"sort_score\":-3,\"content\":7,\"status\":true}"));
    EXPECT_EQ(0, item.id);
    EXPECT_FALSE(item.bold);  // a JSON true is not a number
    EXPECT_FALSE(item.recommend);
    EXPECT_FALSE(item.collection);
    EXPECT_EQ(0, item.reading_num);
    EXPECT_EQ(0ULL, item.ctime);
    EXPECT_EQ(0ULL, item.sort_score);
    EXPECT_EQ(L"", item.content);
    EXPECT_EQ(0, item.status);

    TakeTrace();
    EXPECT_EQ(-1, ParseTelegraphInfo(Object("{\"id\":-1}")).id);
    EXPECT_EQ(std::vector<QString>{QStringLiteral("item.id 4294967295")}, TakeTrace());
    ParseTelegraphInfo(QJsonObject());
    EXPECT_TRUE(TakeTrace().empty());
}

TEST(InsertBySortScoreTest, KeepsNewestFirstAndPutsANewcomerBehindEqualScores) {
    std::list<TelegraphInfo> list;
    for (const TelegraphInfo& item : {Record(1, 100), Record(2, 300), Record(3, 200), Record(4, 300), Record(5, 50)})
        EXPECT_TRUE(InsertBySortScore(list, item));
    EXPECT_EQ((std::vector<int>{2, 4, 3, 1, 5}), Ids(list));
}

TEST(InsertBySortScoreTest, RefusesAnIdAlreadyPresent) {
    std::list<TelegraphInfo> list{Record(1, 100, L"old")};
    EXPECT_FALSE(InsertBySortScore(list, Record(1, 999, L"new")));
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(L"old", list.front().content);
    EXPECT_EQ(100ULL, list.front().sort_score);
}

TEST(FilterOperationsByStatusTest, DropsInvisibleAddsAndVisibleRemovals) {
    QJsonArray roll = Roll({Element("add", 1, 1, 0), Element("hidden", 2, 1, 1), Element("add", 3, 1, 1),
                            Element("del", 4, 1, 1), Element("show", 5, 1, 2), Element("modify", 6, 1, 0),
                            Element("del", 7, 1, 0), Element("hidden", 8, 1, 0), Element("show", 9, 1, 1),
                            Element("modify", 10, 1, 1), Element("move", 11, 1, 0),
                            "{\"id\":12,\"type\":-1,\"operation\":\"add\"}"});
    FilterOperationsByStatus(roll);
    EXPECT_EQ((std::vector<std::string>{"add:3", "del:7", "hidden:8", "show:9", "modify:10", "move:11"}),
              Operations(roll));
}

TEST(CollapseOperationsTest, KeepsTheRightOperationOfEachPair) {
    struct Case {
        const char* first;
        const char* second;
        const char* kept;
    };
    const Case cases[] = {{"add", "modify", "add:7"},   {"modify", "del", "del:7"},   {"hidden", "show", "show:7"},
                          {"del", "modify", "del:7"},   {"add", "show", "add:7"},     {"del", "show", "show:7"},
                          {"show", "hidden", "hidden:7"}, {"modify", "modify", "modify:7"}};
    for (const Case& c : cases) {
        QJsonArray roll = Roll({Element(c.first, 7, 1), Element(c.second, 7, 1)});
        CollapseOperations(roll);
        EXPECT_EQ(std::vector<std::string>{c.kept}, Operations(roll)) << c.first << " then " << c.second;
    }
}

TEST(CollapseOperationsTest, EachElementPairsOnlyWithItsFirstLaterMatch) {
    QJsonArray roll = Roll({Element("add", 1, 1), Element("modify", 1, 1), Element("modify", 1, 1)});
    CollapseOperations(roll);
    EXPECT_EQ((std::vector<std::string>{"add:1", "modify:1"}), Operations(roll));

    // A removed first element lets the next one move up and be examined in its place.
    roll = Roll({Element("modify", 1, 1), Element("add", 2, 1), Element("modify", 1, 1), Element("del", 1, 1)});
    CollapseOperations(roll);
    EXPECT_EQ((std::vector<std::string>{"add:2", "del:1"}), Operations(roll));

    roll = Roll({Element("add", 1, 1)});
    CollapseOperations(roll);
    EXPECT_EQ(1, roll.size());
    roll = QJsonArray();
    CollapseOperations(roll);
    EXPECT_TRUE(roll.isEmpty());
}

TEST(CollapseOperationsTest, CollapsedAddAndModifyLeaveTheAddsContent) {
    QJsonArray roll = Roll({Element("add", 5, 10, 1, 0, "first"), Element("modify", 5, 10, 1, 0, "second")});
    CollapseOperations(roll);
    TelegraphUpdate changes;
    BuildTelegraphUpdate(changes, roll, 0);
    ASSERT_EQ(1u, changes.added.size());
    EXPECT_EQ(L"first", changes.added.front().content);
    EXPECT_TRUE(changes.modified.empty());
}

TEST(BuildTelegraphUpdateTest, SortsAddsAndModifiesAndKeepsRemovalsOnceInOrder) {
    TelegraphUpdate changes;
    BuildTelegraphUpdate(changes,
                         Roll({Element("add", 1, 100, 1, 0, "first"), Element("add", 3, 300), Element("del", 5, 1),
                               Element("add", 1, 500, 1, 0, "second"), Element("modify", 2, 200),
                               Element("modify", 8, 800), Element("hidden", 4, 1), Element("del", 5, 1),
                               Element("move", 6, 600)}),
                         0);
    EXPECT_EQ((std::vector<int>{3, 1}), Ids(changes.added));
    EXPECT_EQ(L"first", changes.added.back().content);
    EXPECT_EQ((std::vector<int>{8, 2}), Ids(changes.modified));
    EXPECT_EQ((std::list<int>{5, 4}), changes.removedIds);

    // The next page adds to the same change set.
    BuildTelegraphUpdate(changes, Roll({Element("add", 2, 200), Element("hidden", 5, 1), Element("del", 9, 1)}), 0);
    EXPECT_EQ((std::vector<int>{3, 2, 1}), Ids(changes.added));
    EXPECT_EQ((std::list<int>{5, 4, 9}), changes.removedIds);
}

TEST(BuildTelegraphUpdateTest, OnlyTypeMinusOneIsAnOperation) {
    TelegraphUpdate changes;
    BuildTelegraphUpdate(changes,
                         Roll({"{\"id\":1,\"type\":0,\"operation\":\"add\",\"info\":{\"id\":1}}",
                               "{\"id\":2,\"operation\":\"del\"}", "{\"id\":3,\"type\":\"-1\",\"operation\":\"del\"}",
                               "{\"id\":4,\"type\":-1.5,\"operation\":\"del\"}", "17"}),
                         0);
    EXPECT_TRUE(changes.added.empty());
    EXPECT_TRUE(changes.modified.empty());
    EXPECT_TRUE(changes.removedIds.empty());
}

TEST(BuildTelegraphUpdateTest, RemovalTakesTheElementsIdAndARecordTheInfosId) {
    TelegraphUpdate changes;
    BuildTelegraphUpdate(changes,
                         Roll({"{\"id\":7,\"type\":-1,\"operation\":\"del\",\"info\":{\"id\":8}}",
                               "{\"id\":7,\"type\":-1,\"operation\":\"add\",\"info\":{\"id\":9}}"}),
                         0);
    EXPECT_EQ((std::list<int>{7}), changes.removedIds);
    EXPECT_EQ((std::vector<int>{9}), Ids(changes.added));
}

TEST(BuildTelegraphUpdateTest, ShowBelowTheEarliestSortScoreIsIgnored) {
    const QJsonArray roll = Roll({Element("show", 1, 99), Element("show", 2, 100), Element("show", 3, 101)});
    TelegraphUpdate changes;
    BuildTelegraphUpdate(changes, roll, 100);
    EXPECT_EQ((std::vector<int>{3, 2}), Ids(changes.added));

    TelegraphUpdate nothingCached;
    BuildTelegraphUpdate(nothingCached, roll, std::numeric_limits<unsigned long long>::max());
    EXPECT_TRUE(nothingCached.added.empty());
}

TEST(ApplyTelegraphUpdateTest, AddsOnlyNewIdsAndLeavesCachedRecordsAlone) {
    std::list<TelegraphInfo> cache{Record(2, 200, L"cached")};
    TelegraphUpdate changes;
    changes.added = {Record(3, 300), Record(2, 250, L"again"), Record(1, 100)};
    ApplyTelegraphUpdate(changes, cache);
    EXPECT_EQ((std::vector<int>{3, 2, 1}), Ids(cache));
    EXPECT_EQ(L"cached", (++cache.begin())->content);
    EXPECT_EQ(200ULL, (++cache.begin())->sort_score);
}

TEST(ApplyTelegraphUpdateTest, ModifiedRecordKeepsItsPlaceWhenItsScoreChanges) {
    std::list<TelegraphInfo> cache{Record(3, 300), Record(2, 200), Record(1, 100)};
    TelegraphUpdate changes;
    changes.modified = {Record(1, 999, L"new"), Record(7, 700)};
    ApplyTelegraphUpdate(changes, cache);
    EXPECT_EQ((std::vector<int>{3, 2, 1}), Ids(cache));
    EXPECT_EQ(L"new", cache.back().content);
    EXPECT_EQ(999ULL, cache.back().sort_score);
}

TEST(ApplyTelegraphUpdateTest, RemovalsComeLastAndUnknownIdsChangeNothing) {
    std::list<TelegraphInfo> cache{Record(2, 200), Record(1, 100)};
    TelegraphUpdate changes;
    changes.added = {Record(4, 400)};
    changes.modified = {Record(1, 150, L"edited")};
    changes.removedIds = {4, 42, 1};
    ApplyTelegraphUpdate(changes, cache);
    EXPECT_EQ((std::vector<int>{2}), Ids(cache));
}

TEST(ParseOlderPageTest, KeepsAddsAndModifiesInRollOrderWithRepeats) {
    const std::list<TelegraphInfo> page = ParseOlderPage(
        Roll({Element("add", 1, 100, 0), Element("modify", 2, 300), Element("del", 3, 1), Element("add", 1, 100),
              Element("show", 4, 1), Element("hidden", 5, 1),
              "{\"id\":6,\"type\":0,\"operation\":\"add\",\"info\":{\"id\":6}}"}));
    EXPECT_EQ((std::vector<int>{1, 2, 1}), Ids(page));
}

}  // namespace
