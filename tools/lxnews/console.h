#pragma once

// One aligned line per event, written whole from any thread:
//   HH:MM:SS.mmm  feed             +added ~modified -removed  held N  headline

#include <map>
#include <mutex>
#include <string>

namespace lxnews {

struct FeedCounts {
    int updates = 0;
    int held = 0;
};

class Console {
public:
    // Prints the event and counts it as an update of `feed`, which now holds `held` items.
    void Event(const std::string& feed, int added, int modified, int removed, int held,
               const std::wstring& headline);
    // Prints a remark about `feed` without counting an update.
    void Note(const std::string& feed, const std::string& text);
    void Header();

    FeedCounts counts(const std::string& feed) const;

private:
    void Print(const std::string& line);

    mutable std::mutex mutex_;
    std::map<std::string, FeedCounts> counts_;
};

// The headline shortened to about `columns` terminal columns (CJK counts two), as UTF-8.
std::string Shorten(const std::wstring& text, int columns);

}  // namespace lxnews
