#pragma once

#include <map>
#include <vector>

#include <boost/function.hpp>

// Reading and comment numbers of one article.
struct CountInfo {
    int reading_num = 0;
    int comment_num = 0;
};

// Article id to counts, ascending by id; holds exactly the ids the service listed.
typedef std::map<unsigned int, CountInfo> CountInfoMap;
typedef boost::function<void(const CountInfoMap&)> CountInfoCallback;

class ICommonPublisher {
public:
    // Fetches the counters of `ids` (zeros skipped, order and duplicates kept)
    // and calls `callback` once, on a network thread, with the service's answer.
    // Nothing is called when the transfer or the parse fails, or when `callback`
    // is empty (the request is still sent). Safe from any thread.
    virtual void RequestCountInfo(const std::vector<unsigned int>& ids, const CountInfoCallback& callback) = 0;
};
