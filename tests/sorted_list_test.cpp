#include "news_center/common/sorted_list.h"

#include <list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/feeds/roll_list.h"

using namespace news_center::internal;

namespace {

struct Item {
    int id;
    unsigned long long sort_score;
    std::wstring text;
};

typedef std::vector<std::pair<int, unsigned long long> > Snapshot;

template <class List>
Snapshot SnapshotOf(const List& list) {
    Snapshot snapshot;
    for (const auto& item : list)
        snapshot.push_back(std::make_pair(item.id, item.sort_score));
    return snapshot;
}

IndexedList<Item> Build(std::initializer_list<unsigned long long> scores) {
    IndexedList<Item> list;
    int id = 1;
    for (unsigned long long score : scores)
        EXPECT_TRUE(list.Insert(Item{id++, score, L""}));
    return list;
}

// Random inserts (ids and scores drawn from small ranges, so refusals and ties
// are common), removals and in-place overwrites that may break the order; the
// indexed list must end every step exactly like a plain list under the
// free functions.
void ExpectSameAsPlainList(unsigned int seed, bool overwrites) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> ids(1, 40);
    std::uniform_int_distribution<int> scores(1, 12);
    std::uniform_int_distribution<int> action(0, 9);
    std::list<Item> plain;
    IndexedList<Item> indexed;
    for (int step = 0; step < 3000; ++step) {
        const int id = ids(random);
        const unsigned long long score = static_cast<unsigned long long>(scores(random));
        const int what = action(random);
        if (what < 6) {
            const Item item{id, score, std::to_wstring(step)};
            ASSERT_EQ(InsertBySortScore(plain, item), InsertBySortScore(indexed, item)) << "step " << step;
        } else if (what < 8) {
            ASSERT_EQ(RemoveById(plain, id), RemoveById(indexed, id)) << "step " << step;
        } else if (overwrites) {
            const std::list<Item>::iterator cached = FindById(plain, id);
            const IndexedList<Item>::const_iterator found = FindById(indexed, id);
            ASSERT_EQ(cached == plain.end(), found == indexed.end()) << "step " << step;
            if (cached != plain.end()) {
                const Item item{id, score, L"overwritten"};
                OverwriteAt(plain, cached, item);
                OverwriteAt(indexed, found, item);
            }
        }
        ASSERT_EQ(SnapshotOf(plain), SnapshotOf(indexed)) << "step " << step;
        ASSERT_EQ(plain.size(), indexed.size());
    }
}

TEST(IndexedListTest, FollowsThePlainListRulesWhileInOrder) {
    for (unsigned int seed = 1; seed <= 5; ++seed)
        ExpectSameAsPlainList(seed, false);
}

TEST(IndexedListTest, FollowsThePlainListRulesWhenOverwritesBreakTheOrder) {
    for (unsigned int seed = 11; seed <= 15; ++seed)
        ExpectSameAsPlainList(seed, true);
}

TEST(IndexedListTest, NewcomerGoesBehindEqualScoresWhicheverEndIsNearer) {
    IndexedList<Item> list = Build({9, 7, 7, 7, 3});
    EXPECT_TRUE(list.Insert(Item{10, 7, L""}));
    EXPECT_TRUE(list.Insert(Item{11, 10, L""}));
    EXPECT_TRUE(list.Insert(Item{12, 1, L""}));
    EXPECT_TRUE(list.Insert(Item{13, 3, L""}));
    EXPECT_TRUE(list.Insert(Item{14, 9, L""}));
    EXPECT_EQ((Snapshot{{11, 10}, {1, 9}, {14, 9}, {2, 7}, {3, 7}, {4, 7}, {10, 7}, {5, 3}, {13, 3}, {12, 1}}),
              SnapshotOf(list));
}

TEST(IndexedListTest, OutOfOrderListInsertsBeforeTheFirstSmallerScore) {
    IndexedList<Item> list = Build({9, 5, 1});
    list.Overwrite(list.find(1), Item{1, 0, L"moved down"});  // now 0, 5, 1
    EXPECT_TRUE(list.Insert(Item{4, 4, L""}));
    EXPECT_EQ((Snapshot{{4, 4}, {1, 0}, {2, 5}, {3, 1}}), SnapshotOf(list));

    EXPECT_TRUE(list.Remove(1));  // 4, 5, 1: still out of order
    EXPECT_TRUE(list.Insert(Item{5, 2, L""}));
    EXPECT_EQ((Snapshot{{4, 4}, {2, 5}, {5, 2}, {3, 1}}), SnapshotOf(list));

    // Without the records out of place the list is in order again.
    EXPECT_TRUE(list.Remove(4));
    EXPECT_TRUE(list.Insert(Item{6, 5, L""}));
    EXPECT_TRUE(list.Insert(Item{7, 1, L""}));
    EXPECT_EQ((Snapshot{{2, 5}, {6, 5}, {5, 2}, {3, 1}, {7, 1}}), SnapshotOf(list));
}

TEST(IndexedListTest, RefusedRemovedAndOverwrittenIdsKeepTheIndexInStep) {
    IndexedList<Item> list;
    EXPECT_TRUE(list.Insert(Item{1, 5, L"first"}));
    EXPECT_FALSE(list.Insert(Item{1, 9, L"second"}));
    EXPECT_EQ(L"first", list.find(1)->text);
    list.Overwrite(list.find(1), Item{1, 5, L"edited"});
    EXPECT_EQ(L"edited", list.front().text);
    EXPECT_TRUE(list.Remove(1));
    EXPECT_FALSE(list.Remove(1));
    EXPECT_FALSE(list.contains(1));
    EXPECT_TRUE(list.find(1) == list.end());
    EXPECT_TRUE(list.Insert(Item{1, 9, L"again"}));
    EXPECT_EQ(1u, list.size());
    EXPECT_EQ(L"again", list.back().text);
}

TelegraphInfo Telegraph(int id, unsigned long long sortScore, const wchar_t* content) {
    TelegraphInfo item;
    item.id = id;
    item.sort_score = sortScore;
    item.content = content;
    return item;
}

TEST(IndexedListTest, TelegraphCacheTakesAnUpdateLikeAPlainList) {
    std::list<TelegraphInfo> plain;
    TelegraphCache cache;
    for (int id = 1; id <= 6; ++id) {
        InsertBySortScore(plain, Telegraph(id, 100 * static_cast<unsigned long long>(id), L"cached"));
        InsertBySortScore(cache, Telegraph(id, 100 * static_cast<unsigned long long>(id), L"cached"));
    }
    TelegraphUpdate changes;
    changes.added = {Telegraph(9, 900, L"new"), Telegraph(3, 350, L"already cached"), Telegraph(7, 250, L"new")};
    changes.modified = {Telegraph(2, 990, L"edited, higher score"), Telegraph(8, 50, L"not cached")};
    changes.removedIds = {5, 42, 1};
    ApplyTelegraphUpdate(changes, plain);
    ApplyTelegraphUpdate(changes, cache);
    ASSERT_EQ(SnapshotOf(plain), SnapshotOf(cache));
    std::list<TelegraphInfo>::const_iterator expected = plain.begin();
    for (const TelegraphInfo& item : cache)
        EXPECT_EQ((expected++)->content, item.content);

    // The edited record kept its place though its score rose: a later insert
    // still finds the first smaller score from the front.
    InsertBySortScore(plain, Telegraph(10, 300, L"later"));
    InsertBySortScore(cache, Telegraph(10, 300, L"later"));
    EXPECT_EQ(SnapshotOf(plain), SnapshotOf(cache));
}

}  // namespace
