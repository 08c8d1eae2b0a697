#include "tools/lxnews/feed_watchers.h"

#include <set>
#include <string>

#include "host/lx_common.h"

namespace lxnews {

namespace {

std::string Narrow(const std::wstring& text) { return common::ws2s(text, 65001); }
std::string Join(std::initializer_list<std::string> parts) {
    std::string joined;
    for (const std::string& part : parts) joined += part + '\x1f';
    return joined;
}

// Per item shape: its id, a fingerprint of what a client shows, and its title.
std::string Key(const TelegraphInfo& t) { return std::to_string(t.id); }
std::string Print(const TelegraphInfo& t) {
    return Join({Narrow(t.author), Narrow(t.content), std::to_string(t.status), std::to_string(t.bold),
                 std::to_string(t.ctime)});
}
std::wstring Title(const TelegraphInfo& t) { return t.content; }

std::string Key(const DepthArticle& a) { return std::to_string(a.id); }
std::string Print(const DepthArticle& a) {
    return Join({Narrow(a.title), Narrow(a.brief), std::to_string(a.status), std::to_string(a.is_top),
                 std::to_string(a.ctime)});
}
std::wstring Title(const DepthArticle& a) { return a.title; }

std::string Key(const ExclusiveArticle& a) { return std::to_string(a.id); }
std::string Print(const ExclusiveArticle& a) {
    return Join({Narrow(a.title), Narrow(a.brief), std::to_string(a.status), std::to_string(a.ctime)});
}
std::wstring Title(const ExclusiveArticle& a) { return a.title; }

std::string Key(const ExclusiveColumn& c) { return std::to_string(c.column_id); }
std::string Print(const ExclusiveColumn& c) { return Narrow(c.title); }
std::wstring Title(const ExclusiveColumn& c) { return c.title; }

std::string Key(const TimelineReddot& d) { return Narrow(d.date); }
std::string Print(const TimelineReddot& d) { return std::to_string(d.nums); }

std::string Key(const TimelineEvent& e) { return std::to_string(e.id); }
std::string Print(const TimelineEvent& e) { return Join({Narrow(e.title), Narrow(e.brief)}); }
std::wstring Title(const TimelineEvent& e) { return e.title; }

std::string Key(const InformationEssence& e) { return std::to_string(e.id); }
std::string Print(const InformationEssence& e) {
    return Join({Narrow(e.title), Narrow(e.brief), Narrow(e.content), std::to_string(e.ctime)});
}
std::wstring Title(const InformationEssence& e) { return e.title; }

template <class Item>
std::string StockPrint(const Item& i, unsigned long long time) {
    return Join({Narrow(i.title), Narrow(i.brief), std::to_string(time)});
}
std::string Key(const StockAnnouncementItem& i) { return Narrow(i.hashid); }
std::string Print(const StockAnnouncementItem& i) { return StockPrint(i, i.publish_time); }
std::wstring Title(const StockAnnouncementItem& i) { return i.title; }
std::string Key(const StockLandMineItem& i) { return Narrow(i.id); }
std::string Print(const StockLandMineItem& i) { return StockPrint(i, i.publish_time); }
std::wstring Title(const StockLandMineItem& i) { return i.title; }
std::string Key(const StockNewsItem& i) { return Narrow(i.id); }
std::string Print(const StockNewsItem& i) { return StockPrint(i, i.operation_time); }
std::wstring Title(const StockNewsItem& i) { return i.title; }

std::string Key(const StockUnusualTradingGroup& g) { return Narrow(g.key); }
std::string Print(const StockUnusualTradingGroup& g) {
    std::string print = std::to_string(g.amount);
    for (const StockUnusualTradingItem& item : g.items) print += '\x1f' + Narrow(item.msg);
    return print;
}
std::wstring Title(const StockUnusualTradingGroup& g) {
    return g.key + (g.items.empty() ? std::wstring() : L" " + g.items.front().msg);
}

// The items of a replace-style value.
const std::list<InformationEssence>& Items(const std::list<InformationEssence>& v) { return v; }
const std::list<StockAnnouncementItem>& Items(const StockAnnouncement& v) { return v.items; }
const std::list<StockLandMineItem>& Items(const StockLandMine& v) { return v.items; }
const std::list<StockNewsItem>& Items(const StockNewsInfo& v) { return v.items; }
const std::list<StockUnusualTradingGroup>& Items(const StockUnusualTradingInfo& v) { return v.groups; }
std::wstring StockOf(const std::list<InformationEssence>&) { return std::wstring(); }
template <class T>
std::wstring StockOf(const T& v) {
    return v.stock;
}

template <class List>
Snapshot Snap(const List& items) {
    Snapshot snapshot;
    for (const auto& item : items) snapshot.emplace(Key(item), Print(item));
    return snapshot;
}

// The newest added item's title; else the first edited one's; else what went.
template <class List>
std::wstring Headline(const Changes& changes, const List& items) {
    const std::set<std::string> added(changes.added.begin(), changes.added.end());
    const std::set<std::string> modified(changes.modified.begin(), changes.modified.end());
    for (const auto& item : items) {
        if (added.count(Key(item))) return Title(item);
    }
    for (const auto& item : items) {
        if (modified.count(Key(item))) return L"(edited) " + Title(item);
    }
    if (!changes.removed.empty()) return std::to_wstring(changes.removed.size()) + L" removed";
    return L"no change";
}

// An event comparing what the client held before with `items`, all it holds now.
template <class List>
FeedEvent Compared(const std::string& feed, const char* kind, const Snapshot& before, const List& items) {
    FeedEvent event;
    event.feed = feed;
    event.kind = kind;
    const Snapshot after = Snap(items);
    event.changes = Compare(before, after);
    event.held = static_cast<int>(after.size());
    event.headline = Headline(event.changes, items);
    return event;
}

std::list<DepthArticle> AllOf(const DepthView& view) {
    std::list<DepthArticle> all = view.top();
    all.insert(all.end(), view.normal().begin(), view.normal().end());
    return all;
}

// A hand-over that changed nothing is no news; one that did is marked.
bool Newsworthy(FeedEvent& event) {
    if (event.kind != "hand-over") return true;
    if (event.changes.empty()) return false;
    event.headline = L"(held before) " + event.headline;
    return true;
}

// Callback feeds answer a failure with an empty list; the program log tells which it was.
const wchar_t kEmptyAnswer[] = L"empty: failed, or none there";

}  // namespace

bool HandOver::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_ == std::this_thread::get_id();
}

void HandOver::Set(std::thread::id thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    thread_ = thread;
}

void CounterWatcher::OnCounters(const std::string& source, const CountInfoMap& counters) {
    Snapshot after;
    for (const auto& entry : counters)
        after.emplace(std::to_string(entry.first),
                      std::to_string(entry.second.reading_num) + "/" + std::to_string(entry.second.comment_num));
    FeedEvent event;
    event.feed = "counters";
    event.kind = source;
    event.held = static_cast<int>(after.size());
    event.headline = std::wstring(source.begin(), source.end()) + L": ";
    if (counters.empty()) {
        event.headline += L"no counters";
    } else {
        const auto& first = *counters.begin();
        event.headline += L"id " + std::to_wstring(first.first) + L" read " +
                          std::to_wstring(first.second.reading_num) + L", " +
                          std::to_wstring(first.second.comment_num) + L" comments";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Snapshot& held = held_[source];
    event.changes = Compare(held, after);
    held = after;
    console_.Event(event);
}

void TelegraphWatcher::OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Snapshot before = Snap(view_.items());
    view_.Apply(changes);
    FeedEvent event = Compared("telegraph", handOver.now() ? "hand-over" : "refresh", before, view_.items());
    event.failed = failed;
    if (failed) event.headline = L"refresh failed";
    if (Newsworthy(event)) console_.Event(event);
}

void TelegraphWatcher::OnTelegraphCountersUpdate(CountInfoMap counters) { counters_.OnCounters("telegraph", counters); }

void TelegraphWatcher::OnOlderPage(bool failed, const std::list<TelegraphInfo>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Snapshot before = Snap(view_.items());
    view_.AddOlder(page);
    FeedEvent event = Compared("telegraph", "older-page", before, view_.items());
    event.failed = failed;
    event.headline = L"(older page) " + (failed ? std::wstring(L"failed") : event.headline);
    console_.Event(event);
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
    const Snapshot before = Snap(AllOf(view_));
    view_.Apply(changes);
    FeedEvent event = Compared("depth", handOver.now() ? "hand-over" : "refresh", before, AllOf(view_));
    event.failed = failed;
    if (failed) event.headline = L"refresh failed";
    if (!changes.banners.empty())
        event.headline = L"[" + std::to_wstring(changes.banners.size()) + L" banners] " + event.headline;
    if (Newsworthy(event)) console_.Event(event);
}

void DepthWatcher::OnDepthCountersUpdate(CountInfoMap counters) { counters_.OnCounters("depth", counters); }

void DepthWatcher::OnOlderPage(const std::list<DepthArticle>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Snapshot before = Snap(AllOf(view_));
    view_.AddOlder(page);
    FeedEvent event = Compared("depth", "older-page", before, AllOf(view_));
    event.failed = page.empty();
    event.headline = L"(older page) " + (page.empty() ? std::wstring(kEmptyAnswer) : event.headline);
    console_.Event(event);
}

bool DepthWatcher::hasItems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !view_.top().empty() || !view_.normal().empty();
}

void ExclusiveWatcher::OnColumns(const std::list<ExclusiveColumn>& columns) {
    FeedEvent event = Compared("exclusive", "columns", Snapshot(), columns);
    event.held = -1;  // the column is counted in articles
    event.failed = columns.empty();
    event.headline = std::to_wstring(columns.size()) + L" columns";
    for (const ExclusiveColumn& column : columns) event.headline += (&column == &columns.front() ? L": " : L" / ") + column.title;
    if (columns.empty()) event.headline = kEmptyAnswer;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!columns.empty() && firstColumn_ == 0) firstColumn_ = columns.front().column_id;
    console_.Event(event);
}

void ExclusiveWatcher::OnPage(int columnId, const std::list<ExclusiveArticle>& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Snapshot before = Snap(view_.items());
    view_.AddPage(page);
    pageIds_.clear();
    for (const ExclusiveArticle& article : page) pageIds_.push_back(static_cast<unsigned int>(article.id));
    FeedEvent event = Compared("exclusive", "page", before, view_.items());
    event.failed = page.empty();
    event.headline =
        L"column " + std::to_wstring(columnId) + L" page: " + (page.empty() ? kEmptyAnswer : event.headline);
    console_.Event(event);
}

void ExclusiveWatcher::OnUpdate(int columnId, const ExclusiveUpdate& update) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Snapshot before = Snap(view_.items());
    view_.Apply(update);
    FeedEvent event = Compared("exclusive", "update", before, view_.items());
    event.headline = L"column " + std::to_wstring(columnId) + L" update: " + event.headline;
    console_.Event(event);
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
    std::lock_guard<std::mutex> lock(mutex_);
    FeedEvent event;
    event.feed = "timeline";
    event.kind = "dates";
    const Snapshot after = Snap(dates);
    event.changes = Compare(dates_, after);
    dates_ = after;
    event.failed = dates.empty();
    event.headline = dates.empty() ? std::wstring(kEmptyAnswer)
                                   : std::to_wstring(dates.size()) + L" days with events, " +
                                         std::to_wstring(total) + L" events in all";
    console_.Event(event);
}

void TimelineWatcher::OnEvents(const std::list<TimelineEvent>& events) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events.empty()) firstEvent_ = events.front().id;
    FeedEvent event = Compared("timeline", "events", events_, events);
    events_ = Snap(events);
    event.failed = events.empty();
    event.headline = events.empty() ? std::wstring(kEmptyAnswer) : L"today: " + events.front().title;
    console_.Event(event);
}

void TimelineWatcher::OnDetail(const TimelineEventDetail& detail) {
    FeedEvent event;
    event.feed = "timeline";
    event.kind = "detail";
    event.failed = detail.id == 0;
    if (detail.id != 0) event.changes.added.push_back(std::to_string(detail.id));
    event.headline = detail.id != 0 ? L"event " + std::to_wstring(detail.id) + L": " + detail.content
                                    : std::wstring(kEmptyAnswer);
    console_.Event(event);
}

int TimelineWatcher::firstEvent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstEvent_;
}

template <class T>
void ValueWatcher<T>::Update(const T& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    FeedEvent event = Compared(feed_, handOver.now() ? "hand-over" : "update", held_, Items(value));
    held_ = Snap(Items(value));
    const std::wstring stock = StockOf(value);
    if (!stock.empty()) event.headline = L"[" + stock + L"] " + event.headline;
    if (Newsworthy(event)) console_.Event(event);
}

template class ValueWatcher<std::list<InformationEssence> >;
template class ValueWatcher<StockAnnouncement>;
template class ValueWatcher<StockLandMine>;
template class ValueWatcher<StockNewsInfo>;
template class ValueWatcher<StockUnusualTradingInfo>;

}  // namespace lxnews
