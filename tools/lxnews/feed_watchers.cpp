#include "tools/lxnews/feed_watchers.h"

#include <string>

namespace lxnews {

namespace {

std::wstring CountersText(const CountInfoMap& counters, const wchar_t* source) {
    if (counters.empty()) return std::wstring(source) + L": no counters";
    const auto& first = *counters.begin();
    return std::wstring(source) + L": id " + std::to_wstring(first.first) + L" read " +
           std::to_wstring(first.second.reading_num) + L", " + std::to_wstring(first.second.comment_num) + L" comments";
}

int Size(std::size_t n) { return static_cast<int>(n); }

std::wstring StockHeadline(const std::wstring& stock, const std::wstring& title) {
    if (stock.empty()) return L"(no stock yet)";
    return L"[" + stock + L"] " + (title.empty() ? std::wstring(L"no items") : title);
}

std::wstring FirstTitle(const StockAnnouncement& v) { return v.items.empty() ? L"" : v.items.front().title; }
std::wstring FirstTitle(const StockLandMine& v) { return v.items.empty() ? L"" : v.items.front().title; }
std::wstring FirstTitle(const StockNewsInfo& v) { return v.items.empty() ? L"" : v.items.front().title; }
std::wstring FirstTitle(const StockUnusualTradingInfo& v) {
    if (v.groups.empty()) return L"";
    const StockUnusualTradingGroup& group = v.groups.front();
    return group.key + L" " + (group.items.empty() ? std::wstring() : group.items.front().msg);
}

int ItemCount(const StockAnnouncement& v) { return Size(v.items.size()); }
int ItemCount(const StockLandMine& v) { return Size(v.items.size()); }
int ItemCount(const StockNewsInfo& v) { return Size(v.items.size()); }
int ItemCount(const StockUnusualTradingInfo& v) { return Size(v.groups.size()); }

}  // namespace

void TelegraphWatcher::OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.Apply(changes);
    std::wstring headline;
    if (!changes.added.empty())
        headline = changes.added.front().content;
    else if (!changes.modified.empty())
        headline = L"(edited) " + changes.modified.front().content;
    if (failed) headline = L"refresh failed";
    console_.Event("telegraph", Size(changes.added.size()), Size(changes.modified.size()),
                   Size(changes.removedIds.size()), Size(view_.items().size()), headline);
}

void TelegraphWatcher::OnTelegraphCountersUpdate(CountInfoMap counters) {
    console_.Event("counters", Size(counters.size()), 0, 0, Size(counters.size()), CountersText(counters, L"telegraph"));
}

void TelegraphWatcher::OnOlderPage(bool failed, const std::list<TelegraphInfo>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.AddOlder(page);
    std::wstring headline = failed ? L"older page failed" : L"(older page) ";
    if (!failed && !page.empty()) headline += page.front().content;
    console_.Event("telegraph", Size(page.size()), 0, 0, Size(view_.items().size()), headline);
}

bool TelegraphWatcher::hasItems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !view_.items().empty();
}

unsigned long long TelegraphWatcher::floor() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return view_.floor();
}

void DepthWatcher::OnDepthUpdate(bool failed, const DepthUpdate& changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.Apply(changes);
    std::wstring headline;
    if (!changes.added.empty())
        headline = changes.added.front().title;
    else if (!changes.modified.empty())
        headline = L"(edited) " + changes.modified.front().title;
    if (!changes.banners.empty()) headline = L"[" + std::to_wstring(changes.banners.size()) + L" banners] " + headline;
    if (failed) headline = L"refresh failed";
    console_.Event("depth", Size(changes.added.size()), Size(changes.modified.size()), Size(changes.removed.size()),
                   Size(view_.top().size() + view_.normal().size()), headline);
}

void DepthWatcher::OnDepthCountersUpdate(CountInfoMap counters) {
    console_.Event("counters", Size(counters.size()), 0, 0, Size(counters.size()), CountersText(counters, L"depth"));
}

void DepthWatcher::OnOlderPage(const std::list<DepthArticle>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.AddOlder(page);
    console_.Event("depth", Size(page.size()), 0, 0, Size(view_.top().size() + view_.normal().size()),
                   L"(older page) " + (page.empty() ? std::wstring(L"nothing older") : page.front().title));
}

bool DepthWatcher::hasItems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !view_.top().empty() || !view_.normal().empty();
}

void ExclusiveWatcher::OnColumns(const std::list<ExclusiveColumn>& columns) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::wstring titles;
    for (const ExclusiveColumn& column : columns) titles += (titles.empty() ? L"" : L" / ") + column.title;
    if (!columns.empty() && firstColumn_ == 0) firstColumn_ = columns.front().column_id;
    console_.Event("exclusive", Size(columns.size()), 0, 0, Size(columns.size()),
                   columns.empty() ? L"no columns" : L"columns: " + titles);
}

void ExclusiveWatcher::OnPage(int columnId, const std::list<ExclusiveArticle>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.AddPage(page);
    pageIds_.clear();
    for (const ExclusiveArticle& article : page) pageIds_.push_back(static_cast<unsigned int>(article.id));
    console_.Event("exclusive", Size(page.size()), 0, 0, Size(view_.items().size()),
                   L"column " + std::to_wstring(columnId) + L": " +
                       (page.empty() ? std::wstring(L"empty page") : page.front().title));
}

void ExclusiveWatcher::OnUpdate(int columnId, const ExclusiveUpdate& update) {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.Apply(update);
    std::wstring headline = L"column " + std::to_wstring(columnId) + L": ";
    if (!update.added.empty())
        headline += update.added.front().title;
    else if (!update.modified.empty())
        headline += L"(edited) " + update.modified.front().title;
    else
        headline += L"no new articles";
    console_.Event("exclusive", Size(update.added.size()), Size(update.modified.size()), Size(update.removed.size()),
                   Size(view_.items().size()), headline);
}

void ExclusiveWatcher::OnCounters(const CountInfoMap& counters) {
    console_.Event("counters", Size(counters.size()), 0, 0, Size(counters.size()), CountersText(counters, L"exclusive"));
}

int ExclusiveWatcher::firstColumn() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstColumn_;
}

std::vector<unsigned int> ExclusiveWatcher::TakePageIds() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<unsigned int> ids;
    ids.swap(pageIds_);
    return ids;
}

void TimelineWatcher::OnReddot(const std::list<TimelineReddot>& dates) {
    int total = 0;
    for (const TimelineReddot& date : dates) total += date.nums;
    console_.Event("timeline", Size(dates.size()), 0, 0, Size(dates.size()),
                   std::to_wstring(dates.size()) + L" dates, " + std::to_wstring(total) + L" events");
}

void TimelineWatcher::OnEvents(const std::list<TimelineEvent>& events) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events.empty()) firstEvent_ = events.front().id;
    events_ = Size(events.size());
    console_.Event("timeline", events_, 0, 0, events_,
                   events.empty() ? L"no events today" : L"today: " + events.front().title);
}

void TimelineWatcher::OnDetail(const TimelineEventDetail& detail) {
    std::lock_guard<std::mutex> lock(mutex_);
    console_.Event("timeline", detail.id != 0 ? 1 : 0, 0, 0, events_,
                   detail.id != 0 ? L"event " + std::to_wstring(detail.id) + L": " + detail.content : L"no detail");
}

int TimelineWatcher::firstEvent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstEvent_;
}

void EssenceWatcher::Update(const std::list<InformationEssence>& value) {
    console_.Event("essence", Size(value.size()), 0, 0, Size(value.size()),
                   value.empty() ? L"(empty list)" : value.front().title);
}

template <class T>
void StockWatcher<T>::Update(const T& value) {
    const int items = ItemCount(value);
    console_.Event(feed_, items, 0, 0, items, StockHeadline(value.stock, FirstTitle(value)));
}

template class StockWatcher<StockAnnouncement>;
template class StockWatcher<StockLandMine>;
template class StockWatcher<StockNewsInfo>;
template class StockWatcher<StockUnusualTradingInfo>;

}  // namespace lxnews
