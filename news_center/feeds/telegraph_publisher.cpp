#include "news_center/feeds/telegraph_publisher.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/thread/thread_time.hpp>

#include <QJsonArray>
#include <QString>

#include "host/lx_base.h"
#include "news_center/common/async_request.h"
#include "news_center/feeds/roll_list.h"
#include "news_center/feeds/refresh_feed.h"
#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"
#include "news_center/request/response_envelope.h"

using namespace news_center::internal;

namespace {

// The periodic refresh logs nothing and does not read "errno".
const OperationTexts kRefreshTexts = {nullptr, nullptr, nullptr};

const OperationTexts kEarlierTexts = {
    L"TelegraphPublisher::RequestEarlierTelegraph Failed!",
    L"TelegraphPublisher::RequestEarlierTelegraph Json Parse Error Code: %d",
    L"TelegraphPublisher::RequestEarlierTelegraph Response Error Code: %d",
};

const unsigned int kRefreshIntervalMs = 10000;
const int kFullPage = 100;  // a page this long may have a successor
const std::size_t kCountedTelegraphs = 15;

QJsonArray RollListOf(const Response& response) {
    return response.dataObject().value(QStringLiteral("list")).toArray();
}

}  // namespace

CTelegraphPublisher::CTelegraphPublisher()
    : serverTime_(0),
      operationTime_(0),
      earliestSortScore_(std::numeric_limits<unsigned long long>::max()),
      refreshing_(false),
      liveness_(Liveness::Create()) {
    // Started last: the thread uses every member.
    refreshThread_.Start(BindAlive(liveness_, boost::bind(&CTelegraphPublisher::RefreshTelegraph, this)),
                         boost::bind(&CTelegraphPublisher::GetRefreshInterval, this));
}

CTelegraphPublisher::~CTelegraphPublisher() {
    // Shut first, so no cycle starts; the interrupt ends the thread's own cycle
    // early; then wait for a posted one.
    liveness_->Close();
    refreshThread_.Stop();
    liveness_->Revoke();
    boost::mutex::scoped_lock lock(subscriberMutex_);
    subscribers_.Clear();
}

void CTelegraphPublisher::Subscribe(ITelegraphObserver* observer) {
    boost::mutex::scoped_lock subscribers(subscriberMutex_);
    if (!subscribers_.Add(observer))
        return;
    boost::mutex::scoped_lock cache(cacheMutex_);
    if (cache_.empty())
        return;
    observer->OnTelegraphRefreshBegin();
    changes_.added = cache_.records();
    observer->OnTelegraphUpdate(false, changes_);
}

void CTelegraphPublisher::Unsubscribe(ITelegraphObserver* observer) {
    boost::mutex::scoped_lock lock(subscriberMutex_);
    subscribers_.Remove(observer);
}

void CTelegraphPublisher::Refresh() {
    base::TaskManagerInstance().AddTask(
        BindAlive(liveness_, boost::bind(&CTelegraphPublisher::RefreshTelegraph, this)));
}

void CTelegraphPublisher::RequestEarlierTelegraph(unsigned long long lastTime, const TelegraphListCallback& callback) {
    const std::wstring url = RequestBuilder::Instance().BatchShowUrl(lastTime, serverTime_, FetchKind::OlderPage);
    SendAsync({url, &kEarlierTexts, kOlderPageTimeoutSeconds}, liveness_,
              [this, callback](bool success, const Response& response) {
                  OnEarlierTelegraph(callback, success, response);
              });
}

unsigned int CTelegraphPublisher::GetRefreshInterval() const { return kRefreshIntervalMs; }

std::wstring CTelegraphPublisher::BuildRefreshUrl(unsigned long long lastTime, unsigned long long time) const {
    return RequestBuilder::Instance().BatchShowUrl(lastTime, time, FetchKind::Refresh);
}

unsigned long long CTelegraphPublisher::EarliestSortScore() {
    boost::mutex::scoped_lock lock(subscriberMutex_);
    return earliestSortScore_;
}

void CTelegraphPublisher::RefreshTelegraph() {
    unsigned long long serverTime = 0;
    unsigned long long operationTime = 0;
    const auto copyMarks = [&] {
        serverTime = serverTime_;
        operationTime = operationTime_;
    };
    if (!OpenRefreshCycle(subscriberMutex_, subscribers_, refreshing_, copyMarks,
                          &ITelegraphObserver::OnTelegraphRefreshBegin))
        return;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        changes_ = TelegraphUpdate();
    }

    TelegraphUpdate changes;
    bool success = false;
    for (;;) {
        const SyncResponse page = FetchSync(BuildRefreshUrl(operationTime, serverTime), kRefreshTexts);
        success = success || page.transferred;
        if (!page.response.isParsed())
            break;
        const bool firstLoad = operationTime == 0;
        serverTime = std::max(serverTime, page.response.time());
        OperationList rollList = ReadOperationList(RollListOf(page.response));
        const int count = static_cast<int>(rollList.size());
        if (count > 0) {
            // A first load runs newest first; later pages end with the newest operation.
            const QJsonObject& marker = rollList[static_cast<std::size_t>(firstLoad ? 0 : count - 1)].element;
            operationTime = std::max(operationTime, ReadU64(marker.value(QStringLiteral("operation_time"))));
            if (!firstLoad)
                ReduceRollList(rollList);
        }
        BuildTelegraphUpdate(changes, rollList, EarliestSortScore());
        if (count < kFullPage)
            break;
    }

    {
        boost::mutex::scoped_lock subscribers(subscriberMutex_);
        boost::mutex::scoped_lock cache(cacheMutex_);
        changes.added.remove_if([this](const TelegraphInfo& item) { return ContainsId(cache_, item.id); });
        changes_ = std::move(changes);
        ApplyTelegraphUpdate(changes_, cache_);
        subscribers_.ForEach([&](ITelegraphObserver& observer) { observer.OnTelegraphUpdate(!success, changes_); });

        serverTime_ = serverTime;
        // An emptied cache has nothing to page from: start over with a first load.
        operationTime_ = cache_.empty() ? 0 : operationTime;
        if (!cache_.empty())
            earliestSortScore_ = std::min(earliestSortScore_, cache_.back().sort_score);
        refreshing_ = false;
    }
    RequestTelegraphCounters();
}

void CTelegraphPublisher::RequestTelegraphCounters() {
    std::vector<unsigned int> ids;
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        for (auto it = cache_.begin(); it != cache_.end() && ids.size() < kCountedTelegraphs; ++it)
            ids.push_back(static_cast<unsigned int>(it->id));
    }
    RelayCounters(ids, liveness_, subscriberMutex_, subscribers_, &ITelegraphObserver::OnTelegraphCountersUpdate);
}

void CTelegraphPublisher::OnEarlierTelegraph(const TelegraphListCallback& callback, bool success,
                                             const Response& response) {
    std::list<TelegraphInfo> page;
    if (response.isParsed())
        page = ParseOlderPage(RollListOf(response));

    unsigned long long oldest = std::numeric_limits<unsigned long long>::max();
    {
        boost::mutex::scoped_lock lock(cacheMutex_);
        for (const TelegraphInfo& item : page)
            InsertBySortScore(cache_, item);
        if (!page.empty() && !cache_.empty())
            oldest = cache_.back().sort_score;
    }
    {
        boost::mutex::scoped_lock lock(subscriberMutex_);
        earliestSortScore_ = std::min(earliestSortScore_, oldest);
    }
    if (callback)
        callback(!success, page);
}
