#pragma once

// The telegraph roll list ("data"."list" of /pc/roll/batch_show): each element
// adds, modifies, deletes, hides or shows one telegraph. Plain data work, no
// locks: the publisher calls these under its own.

#include <list>

#include <QJsonArray>
#include <QJsonObject>

#include "news_center/common/operation_list.h"
#include "news_center/common/sorted_list.h"
#include "news_center/feeds/telegraph_interface.h"

namespace news_center {
namespace internal {

// The publisher's cache: every telegraph list rule, with an index by id.
typedef IndexedList<TelegraphInfo> TelegraphCache;

// A telegraph from an element's "info". Flags are true only for a non-zero
// number (a JSON true reads as false).
TelegraphInfo ParseTelegraphInfo(const QJsonObject& info);

// Drops shows, adds and modifies of telegraphs whose status is not 1, and
// deletes and hides of telegraphs whose status is 1; then collapses several
// operations on one id pairwise.
void ReduceRollList(OperationList& operations);

// Adds one page's operations to `changes`. A "show" below `earliestSortScore`
// lies outside what the caller holds and is ignored.
void BuildTelegraphUpdate(TelegraphUpdate& changes, const OperationList& operations,
                          unsigned long long earliestSortScore);

// Adds new ids, overwrites modified records where they stand (a changed
// sort_score does not move them), then erases the removed ids.
void ApplyTelegraphUpdate(const TelegraphUpdate& changes, TelegraphCache& cache);

// The telegraphs an older page delivers: its adds and modifies, in roll-list
// order, unfiltered (an id may appear twice).
std::list<TelegraphInfo> ParseOlderPage(const QJsonArray& rollList);

}  // namespace internal
}  // namespace news_center
