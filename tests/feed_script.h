#pragma once

// What a feed delivers, spelled for a table row (fields joined by ',', records by ';', a stock's value as
// "stock|records"); answers scripted by path; the refresh thread kept out: its requests fail, unrecorded.

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"
#include "tests/test_support.h"

namespace feedtest {

typedef std::vector<std::string> Texts;
const char kInformPath[] = "/pc/inform/modify";
const char kCountPath[] = "/pc/information/get_count_by_ids";

inline std::string Field(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }
inline std::string Field(double number) { return QString::number(number, 'g', 15).toStdString(); }
template <class Integer>
std::string Field(Integer number) { return std::to_string(number); }

template <class... Fields>
std::string Join(const Fields&... fields) {
    std::string text;
    for (const std::string& field : {Field(fields)...})
        text += "," + field;
    return text.substr(1);
}

template <class List>
auto Spell(const List& list, const char* separator = ";") -> decltype(list.begin(), std::string());

// A request's "key=value&..." of every parameter, by key; a value within a minute of the clock reads "now".
inline std::string Spell(const hostdouble::Request& request) {
    std::string text;
    for (const auto& p : request.params) {
        const bool clock = p.second.size() == 10 && std::abs(std::atoll(p.second.c_str()) - std::time(nullptr)) < 60;
        text += (text.empty() ? "" : "&") + p.first + "=" + (clock ? "now" : p.second);
    }
    return text;
}
inline std::string Spell(int id) { return Field(id); }
inline std::string Spell(const DepthArticle& a) { return Field(a.id); }
inline std::string Spell(const ExclusiveArticle& a) { return Field(a.id); }
inline std::string Spell(const ExclusiveColumn& c) {
    return Join(c.column_id, c.title, c.unread_pic, c.frontpage_pic, c.calendar_pic, c.calendar_color, c.neican_pic);
}
inline std::string Spell(const TelegraphInfo& t) {  // the content only where it is not the tests' default "c"
    return Field(t.id) + (t.content == L"c" ? "" : "=" + Field(t.content));
}
inline std::string Spell(const StockAnnouncementItem& i) {
    return Join(i.hashid, i.url, i.title, i.brief, i.location, i.publish_time);
}
inline std::string Spell(const StockLandMineItem& i) {
    return Join(i.id, i.url, i.title, i.brief, i.location, i.publish_time);
}
inline std::string Spell(const StockNewsItem& i) {
    return Join(i.id, i.type, i.column_id, i.type_name, i.title, i.img, i.level, i.brief, i.ctime, i.operation_time,
                i.showurl);
}
inline std::string Spell(const StockUnusualTradingParty& p) { return Join(p.name, p.buy, p.sell); }
inline std::string Spell(const StockUnusualTradingGroup& g) {
    std::string text = Field(g.key) + "=" + Field(g.amount);
    for (const StockUnusualTradingItem& i : g.items)
        text += "(" + Join(i.msg, i.type) + "," + Spell(i.buyer) + "/" + Spell(i.seller) + ")";
    return text;
}
inline std::string Spell(const StockAnnouncement& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockLandMine& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockNewsInfo& v) { return Field(v.stock) + "|" + Spell(v.items); }
inline std::string Spell(const StockUnusualTradingInfo& v) { return Field(v.stock) + "|" + Spell(v.groups); }
inline std::string Spell(const TimelineReddot& r) { return Join(r.date, r.nums); }
inline std::string Spell(const TimelineEvent& e) { return Join(e.id, e.title, e.brief); }
inline std::string Spell(const TimelineEventDetail& d) { return Join(d.id, d.title, d.content); }
inline std::string Spell(const CountInfoMap::value_type& c) {
    return Join(c.first, c.second.reading_num, c.second.comment_num);
}
inline std::string Spell(const InformationEssence& e) {
    return Join(e.id, e.type, e.img, e.brief, e.content, e.sort_score, e.ctime, e.title, e.showurl);
}

template <class List>
auto Spell(const List& list, const char* separator) -> decltype(list.begin(), std::string()) {
    std::string text;
    for (const auto& record : list)
        text += (&record == &*list.begin() ? "" : separator) + Spell(record);
    return text;
}

// "3,1,2": the ids of a change list, in order.
template <class List>
std::string IdsText(const List& items) { return Spell(items, ","); }

// "added|modified|removed", ids each.
template <class Update>
std::string Changes(const Update& u) {
    return IdsText(u.added) + "|" + IdsText(u.modified) + "|" + IdsText(u.removed);
}
inline std::string Changes(const TelegraphUpdate& u) {
    return IdsText(u.added) + "|" + IdsText(u.modified) + "|" + IdsText(u.removedIds);
}

class SyncScript {
public:
    // With no publisher alive: forgets everything and installs the handler again (Reset removes it).
    void Reset() {
        answers_.clear();
        sent_.clear();
        hostdouble::SetSyncHandler([this](const hostdouble::Request& request) { return Answer(request); });
    }
    // Answers the next request of the test thread to `path`; without one it fails.
    void Add(const std::string& path, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[path].push_back(body);
    }
    std::vector<hostdouble::Request> Sent(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return sent_[path];
    }

private:
    hostdouble::Answer Answer(const hostdouble::Request& request) {
        if (std::this_thread::get_id() != owner_)
            return hostdouble::Answer::Fail();
        std::lock_guard<std::mutex> lock(mutex_);
        sent_[request.path].push_back(request);
        std::deque<std::string>& queue = answers_[request.path];
        if (queue.empty())
            return hostdouble::Answer::Fail();
        const std::string body = queue.front();
        queue.pop_front();
        return hostdouble::Answer::Ok(body);
    }

    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::map<std::string, std::deque<std::string> > answers_;
    std::map<std::string, std::vector<hostdouble::Request> > sent_;
};

// Base of the observers: they keep only calls made on the test thread.
class TestThreadOnly {
public:
    // Waits briefly for the thread's starting cycle to reach this observer's update, its fetch done
    // (had it run before, the thread sleeps a whole interval); Cycle waits for the rest of it.
    void Settle() { testsupport::WaitUntil([this] { return foreign_ >= 2; }, std::chrono::milliseconds(100)); }

protected:
    template <class T>
    void Keep(std::vector<T>& calls, const T& value) {
        if (Mine())
            calls.push_back(value);
    }
    bool Mine() {
        if (std::this_thread::get_id() == owner_)
            return true;
        ++foreign_;
        return false;
    }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::atomic<int> foreign_{0};
};

// A refresh feed's publisher, started afresh for each test, with `observer_` subscribed and its answers scripted.
template <class Publisher, class Observer, Publisher* (*Get)()>
class FeedTest : public hostdouble::HostDoubleTest {
protected:
    typedef typename decltype(Observer::updates)::value_type Update;

    void SetUp() override {
        HostDoubleTest::SetUp();
        Start();
    }
    void Start() {
        DestroyAllPublisher();  // before its observer goes
        hostdouble::Reset();
        script_.Reset();
        observer_.reset(new Observer);
        publisher_ = Get();
        publisher_->Subscribe(observer_.get());
        observer_->Settle();
    }
    // One refresh on this thread, the one posted or else Refresh: posted again while the thread's own
    // cycle holds the feed. Returns what `watched` (or else `observer_`) was told last.
    Update Cycle(Observer* watched = nullptr) {
        Observer& observer = watched ? *watched : *observer_;
        const std::size_t before = observer.updates.size();
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            if (hostdouble::PendingTaskCount() == 0)
                publisher_->Refresh();
            hostdouble::RunPendingTasks();
            return observer.updates.size() > before;
        }));
        return observer.updates.empty() ? Update() : observer.updates.back();
    }

    SyncScript script_;
    std::unique_ptr<Observer> observer_;
    Publisher* publisher_ = nullptr;
};

}  // namespace feedtest
