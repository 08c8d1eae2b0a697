#pragma once

// Operation lists: the telegraph roll list and the inform-modify pages. Each
// element adds, shows, modifies, deletes or hides one record; both lists are
// read once into OperationLists, filtered, and collapsed pairwise before any
// record is parsed. The feeds differ only in their filters and in which of two
// operations on one id survives. Plain data work, no locks.

#include <cstddef>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

namespace news_center {
namespace internal {

struct ListOperation {
    enum Kind { Add, Modify, Delete, Hidden, Show, Other };

    QJsonObject element;
    QJsonObject info;  // the element's "info"
    bool hasInfo;      // the element has an "info", of any type
    int id;            // the element's own "id"
    int type;          // the element's "type"
    Kind kind;         // the element's "operation"
    int status;        // "info"."status"

    bool isRemoval() const { return kind == Delete || kind == Hidden; }
};
typedef std::vector<ListOperation> OperationList;

OperationList ReadOperationList(const QJsonArray& list);

// Several operations on one id, reduced from the front: each operation meets
// its first later match only; when `keepEarlier(earlier, later)` the later one
// goes, otherwise the earlier one does and whatever moves into its place is
// examined next.
template <class KeepEarlier>
void CollapseOperations(OperationList& operations, KeepEarlier keepEarlier) {
    std::size_t i = 0;
    while (i + 1 < operations.size()) {
        std::size_t later = i + 1;
        while (later < operations.size() && operations[later].id != operations[i].id)
            ++later;
        if (later == operations.size()) {
            ++i;
        } else if (keepEarlier(operations[i], operations[later])) {
            operations.erase(operations.begin() + static_cast<std::ptrdiff_t>(later));
            ++i;
        } else {
            operations.erase(operations.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

}  // namespace internal
}  // namespace news_center
