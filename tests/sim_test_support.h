#pragma once

// What the end-to-end tests share: the simulator in this process with the real
// host libraries pointed at it, a log file per test, and observers that rebuild
// a feed's view from its change sets.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "news_center/news_center.h"
#include "tools/lxnews/feed_views.h"
#include "tools/news_service_sim/sim_calendar.h"
#include "tools/news_service_sim/sim_server.h"

namespace e2e {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// Only detects a hang; nothing here waits this long when things work.
const milliseconds kHang(15000);

inline std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
inline std::wstring Wide(const QJsonValue& value) { return value.toString().toStdWString(); }
inline unsigned long long U64(const QJsonValue& value) { return static_cast<unsigned long long>(value.toDouble()); }

// The service date (yyyymmdd) `days` before `date`.
inline unsigned int DaysBefore(unsigned int date, int days) {
    return common::ServerDateOfDay(common::ServerDayOf(common::DateToTime(date, 12, 0, 0)) - days);
}

inline std::vector<int> Ids(const QJsonArray& array) {
    std::vector<int> ids;
    for (const QJsonValue& value : array) ids.push_back(value.isObject() ? value.toObject().value("id").toInt()
                                                                        : value.toInt());
    return ids;
}

// The library traces every parsed telegraph id on Qt's debug channel.
inline void DropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// Values delivered on other threads, kept in arrival order.
template <class T>
class Inbox {
public:
    void Put(const T& value) {
        std::lock_guard<std::mutex> lock(mutex_);
        values_.push_back(value);
        cv_.notify_all();
    }
    // Waits for the first value from index `from` on that `accept` takes, and returns it in `out`.
    bool WaitFor(const std::function<bool(const T&)>& accept, T& out, std::size_t from = 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, kHang, [&] {
            for (std::size_t i = from; i < values_.size(); ++i) {
                if (accept(values_[i])) {
                    out = values_[i];
                    return true;
                }
            }
            return false;
        });
    }
    bool WaitFirst(T& out) {
        return WaitFor([](const T&) { return true; }, out);
    }
    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.size();
    }
    std::vector<T> values() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<T> values_;
};

template <class T>
class Subscriber : public IUpdate1<T> {
public:
    void Update(const T& value) override { inbox.Put(value); }
    // Sends `request` and waits for the first value after those already here that `accept` takes.
    bool Next(const std::function<void()>& request, const std::function<bool(const T&)>& accept, T& out) {
        const std::size_t seen = inbox.size();
        request();
        return inbox.WaitFor(accept, out, seen);
    }
    Inbox<T> inbox;
};

// Sends a request whose callback `send` wires to `done`, and waits for that value.
template <class Value>
bool Await(const std::function<void(const std::function<void(const Value&)>&)>& send, Value& out) {
    auto inbox = std::make_shared<Inbox<Value> >();
    send([inbox](const Value& value) { inbox->Put(value); });
    return inbox->WaitFirst(out);
}

// One text field of each record, or of each object of a served array.
template <class Item>
std::vector<std::wstring> Texts(const std::list<Item>& items, std::wstring Item::*field) {
    std::vector<std::wstring> texts;
    for (const Item& item : items) texts.push_back(item.*field);
    return texts;
}
inline std::vector<std::wstring> Texts(const QJsonArray& array, const char* key) {
    std::vector<std::wstring> texts;
    for (const QJsonValue& value : array) texts.push_back(Wide(value.toObject().value(key)));
    return texts;
}

// Counts refresh cycles, so a test can wait for one that began after a moment.
class CycleClock {
public:
    void Began() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++begins_;
    }
    void Ended() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++updates_;
        lastEnded_ = begins_;
        cv_.notify_all();
    }
    int begins() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return begins_;
    }
    int updates() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return updates_;
    }
    bool WaitForCycleAfter(int marker, milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return lastEnded_ > marker; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    int begins_ = 0;
    int updates_ = 0;
    int lastEnded_ = 0;
};

// Refresh skips while a cycle runs, so it is asked again until a cycle that
// began after this call has delivered.
inline bool RefreshUntilFreshCycle(CycleClock& clock, const std::function<void()>& refresh) {
    const int marker = clock.begins();
    const SteadyClock::time_point deadline = SteadyClock::now() + kHang;
    while (SteadyClock::now() < deadline) {
        refresh();
        if (clock.WaitForCycleAfter(marker, milliseconds(500))) return true;
    }
    return false;
}

// What both refresh observers keep: the view rebuilt from the change sets,
// failed refreshes, the refresh clock and the counters.
template <class View, class Update, class Record>
class ViewRecorder {
public:
    void AddOlder(const std::list<Record>& page) {
        std::lock_guard<std::mutex> lock(mutex_);
        view_.AddOlder(page);
    }
    View view() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return view_;
    }
    int failures() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return failures_;
    }

    CycleClock clock;
    Inbox<CountInfoMap> counters_;

protected:
    void Recorded(bool failed, const Update& changes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            view_.Apply(changes);
            failures_ += failed ? 1 : 0;
        }
        clock.Ended();
    }

private:
    mutable std::mutex mutex_;
    View view_;
    int failures_ = 0;
};

class TelegraphRecorder : public ITelegraphObserver,
                          public ViewRecorder<lxnews::TelegraphView, TelegraphUpdate, TelegraphInfo> {
public:
    void OnTelegraphRefreshBegin() override { clock.Began(); }
    void OnTelegraphUpdate(bool failed, const TelegraphUpdate& changes) override { Recorded(failed, changes); }
    void OnTelegraphCountersUpdate(CountInfoMap counters) override { counters_.Put(counters); }
};

class DepthRecorder : public IDepthObserver, public ViewRecorder<lxnews::DepthView, DepthUpdate, DepthArticle> {
public:
    void OnDepthRefreshBegin() override { clock.Began(); }
    void OnDepthUpdate(bool failed, const DepthUpdate& changes) override { Recorded(failed, changes); }
    void OnDepthCountersUpdate(CountInfoMap counters) override { counters_.Put(counters); }
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        qInstallMessageHandler(DropDebugMessages);
        sim_.reset(new news_sim::NewsServiceSim(Options()));
        ASSERT_TRUE(sim_->Start(0));
        UrlHelper::SetServiceRoot(Wide(sim_->root()));
        UrlHelper::SetServiceKey(sim_->options().key);
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        logPath_ = (std::filesystem::temp_directory_path() /
                    ("lx_e2e_" + std::to_string(::getpid()) + "_" + test->name() + ".log"))
                       .string();
        std::remove(logPath_.c_str());
        base::SetProgramLogFile(Wide(logPath_));
    }

    void TearDown() override {
        DestroyAllPublisher();
        sim_->Stop();
        base::SetProgramLogFile(std::wstring());
        std::remove(logPath_.c_str());
    }

    virtual news_sim::SimOptions Options() const {
        news_sim::SimOptions options;
        options.seed = 20240611;
        options.tickMs = 0;
        return options;
    }

    // The envelope the simulator serves for a request the library could make,
    // signed by the same UrlHelper.
    QJsonObject Fetch(const std::wstring& path, const std::map<std::string, std::string>& params) {
        return FetchUrl(pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(path, params));
    }
    // The served list: "data" when it is an array, else its "list".
    QJsonArray ServedList(const std::wstring& path, const std::map<std::string, std::string>& params) {
        const QJsonValue data = Fetch(path, params).value("data");
        return data.isArray() ? data.toArray() : data.toObject().value("list").toArray();
    }
    QJsonObject FetchUrl(const std::wstring& url) {
        std::vector<char> body;
        EXPECT_TRUE(GetSync(url, body, HttpHeaderMap(), 10));
        return QJsonDocument::fromJson(QByteArray(body.data(), static_cast<int>(body.size()))).object();
    }
    // What a perfect client holds now; `query` as /_sim/state takes it.
    QJsonObject Truth(const std::string& query) {
        return FetchUrl(Wide(sim_->root() + "/_sim/state?" + query)).value("data").toObject();
    }

    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::ifstream in(logPath_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    int CountLogLines(const std::string& text) const {
        int n = 0;
        for (const std::string& line : LogLines()) n += line.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    std::unique_ptr<news_sim::NewsServiceSim> sim_;
    std::string logPath_;
};

#define SKIP_IF_MISSING(publisher) \
    if ((publisher) == nullptr) GTEST_SKIP() << #publisher " is not built yet"

}  // namespace e2e
