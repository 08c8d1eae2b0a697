#pragma once

#include <map>
#include <string>

namespace lxnews {

// The feed a program-log line belongs to, from the publisher name it starts
// with; empty for a line of no feed. Some exclusive-column texts carry the depth
// publisher's name, so they are matched by operation first.
std::string FeedOfLogLine(const std::string& line);

// Lines per feed in `path` from byte `offset` to byte `end` (-1: to the end of the file).
std::map<std::string, int> CountLogLinesPerFeed(const std::string& path, long long offset, long long end = -1);

long long FileSize(const std::string& path);

}  // namespace lxnews
