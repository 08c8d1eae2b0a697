#pragma once

#include <list>
#include <string>

#include <boost/function.hpp>

struct ExclusiveColumn {
    int column_id = 0;
    std::wstring title;
    std::wstring unread_pic;
    std::wstring frontpage_pic;
    std::wstring calendar_pic;
    std::wstring calendar_color;
    std::wstring neican_pic;
};

struct ExclusiveArticle {
    int id = 0;
    std::wstring title;
    std::wstring author;
    std::wstring brief;
    int comment_num = 0;
    int reading_num = 0;
    unsigned long long ctime = 0;
    unsigned long long sort_score = 0;
    int status = 0;
    std::wstring showurl;
    std::wstring neican_img;
};

// What one incremental refresh of a column changed; lists newest first, unique.
struct ExclusiveUpdate {
    std::list<ExclusiveArticle> added;
    std::list<ExclusiveArticle> modified;
    std::list<int> removed;
};

typedef boost::function<void(const std::list<ExclusiveColumn>&)> ExclusiveColumnCallback;
typedef boost::function<void(int columnId, const std::list<ExclusiveArticle>&)> ExclusiveArticleCallback;
typedef boost::function<void(int columnId, const ExclusiveUpdate&)> ExclusiveUpdateCallback;

// Exclusive columns and their articles, fetched on request. Every callback runs
// once on a network thread, with an empty result after a failure; an empty
// callback is allowed (the request still runs and still updates the cache).
// Thread-safe.
class IExclusivePublisher {
public:
    virtual void RequestColumnList(const ExclusiveColumnCallback& callback) = 0;
    // The newest page of a column; the whole page reaches `callback`.
    virtual void RequestArticleList(int columnId, const ExclusiveArticleCallback& callback) = 0;
    // The page older than `lastTime`, which the caller supplies.
    virtual void RequestEarlierArticleList(int columnId, unsigned long long lastTime,
                                           const ExclusiveArticleCallback& callback) = 0;
    // Newer articles, edits and removals of a column since its last refresh.
    virtual void RequestArticleListOperation(int columnId, const ExclusiveUpdateCallback& callback) = 0;
};
