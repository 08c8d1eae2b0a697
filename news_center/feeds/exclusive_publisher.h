#pragma once

#include <list>
#include <map>

#include <boost/thread/mutex.hpp>

#include "news_center/common/liveness.h"
#include "news_center/feeds/exclusive_interface.h"
#include "news_center/request/response_envelope.h"

// Exclusive columns. Thread-safe; handlers run on network threads, possibly
// several at once. The one mutex guards the per-column state and is never held
// across a network call (including the synchronous inform-modify pages) or a callback.
class CExclusivePublisher : public IExclusivePublisher {
public:
    CExclusivePublisher();
    void RequestColumnList(const ExclusiveColumnCallback& callback) override;
    void RequestArticleList(int columnId, const ExclusiveArticleCallback& callback) override;
    void RequestEarlierArticleList(int columnId, unsigned long long lastTime,
                                   const ExclusiveArticleCallback& callback) override;
    void RequestArticleListOperation(int columnId, const ExclusiveUpdateCallback& callback) override;
    virtual ~CExclusivePublisher();

private:
    // Edits and removals of one column since the cursors, folded into `changes`.
    void RequestInformModify(ExclusiveUpdate& changes, int columnId, unsigned long long& lastTime,
                             unsigned long long& time);
    void RequestArticlePage(const news_center::internal::OperationTexts& texts, int columnId,
                            unsigned long long lastTime, const ExclusiveArticleCallback& callback);
    void OnColumnList(const ExclusiveColumnCallback& callback, const news_center::internal::Response& response);
    void OnArticlePage(int columnId, const ExclusiveArticleCallback& callback,
                       const news_center::internal::Response& response);
    void OnArticleListOperation(int columnId, const ExclusiveUpdateCallback& callback,
                                const news_center::internal::Response& response);
    // Called with mutex_ held.
    void UpdateEarliest(int columnId);

    boost::mutex mutex_;
    unsigned long long time_;                                 // inform-modify "time", shared by the columns
    std::map<int, unsigned long long> lastTimes_;             // inform-modify operation-time cursor per column
    std::map<int, unsigned long long> earliest_;              // lowest sort_score loaded per column
    std::map<int, std::list<ExclusiveArticle> > articles_;    // newest sort_score first
    news_center::internal::Liveness::Ptr liveness_;
};
