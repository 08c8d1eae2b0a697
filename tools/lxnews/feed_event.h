#pragma once

// One delivery of a feed as the console client reports it: what changed in
// what the client holds, not what the publisher happened to send.

#include <map>
#include <string>
#include <vector>

namespace lxnews {

typedef std::vector<std::string> Ids;

// What a client holds of a feed: item id to a fingerprint of its shown fields.
typedef std::map<std::string, std::string> Snapshot;

struct Changes {
    Ids added;
    Ids modified;  // held before and after, with another fingerprint
    Ids removed;
    bool empty() const { return added.empty() && modified.empty() && removed.empty(); }
};

Changes Compare(const Snapshot& before, const Snapshot& after);

struct FeedEvent {
    std::string feed;
    std::string kind;  // which delivery of the feed: "refresh", "page", "hand-over", ...
    Changes changes;
    int held = -1;  // items the client holds after it; -1 when the event has no such count
    bool failed = false;
    std::wstring headline;
};

}  // namespace lxnews
