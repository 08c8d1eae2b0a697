#include "tools/lxnews/feed_event.h"

namespace lxnews {

Changes Compare(const Snapshot& before, const Snapshot& after) {
    Changes changes;
    for (const auto& item : after) {
        const auto held = before.find(item.first);
        if (held == before.end())
            changes.added.push_back(item.first);
        else if (held->second != item.second)
            changes.modified.push_back(item.first);
    }
    for (const auto& item : before) {
        if (after.count(item.first) == 0) changes.removed.push_back(item.first);
    }
    return changes;
}

}  // namespace lxnews
