#include "news_center/feeds/exclusive_publisher.h"

#include <initializer_list>
#include <limits>

#include <boost/bind/bind.hpp>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "news_center/common/async_request.h"
#include "news_center/common/inform_modify.h"
#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"
#include "news_center/request/request_builder.h"
#include "news_center/request/response_envelope.h"

using namespace news_center::internal;

namespace {

const unsigned long long kNothingLoaded = std::numeric_limits<unsigned long long>::max();
const std::initializer_list<int> kArticleTypes = {2, 3};

// The response-error texts keep the "DepthPublisher::" prefix that existing logs carry.
const OperationTexts kColumnListTexts = {
    L"ExclusivePublisher::RequestColumnList Code fail",
    L"ExclusivePublisher::RequestColumnList Json Parse Error Code: %d",
    L"DepthPublisher::RequestColumnList Response Error Code: %d",
};
const OperationTexts kFirstPageTexts = {
    L"ExclusivePublisher::RequestArticleList Code fail",
    L"ExclusivePublisher::RequestArticleList Json Parse Error Code: %d",
    L"DepthPublisher::RequestArticleList Response Error Code: %d",
};
const OperationTexts kEarlierPageTexts = {
    L"ExclusivePublisher::RequestEarlierArticle Code fail",
    L"ExclusivePublisher::RequestEarlierArticleList Json Parse Error Code: %d",
    L"DepthPublisher::RequestEarlierArticleList Response Error Code: %d",
};
const OperationTexts kOperationTexts = {
    L"ExclusivePublisher::RequestArticleListOp Code fail",
    L"ExclusivePublisher::RequestArticleListOperation Json Parse Error Code: %d",
    L"DepthPublisher::RequestArticleListOperation Response Error Code: %d",
};

// Drops the first article for which `cut` holds and everything after it.
template <class Predicate>
void CutAt(std::list<ExclusiveArticle>& articles, Predicate cut) {
    auto it = articles.begin();
    while (it != articles.end() && !cut(*it))
        ++it;
    articles.erase(it, articles.end());
}

enum ColumnField {
    kColumnId, kColumnTitle, kColumnUnreadPic, kColumnFrontpagePic, kColumnCalendarPic, kColumnCalendarColor,
    kColumnNeicanPic
};
const FieldKeys kColumnKeys({"column_id", "title", "unread_pic", "frontpage_pic", "calendar_pic", "calendar_color",
                             "neican_pic"});

ExclusiveColumn ParseExclusiveColumn(const QJsonObject& object) {
    const RecordFields fields(object, kColumnKeys);
    ExclusiveColumn column;
    column.column_id = ReadInt(fields[kColumnId]);
    column.title = ReadWide(fields[kColumnTitle]);
    column.unread_pic = ReadWide(fields[kColumnUnreadPic]);
    column.frontpage_pic = ReadWide(fields[kColumnFrontpagePic]);
    column.calendar_pic = ReadWide(fields[kColumnCalendarPic]);
    column.calendar_color = ReadWide(fields[kColumnCalendarColor]);
    column.neican_pic = ReadWide(fields[kColumnNeicanPic]);
    return column;
}

enum ArticleField {
    kArticleId, kArticleTitle, kArticleAuthor, kArticleBrief, kArticleCommentNum, kArticleReadingNum, kArticleCtime,
    kArticleSortScore, kArticleStatus, kArticleShowurl, kArticleNeicanImg
};
const FieldKeys kArticleKeys({"id", "title", "author", "brief", "comment_num", "reading_num", "ctime", "sort_score",
                              "status", "showurl", "neican_img"});

ExclusiveArticle ParseExclusiveArticle(const QJsonObject& object) {
    const RecordFields fields(object, kArticleKeys);
    ExclusiveArticle article;
    article.id = ReadInt(fields[kArticleId]);
    article.title = ReadWide(fields[kArticleTitle]);
    article.author = ReadWide(fields[kArticleAuthor]);
    article.brief = ReadWide(fields[kArticleBrief]);
    article.comment_num = ReadTruncatedInt(fields[kArticleCommentNum]);
    article.reading_num = ReadTruncatedInt(fields[kArticleReadingNum]);
    article.ctime = ReadU64(fields[kArticleCtime]);
    article.sort_score = ReadU64(fields[kArticleSortScore]);
    article.status = ReadInt(fields[kArticleStatus]);
    article.showurl = ReadWide(fields[kArticleShowurl]);
    article.neican_img = ReadWide(fields[kArticleNeicanImg]);
    return article;
}

// The articles of "list" whose "type" is 2 or 3, in order.
std::list<ExclusiveArticle> ParseExclusiveArticleList(const QJsonObject& data) {
    return ParseArticleList(data, kArticleTypes, &ParseExclusiveArticle);
}

// Splices a page into a column's cache: whole in front, whole behind, or
// article by article where the two overlap.
void MergeArticlePage(std::list<ExclusiveArticle>& cache, const std::list<ExclusiveArticle>& page) {
    if (cache.empty()) {
        cache = page;
        return;
    }
    if (page.empty())
        return;
    const ExclusiveArticle& pageLast = page.back();
    const ExclusiveArticle& pageFirst = page.front();
    if (pageLast.sort_score > cache.front().sort_score ||
        (pageLast.sort_score == cache.front().sort_score && pageLast.id != cache.front().id)) {
        cache.insert(cache.begin(), page.begin(), page.end());
        return;
    }
    if (pageFirst.sort_score < cache.back().sort_score ||
        (pageFirst.sort_score == cache.back().sort_score && pageFirst.id != cache.back().id)) {
        cache.insert(cache.end(), page.begin(), page.end());
        return;
    }
    auto stop = cache.begin();
    for (const ExclusiveArticle& article : page) {
        stop = SortPosition(stop, cache.end(), article.sort_score, true);
        if (stop != cache.end() && stop->sort_score == article.sort_score && stop->id == article.id)
            continue;
        cache.insert(stop, article);
    }
}

}  // namespace

CExclusivePublisher::CExclusivePublisher() : time_(0), liveness_(Liveness::Create()) {}

CExclusivePublisher::~CExclusivePublisher() { liveness_->Revoke(); }

void CExclusivePublisher::RequestColumnList(const ExclusiveColumnCallback& callback) {
    SendAsync({RequestBuilder::Instance().ColumnListUrl(), &kColumnListTexts}, liveness_,
              [this, callback](bool, const Response& response) { OnColumnList(callback, response); });
}

void CExclusivePublisher::RequestArticleList(int columnId, const ExclusiveArticleCallback& callback) {
    RequestArticlePage(kFirstPageTexts, columnId, 0, callback);
}

void CExclusivePublisher::RequestEarlierArticleList(int columnId, unsigned long long lastTime,
                                                    const ExclusiveArticleCallback& callback) {
    RequestArticlePage(kEarlierPageTexts, columnId, lastTime, callback);
}

void CExclusivePublisher::RequestArticlePage(const OperationTexts& texts, int columnId, unsigned long long lastTime,
                                             const ExclusiveArticleCallback& callback) {
    SendAsync({RequestBuilder::Instance().ColumnArticleListUrl(static_cast<unsigned int>(columnId), lastTime), &texts},
              liveness_,
              [this, columnId, callback](bool, const Response& response) {
                  OnArticlePage(columnId, callback, response);
              });
}

void CExclusivePublisher::RequestArticleListOperation(int columnId, const ExclusiveUpdateCallback& callback) {
    SendAsync({RequestBuilder::Instance().ColumnArticleListUrl(static_cast<unsigned int>(columnId), 0),
               &kOperationTexts},
              liveness_,
              [this, columnId, callback](bool, const Response& response) {
                  OnArticleListOperation(columnId, callback, response);
              });
}

void CExclusivePublisher::RequestInformModify(ExclusiveUpdate& changes, int columnId, unsigned long long& lastTime,
                                              unsigned long long& time) {
    MergeInformModify(changes, lastTime, time, ExclusiveInformModifyRules(columnId), &ParseExclusiveArticle);
}

void CExclusivePublisher::OnColumnList(const ExclusiveColumnCallback& callback, const Response& response) {
    std::list<ExclusiveColumn> columns;
    const QJsonArray list = response.dataObject().value(QStringLiteral("column_list")).toArray();
    for (const QJsonValue& column : list)
        columns.push_back(ParseExclusiveColumn(column.toObject()));
    if (callback)
        callback(columns);
}

void CExclusivePublisher::OnArticlePage(int columnId, const ExclusiveArticleCallback& callback,
                                        const Response& response) {
    const std::list<ExclusiveArticle> page = ParseExclusiveArticleList(response.dataObject());
    if (!page.empty()) {
        boost::mutex::scoped_lock lock(mutex_);
        MergeArticlePage(articles_[columnId], page);
        UpdateEarliest(columnId);
    }
    if (callback)
        callback(columnId, page);
}

void CExclusivePublisher::OnArticleListOperation(int columnId, const ExclusiveUpdateCallback& callback,
                                                 const Response& response) {
    unsigned long long time;
    unsigned long long lastTime;
    unsigned long long newest = 0;
    unsigned long long earliest = kNothingLoaded;
    {
        boost::mutex::scoped_lock lock(mutex_);
        time = time_;
        const auto cached = articles_.find(columnId);
        if (cached != articles_.end() && !cached->second.empty())
            newest = cached->second.front().sort_score;
        const auto stored = lastTimes_.find(columnId);
        if (stored != lastTimes_.end()) {
            lastTime = stored->second;
        } else {
            lastTime = newest / 1000;
            if (lastTime == 0)
                lastTime = static_cast<unsigned long long>(QDateTime::currentDateTime().toMSecsSinceEpoch());
        }
        const auto lowest = earliest_.find(columnId);
        if (lowest != earliest_.end())
            earliest = lowest->second;
    }

    ExclusiveUpdate changes;
    if (response.isParsed()) {
        // Cut at the first article not newer than the cache: what follows it is
        // dropped, so it is not converted.
        bool cut = false;
        const auto newer = [newest, &cut](const QJsonObject& article) {
            cut = cut || ReadU64(article.value(QStringLiteral("sort_score"))) <= newest;
            return !cut;
        };
        changes.added = ParseArticleList(response.dataObject(), kArticleTypes, &ParseExclusiveArticle, newer);
        RequestInformModify(changes, columnId, lastTime, time);
        const auto older = [earliest](const ExclusiveArticle& article) { return article.sort_score < earliest; };
        CutAt(changes.added, older);
        CutAt(changes.modified, older);
    }

    {
        boost::mutex::scoped_lock lock(mutex_);
        lastTimes_[columnId] = lastTime;
        time_ = time;
        std::list<ExclusiveArticle>& cache = articles_[columnId];
        MergeArticlePage(cache, changes.added);
        for (int id : changes.removed)
            RemoveById(cache, id);
        UpdateEarliest(columnId);
    }
    if (callback)
        callback(columnId, changes);
}

void CExclusivePublisher::UpdateEarliest(int columnId) {
    const std::list<ExclusiveArticle>& cache = articles_[columnId];
    const unsigned long long candidate = cache.empty() ? kNothingLoaded : cache.back().sort_score;
    const auto stored = earliest_.find(columnId);
    if (stored == earliest_.end())
        earliest_[columnId] = candidate;
    else if (candidate < stored->second)
        stored->second = candidate;
}
