#pragma once

// The telegraph roll list ("data"."list" of /pc/roll/batch_show): each element
// adds, modifies, deletes, hides or shows one telegraph. Plain data work, no
// locks: the publisher calls these under its own.

#include <list>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

#include "news_center/common/sorted_list.h"
#include "news_center/feeds/telegraph_interface.h"

namespace news_center {
namespace internal {

// The publisher's cache: every telegraph list rule, with an index by id.
typedef IndexedList<TelegraphInfo> TelegraphCache;

// One roll-list element and what the filter, the collapse and the change set
// read of it, read once.
struct RollOperation {
    enum Kind { Add, Modify, Delete, Hidden, Show, Other };

    QJsonObject element;
    QJsonObject info;  // the element's "info"
    int index;         // position in the array it was read from
    int id;            // the element's own "id"
    bool isTelegraph;  // "type" is -1
    Kind kind;
    int status;  // "info"."status"
};
typedef std::vector<RollOperation> RollOperations;

RollOperations ReadRollList(const QJsonArray& rollList);

// A telegraph from an element's "info". Flags are true only for a non-zero
// number (a JSON true reads as false).
TelegraphInfo ParseTelegraphInfo(const QJsonObject& info);

// Drops shows, adds and modifies of telegraphs whose status is not 1, and
// deletes and hides of telegraphs whose status is 1.
void FilterOperationsByStatus(RollOperations& operations);
void FilterOperationsByStatus(QJsonArray& rollList);

// Reduces several operations on one id pairwise, from the front; each element
// is compared with its first later match only.
void CollapseOperations(RollOperations& operations);
void CollapseOperations(QJsonArray& rollList);

// Adds one page's operations to `changes`. A "show" below `earliestSortScore`
// lies outside what the caller holds and is ignored.
void BuildTelegraphUpdate(TelegraphUpdate& changes, const RollOperations& operations,
                          unsigned long long earliestSortScore);
void BuildTelegraphUpdate(TelegraphUpdate& changes, const QJsonArray& rollList, unsigned long long earliestSortScore);

// Adds new ids, overwrites modified records where they stand (a changed
// sort_score does not move them), then erases the removed ids.
void ApplyTelegraphUpdate(const TelegraphUpdate& changes, TelegraphCache& cache);
void ApplyTelegraphUpdate(const TelegraphUpdate& changes, std::list<TelegraphInfo>& cache);

// The telegraphs an older page delivers: its adds and modifies, in roll-list
// order, unfiltered (an id may appear twice).
std::list<TelegraphInfo> ParseOlderPage(const QJsonArray& rollList);

}  // namespace internal
}  // namespace news_center
