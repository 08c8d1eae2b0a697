#include "news_center/feeds/depth_publisher.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>

#include "host/lx_base.h"
#include "news_center/common/async_request.h"
#include "news_center/common/inform_modify.h"
#include "news_center/feeds/refresh_feed.h"
#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"
#include "news_center/request/request_builder.h"
#include "news_center/request/response_envelope.h"

using namespace news_center::internal;

namespace {

const unsigned long long kNothingLoaded = std::numeric_limits<unsigned long long>::max();
const unsigned int kRefreshIntervalMs = 600000;
const std::size_t kCountedArticles = 15;
const int kDepthArticleType = 2;

// The refresh logs no failed transfer: observers learn of it through `failed`.
const OperationTexts kRefreshTexts = {
    nullptr,
    L"DepthPublisher::NotifySubscriber Json Parse Error Code: %d",
    L"DepthPublisher::NotifySubscriber Response Error Code: %d",
};

const OperationTexts kEarlierTexts = {
    L"DepthPublisher::RequestEarlierDepth Code fail",
    L"DepthPublisher::RequestEarlierDepth Json Parse Error Code: %d",
    L"DepthPublisher::RequestEarlierDepth Response Error Code: %d",
};

ArticleRecommendation ParseRecommendation(const QJsonObject& object) {
    ArticleRecommendation recommendation;
    recommendation.article_id = ReadDecimalText(object.value(QStringLiteral("article_id")));
    recommendation.name = ReadWide(object.value(QStringLiteral("name")));
    recommendation.showurl = ReadWide(object.value(QStringLiteral("showurl")));
    return recommendation;
}

typedef IndexedList<DepthArticle> ArticleList;

ArticleList& ListFor(const DepthArticle& article, ArticleList& top, ArticleList& normal) {
    return article.is_top ? top : normal;
}

unsigned long long NewestScore(const ArticleList& articles) {
    return articles.empty() ? 0 : articles.front().sort_score;
}

enum DepthArticleField {
    kId, kShortTitle, kTitle, kAuthor, kBrief, kImg, kJump, kCtime, kSortScore, kRecommend, kIsTop, kReadingNum,
    kCommentNum, kStatus, kShareurl, kShowurl, kArticleRec
};
const FieldKeys kDepthArticleKeys({"id", "short_title", "title", "author", "brief", "img", "jump", "ctime",
                                   "sort_score", "recommend", "is_top", "reading_num", "comment_num", "status",
                                   "shareurl", "showurl", "article_rec"});

DepthArticle ParseDepthArticle(const QJsonObject& object) {
    const RecordFields fields(object, kDepthArticleKeys);
    DepthArticle article;
    article.id = ReadInt(fields[kId]);
    article.short_title = ReadWide(fields[kShortTitle]);
    article.title = ReadWide(fields[kTitle]);
    article.author = ReadWide(fields[kAuthor]);
    article.brief = ReadWide(fields[kBrief]);
    article.img = ReadWide(fields[kImg]);
    article.jump = ReadWide(fields[kJump]);
    article.ctime = ReadU64(fields[kCtime]);
    article.sort_score = ReadU64(fields[kSortScore]);
    article.recommend = fields[kRecommend].toVariant().toBool();
    article.is_top = fields[kIsTop].toBool();
    article.reading_num = ReadTruncatedInt(fields[kReadingNum]);
    article.comment_num = ReadTruncatedInt(fields[kCommentNum]);
    article.status = ReadInt(fields[kStatus]);
    article.shareurl = ReadWide(fields[kShareurl]);
    article.showurl = ReadWide(fields[kShowurl]);
    const QJsonArray recommendations = fields[kArticleRec].toArray();
    for (const QJsonValue& recommendation : recommendations)
        article.article_rec.push_back(ParseRecommendation(recommendation.toObject()));
    return article;
}

DepthBanner ParseDepthBanner(const QJsonObject& object) {
    DepthBanner banner;
    banner.title = ReadWide(object.value(QStringLiteral("title")));
    banner.img = ReadWide(object.value(QStringLiteral("img")));
    banner.jump = ReadWide(object.value(QStringLiteral("jump")));
    return banner;
}

// The articles of "list" whose "type" is 2, in order.
std::list<DepthArticle> ParseDepthArticleList(const QJsonObject& data) {
    return ParseArticleList(data, {kDepthArticleType}, &ParseDepthArticle);
}

}  // namespace

CDepthPublisher::CDepthPublisher()
    : time_(0), lastTime_(0), earliest_(kNothingLoaded), busy_(false), liveness_(Liveness::Create()) {
    thread_.Start(BindAlive(liveness_, boost::bind(&CDepthPublisher::NotifySubscriber, this)),
                  boost::bind(&CDepthPublisher::GetRefreshInterval, this));
}

CDepthPublisher::~CDepthPublisher() {
    // As the telegraph's: no new cycle, the thread's own ends early, then a posted one.
    liveness_->Close();
    thread_.Stop();
    liveness_->Revoke();
    boost::mutex::scoped_lock lock(stateMutex_);
    observers_.Clear();
}

unsigned int CDepthPublisher::GetRefreshInterval() { return kRefreshIntervalMs; }

std::wstring CDepthPublisher::BuildRefreshUrl() {
    return RequestBuilder::Instance().DepthUrl(FetchKind::Refresh, 0, true);
}

void CDepthPublisher::Subscribe(IDepthObserver* observer) {
    boost::mutex::scoped_lock lock(stateMutex_);
    observers_.Add(observer);
}

void CDepthPublisher::Unsubscribe(IDepthObserver* observer) {
    boost::mutex::scoped_lock lock(stateMutex_);
    observers_.Remove(observer);
}

void CDepthPublisher::Refresh() {
    base::TaskManagerInstance().AddTask(
        BindAlive(liveness_, boost::bind(&CDepthPublisher::NotifySubscriber, this)));
}

void CDepthPublisher::NotifySubscriber() {
    boost::this_thread::interruption_point();
    unsigned long long time = 0;
    unsigned long long lastTime = 0;
    const auto copyMarks = [&] {
        time = time_;
        lastTime = lastTime_;
    };
    if (!OpenRefreshCycle(stateMutex_, observers_, busy_, copyMarks, &IDepthObserver::OnDepthRefreshBegin))
        return;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        update_ = DepthUpdate();
        if (lastTime == 0) {
            const ArticleList& newest = normalList_.empty() ? topList_ : normalList_;
            if (!newest.empty())
                lastTime = newest.front().sort_score / 1000;
        }
    }

    const SyncResponse fetched = FetchSync(BuildRefreshUrl(), kRefreshTexts);
    DepthUpdate changes;
    std::list<DepthBanner> banners;
    if (fetched.response.isParsed()) {
        const QJsonObject data = fetched.response.dataObject();
        for (const QJsonValue& banner : data.value(QStringLiteral("banner")).toArray())
            banners.push_back(ParseDepthBanner(banner.toObject()));
        std::list<DepthArticle> fresh = FreshArticles(data);
        if (lastTime == 0) {
            changes.added = std::move(fresh);
        } else {
            MergeInformModifyListToCache(changes, lastTime, time);
            FoldFresh(changes, fresh);
        }
    }

    const unsigned long long candidate = ApplyAndNotify(changes, banners, !fetched.transferred);
    {
        boost::mutex::scoped_lock lock(stateMutex_);
        time_ = time;
        lastTime_ = lastTime;
        earliest_ = std::min(earliest_, candidate);
        busy_ = false;
    }
    RequestCounters();
}

// Only articles newer than the newest of their list are kept; the rest,
// usually most of the page, are not converted at all.
std::list<DepthArticle> CDepthPublisher::FreshArticles(const QJsonObject& data) {
    unsigned long long newestTop;
    unsigned long long newestNormal;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        newestTop = NewestScore(topList_);
        newestNormal = NewestScore(normalList_);
    }
    return ParseArticleList(data, {kDepthArticleType}, &ParseDepthArticle,
                            [newestTop, newestNormal](const QJsonObject& article) {
                                const bool isTop = article.value(QStringLiteral("is_top")).toBool();
                                return ReadU64(article.value(QStringLiteral("sort_score"))) >
                                       (isTop ? newestTop : newestNormal);
                            });
}

// A fresh article also removed in the cycle stays out; one also edited is
// added when it is newer than the edit, which it then replaces.
void CDepthPublisher::FoldFresh(DepthUpdate& changes, std::list<DepthArticle>& fresh) {
    for (DepthArticle& article : fresh) {
        if (std::find(changes.removed.begin(), changes.removed.end(), article.id) != changes.removed.end())
            continue;
        const auto edited = FindById(changes.modified, article.id);
        if (edited == changes.modified.end()) {
            InsertBySortScore(changes.added, std::move(article));
        } else if (article.sort_score > edited->sort_score) {
            InsertBySortScore(changes.added, std::move(article));
            changes.modified.erase(edited);
        }
    }
}

// Returns the lowest sort score now loaded (kNothingLoaded when nothing is).
unsigned long long CDepthPublisher::ApplyAndNotify(DepthUpdate& changes, std::list<DepthBanner>& banners,
                                                   bool failed) {
    boost::mutex::scoped_lock cache(cacheMutex_);
    if (banners != banners_) {
        banners_ = banners;
        update_.banners = std::move(banners);
    }
    unsigned long long earliest;
    {
        boost::mutex::scoped_lock state(stateMutex_);
        earliest = earliest_;
    }
    ApplyToCache(changes, earliest);
    const ArticleList& oldest = normalList_.empty() ? topList_ : normalList_;
    const unsigned long long candidate = oldest.empty() ? kNothingLoaded : oldest.back().sort_score;

    boost::mutex::scoped_lock state(stateMutex_);
    observers_.ForEach([&](IDepthObserver& observer) { observer.OnDepthUpdate(failed, update_); });
    return candidate;
}

void CDepthPublisher::MergeInformModifyListToCache(DepthUpdate& changes, unsigned long long& lastTime,
                                                   unsigned long long& time) {
    MergeInformModify(changes, lastTime, time, DepthInformModifyRules(), &ParseDepthArticle);
}

// `changes` is spent: its records are moved where they are last needed.
void CDepthPublisher::ApplyToCache(DepthUpdate& changes, unsigned long long earliest) {
    for (int id : changes.removed) {
        if (RemoveById(topList_, id) || RemoveById(normalList_, id))
            update_.removed.push_back(id);
    }
    for (DepthArticle& article : changes.added) {
        // Anything older than earliest belongs to a page not loaded yet.
        if (earliest != kNothingLoaded && article.sort_score < earliest)
            continue;
        if (InsertBySortScore(ListFor(article, topList_, normalList_), article))
            InsertBySortScore(update_.added, std::move(article));
    }
    for (DepthArticle& modified : changes.modified)
        ApplyModified(modified, earliest);
}

void CDepthPublisher::ApplyModified(DepthArticle& modified, unsigned long long earliest) {
    ArticleList* holder = &topList_;
    auto cached = topList_.find(modified.id);
    if (cached == topList_.end()) {
        holder = &normalList_;
        cached = normalList_.find(modified.id);
        if (cached == normalList_.end()) {
            update_.modified.push_back(std::move(modified));
            return;
        }
    }
    const bool wasTop = holder == &topList_;
    if (wasTop == modified.is_top && cached->sort_score == modified.sort_score) {
        // Copied over the cached record, whose strings keep their storage; the
        // update takes the original.
        holder->Overwrite(cached, static_cast<const DepthArticle&>(modified));
        update_.modified.push_back(std::move(modified));
        return;
    }
    update_.modified.push_back(modified);
    // It moves: reported as removed, then as added where it lands.
    holder->Erase(cached);
    update_.removed.push_back(modified.id);
    if (wasTop && !modified.is_top && modified.sort_score < earliest)
        return;
    if (InsertBySortScore(ListFor(modified, topList_, normalList_), modified))
        InsertBySortScore(update_.added, std::move(modified));
}

void CDepthPublisher::RequestEarlierDepth(const DepthArticleCallback& callback) {
    bool empty;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        empty = topList_.empty() && normalList_.empty();
    }
    if (empty) {
        {
            boost::mutex::scoped_lock lock(stateMutex_);
            time_ = 0;
            lastTime_ = 0;
            earliest_ = kNothingLoaded;
        }
        Refresh();
        if (callback)
            callback(std::list<DepthArticle>());
        return;
    }
    if (!callback)
        return;
    unsigned long long earliest;
    bool lastIsStickies;
    {
        boost::mutex::scoped_lock cache(cacheMutex_);
        lastIsStickies = normalList_.empty();
        boost::mutex::scoped_lock state(stateMutex_);
        earliest = earliest_ == kNothingLoaded ? 0 : earliest_;
    }
    SendAsync({RequestBuilder::Instance().DepthUrl(FetchKind::OlderPage, earliest, lastIsStickies), &kEarlierTexts,
               kOlderPageTimeoutSeconds},
              liveness_, [this, callback](bool, const Response& response) { OnEarlierDepth(callback, response); });
}

void CDepthPublisher::OnEarlierDepth(const DepthArticleCallback& callback, const Response& response) {
    std::list<DepthArticle> page;
    if (response.isParsed())
        page = ParseDepthArticleList(response.dataObject());
    if (!page.empty()) {
        {
            boost::mutex::scoped_lock lock(stateMutex_);
            earliest_ = page.back().sort_score;
        }
        boost::mutex::scoped_lock lock(cacheMutex_);
        for (auto it = page.begin(); it != page.end();) {
            if (ContainsId(topList_, it->id) || ContainsId(normalList_, it->id)) {
                it = page.erase(it);
            } else {
                InsertBySortScore(ListFor(*it, topList_, normalList_), *it);
                ++it;
            }
        }
    }
    if (callback)
        callback(page);
}

void CDepthPublisher::RequestCounters() {
    std::vector<unsigned int> ids;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        for (const ArticleList* articles : {&topList_, &normalList_}) {
            for (const DepthArticle& article : *articles) {
                if (ids.size() == kCountedArticles)
                    break;
                ids.push_back(static_cast<unsigned int>(article.id));
            }
        }
    }
    RelayCounters(ids, liveness_, stateMutex_, observers_, &IDepthObserver::OnDepthCountersUpdate);
}
