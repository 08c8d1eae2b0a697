#pragma once

// Prints feed events whole from any thread: one aligned line each, cut to the
// terminal's width (80 columns when standard output is not a terminal),
//   HH:MM:SS.mmm  feed  +added ~modified -removed  held  headline
// or, with --json, one JSON object per line (docs/lxnews.md).

#include <map>
#include <mutex>
#include <string>

#include "tools/lxnews/feed_event.h"

namespace lxnews {

struct FeedTally {
    int updates = 0;
    int failed = 0;
    int held = -1;
    bool succeeded = false;
};

class Console {
public:
    Console(bool json, int columns);

    // Text mode only: what is watched, and the column titles.
    void Intro(const std::string& line);
    void Header();
    void Event(const FeedEvent& event);
    // A remark about `feed` that is not an update.
    void Note(const std::string& feed, const std::string& text);
    // Later events are dropped: what fails while the run is torn down is no news.
    void Close();
    // A line exactly as given (the summary).
    void Print(const std::string& line);

    bool json() const { return json_; }
    int columns() const { return columns_; }
    std::map<std::string, FeedTally> tallies() const;

private:
    std::string TextLine(const FeedEvent& event) const;

    const bool json_;
    const int columns_;
    mutable std::mutex mutex_;
    bool closed_ = false;
    std::map<std::string, FeedTally> tallies_;
};

// Columns of standard output when it is a terminal, else 80.
int OutputColumns();

// `text` cut to `columns` terminal columns (CJK counts two), as UTF-8.
std::string Shorten(const std::wstring& text, int columns);

// "2024-05-06T07:08:09.123" in local time, for JSON.
std::string IsoTimeNow();

}  // namespace lxnews
