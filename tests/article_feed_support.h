#pragma once

// Shared by the tests of the inform-modify merge and of the two feeds that use
// it: JSON texts of "/pc/inform/modify" responses and small readers of results.

#include <list>
#include <string>
#include <vector>

#include "tests/host_double/host_double.h"

namespace feedtest {

inline std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ",") + item;
    return text;
}

// An article as it now stands; `extra` is more "key":value text.
inline std::string Info(int id, unsigned long long score, int status = 1, int column = 0,
                        const std::string& extra = std::string()) {
    return "{\"id\":" + std::to_string(id) + ",\"sort_score\":" + std::to_string(score) +
           ",\"status\":" + std::to_string(status) + ",\"column_id\":" + std::to_string(column) +
           (extra.empty() ? "" : "," + extra) + "}";
}

// One operation; an empty `info` leaves the key out.
inline std::string Entry(const std::string& operation, int id, const std::string& info, int type = 2,
                         unsigned long long operationTime = 100) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) + ",\"operation\":\"" + operation +
           "\",\"operation_time\":" + std::to_string(operationTime) + (info.empty() ? "" : ",\"info\":" + info) + "}";
}

// A removal, whose article is no longer published.
inline std::string Removal(const std::string& operation, int id, int type = 2, unsigned long long operationTime = 100) {
    return Entry(operation, id, Info(id, 0, 0), type, operationTime);
}

inline std::string Page(const std::vector<std::string>& entries, unsigned long long time = 0, int errorNumber = 0) {
    return "{\"errno\":" + std::to_string(errorNumber) + ",\"time\":" + std::to_string(time) + ",\"data\":[" +
           Join(entries) + "]}";
}

// The recorded requests to `path`, in order.
inline std::vector<hostdouble::Request> RequestsTo(const std::string& path) {
    std::vector<hostdouble::Request> out;
    for (const hostdouble::Request& request : hostdouble::Requests()) {
        if (request.path == path)
            out.push_back(request);
    }
    return out;
}

template <class Record>
std::vector<int> Ids(const std::list<Record>& records) {
    std::vector<int> ids;
    for (const Record& record : records)
        ids.push_back(record.id);
    return ids;
}

}  // namespace feedtest
