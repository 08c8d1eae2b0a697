// The news board in this process against the simulator: every feed fills its
// pane, the panes follow edits and removals to what the service holds, and the
// window closes at once while every request hangs. Closing stops the host for
// the rest of the process, so each test needs a process of its own (ctest runs
// them so).

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>

#include "host/lx_common.h"
#include "tests/sim_test_support.h"
#include "tools/newsboard/board_window.h"
#include "tools/newsboard/news_panes.h"
#include "tools/newsboard/row_list.h"

#if defined(__SANITIZE_ADDRESS__)
// Qt 5.15's offscreen platform never deletes the screen it creates. Its frame
// shows only in full stacks, so the board's own objects stay checked.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }
#endif

namespace {

using namespace e2e;
using newsboard::BoardWindow;

constexpr char kStock[] = "sh600519";
bool g_hostStopped = false;

class BoardTest : public SimTest {
protected:
    void SetUp() override {
        if (g_hostStopped) GTEST_SKIP() << "an earlier test stopped this process's host; run one test per process";
        SimTest::SetUp();
    }

    // Shows the board and returns it; closing it is up to the test.
    BoardWindow& Open() {
        window_.reset(new BoardWindow(QString::fromLatin1(kStock)));
        window_->show();
        return *window_;
    }
    // Returns how long closing took, in milliseconds.
    long long Close() {
        const SteadyClock::time_point start = SteadyClock::now();
        window_->close();
        g_hostStopped = true;
        return std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start).count();
    }

    int argc_ = 1;
    char name_[10] = "newsboard";
    char* argv_[2] = {name_, nullptr};
    QApplication app_{argc_, argv_};
    std::unique_ptr<BoardWindow> window_;
};

// Runs the GUI thread's event loop until `done` or a hang.
bool PumpUntil(const std::function<bool()>& done, const std::function<void()>& every2s = nullptr) {
    const SteadyClock::time_point deadline = SteadyClock::now() + kHang;
    SteadyClock::time_point nudge = SteadyClock::now() + milliseconds(2000);
    while (!done()) {
        if (SteadyClock::now() > deadline) return false;
        if (every2s && SteadyClock::now() > nudge) {
            every2s();
            nudge += milliseconds(2000);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

QTreeWidget* List(const BoardWindow& window, const char* name) {
    QTreeWidget* list = window.findChild<QTreeWidget*>(QString::fromLatin1(name));
    EXPECT_NE(list, nullptr) << name;
    return list;
}

// A row as shown: its key and its text (column 0).
using Shown = std::pair<QString, QString>;

std::vector<Shown> Rows(const BoardWindow& window, const char* name) {
    std::vector<Shown> rows;
    QTreeWidget* list = List(window, name);
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        rows.emplace_back(newsboard::KeyOf(list->topLevelItem(i)), list->topLevelItem(i)->text(0));
    return rows;
}

std::vector<std::string> Keys(const std::vector<Shown>& rows) {
    std::vector<std::string> keys;
    for (const Shown& row : rows) keys.push_back(row.first.toStdString());
    return keys;
}

// Truth items ({"id", "text"}) as rows, less the ids in `leftOut`.
std::vector<Shown> TruthRows(const QJsonArray& items, const std::set<int>& leftOut = {}) {
    std::vector<Shown> rows;
    for (const QJsonValue& item : items) {
        const int id = item.toObject().value("id").toInt();
        if (!leftOut.count(id)) rows.emplace_back(QString::number(id), item.toObject().value("text").toString());
    }
    return rows;
}

// "" when `shown` has the truth's keys in order, each with the truth's text
// unless its id is in `anyText`; otherwise the first difference.
std::string Difference(const std::vector<Shown>& shown, const std::vector<Shown>& truth, const std::set<int>& anyText) {
    if (Keys(shown) != Keys(truth))
        return "ids differ: " + std::to_string(shown.size()) + " shown, " + std::to_string(truth.size()) + " held";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i].second != truth[i].second && !anyText.count(truth[i].first.toInt()))
            return "stale text of " + truth[i].first.toStdString();
    }
    return "";
}

std::set<int> IdSet(const QJsonValue& array) {
    const std::vector<int> ids = Ids(array.toArray());
    return std::set<int>(ids.begin(), ids.end());
}

std::vector<std::string> ServedKeys(const QJsonArray& list, const char* key) {
    std::vector<std::string> keys;
    for (const QJsonValue& item : list) {
        const QJsonValue value = item.toObject().value(key);
        keys.push_back((value.isString() ? value.toString() : QString::number(value.toInt())).toStdString());
    }
    return keys;
}

unsigned int DateNumber(const QDate& date) {
    return static_cast<unsigned int>(date.year() * 10000 + date.month() * 100 + date.day());
}

TEST_F(BoardTest, PanesShowEveryFeedAndFollowEditsAndRemovalsToTheGroundTruth_Sim) {
    BoardWindow& window = Open();
    const char* const kLists[] = {"telegraph",       "depth",      "depth-banners", "exclusive-columns",
                                  "exclusive",       "essence",    "timeline-dates", "timeline-events",
                                  "announcements",   "land-mines", "stock-news",    "unusual-trading"};
    auto* detail = window.findChild<QTextBrowser*>("timeline-detail");
    ASSERT_TRUE(PumpUntil([&] {
        for (const char* name : kLists)
            if (List(window, name)->topLevelItemCount() == 0) return false;
        return !detail->toPlainText().isEmpty();
    })) << "a pane stayed empty";

    // The article counters of the exclusive pane are the served ones.
    const QTreeWidgetItem* article = List(window, "exclusive")->topLevelItem(0);
    const QString id = newsboard::KeyOf(article);
    const int reading =
        sim_->state().Counters(id.toStdString()).value("reading_num").toObject().value(id).toInt(-1);
    EXPECT_TRUE(PumpUntil([&] { return article->text(3).toInt() == reading; }))
        << "shown " << article->text(3).toStdString() << ", served " << reading;

    // The feeds without edits show what is served, in its order.
    const QDate today = newsboard::ServiceToday();
    const std::string first = today.addDays(-29).toString("yyyy-MM-dd").toStdString();
    const std::string last = today.toString("yyyy-MM-dd").toStdString();
    const std::string chosenDate = newsboard::KeyOf(List(window, "timeline-dates")->currentItem()).toStdString();
    const QJsonObject groups =
        Fetch(L"/pc/rt/stock_dragon", {{"stock_arr", std::string("[\"") + kStock + "\"]"}})
            .value("data").toObject().value("list").toArray().first().toObject();
    std::vector<std::string> groupKeys;  // the board shows the newest date first
    for (const QString& key : groups.keys()) groupKeys.insert(groupKeys.begin(), key.toStdString());
    const QJsonObject essence = Fetch(L"/pc/information/sum_article_list",
                                      {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}})
                                    .value("data").toObject().value("list").toObject();
    QJsonArray essenceItems;
    for (const QString& key : essence.keys()) essenceItems.append(essence.value(key));
    const struct {
        const char* list;
        std::vector<std::string> served;
    } kServed[] = {
        {"essence", ServedKeys(essenceItems, "id")},
        {"timeline-dates", ServedKeys(Fetch(L"/pc/time_axis/reddot", {{"start_date", first}, {"end_date", last}})
                                          .value("data").toArray(), "date")},
        {"timeline-events", ServedKeys(Fetch(L"/pc/time_axis/get_list_by_day", {{"date", chosenDate}, {"rn", "50"}})
                                           .value("data").toArray(), "id")},
        {"announcements", ServedKeys(Fetch(L"/pc/rt/stock_notice", {{"stock", kStock}, {"page", "1"}, {"rn", "20"}})
                                         .value("data").toObject().value("list").toArray(), "hashid")},
        {"land-mines",
         ServedKeys(Fetch(L"/pc/rt/stock_landmine",
                          {{"stock", kStock},
                           {"start", std::to_string(common::DateToTime(DateNumber(today.addDays(-180)), 0, 0, 0))},
                           {"end", std::to_string(common::DateToTime(DateNumber(today), 23, 59, 59))}})
                        .value("data").toObject().value("list").toArray(), "id")},
        {"stock-news", ServedKeys(Fetch(L"/v1/market/get_list", {{"unique_key", kStock}, {"type", "1"}, {"last_time", "0"},
                                                                 {"refresh_type", "0"}, {"rn", "20"}, {"time", "0"}})
                                      .value("data").toArray(), "id")},
        {"unusual-trading", groupKeys},
    };
    for (const auto& feed : kServed) {
        EXPECT_FALSE(feed.served.empty()) << feed.list;
        EXPECT_EQ(Keys(Rows(window, feed.list)), feed.served) << feed.list;
    }
    const QTreeWidgetItem* event = List(window, "timeline-events")->currentItem();
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(detail->toPlainText().startsWith(event->text(0))) << detail->toPlainText().toStdString();

    // Each paged feed brings an older page.
    for (const char* name : {"telegraph", "depth", "exclusive"}) {
        const int before = List(window, name)->topLevelItemCount();
        window.findChild<QPushButton*>(QString::fromLatin1(name) + "-older")->click();
        EXPECT_TRUE(PumpUntil([&] { return List(window, name)->topLevelItemCount() > before; })) << name;
    }

    // Edits and removals: after each step of the world the panes converge on
    // what a perfect client holds, and every row whose text changed is marked.
    const auto* telegraph = window.findChild<newsboard::TelegraphPane*>();
    const auto* depth = window.findChild<newsboard::DepthPane*>();
    const auto* exclusive = window.findChild<newsboard::ExclusivePane*>();
    std::map<std::string, std::string> differences;
    const auto compare = [&] {
        news_sim::TruthQuery query;
        query.telegraphFloor = telegraph->floor();
        query.depthFloor = depth->floor();
        query.columnId = exclusive->column();
        query.columnFloor = exclusive->floor();
        const QJsonObject truth = sim_->state().GroundTruth(query);
        const std::set<int> folded = IdSet(truth.value("folded_edits"));
        const QJsonObject depthTruth = truth.value("depth").toObject();
        const std::set<int> unloaded = IdSet(depthTruth.value("edited_before_loaded"));
        std::vector<Shown> depthRows = TruthRows(depthTruth.value("top").toArray(), unloaded);
        for (const Shown& row : TruthRows(depthTruth.value("normal").toArray(), unloaded)) depthRows.push_back(row);
        std::vector<Shown> depthShown = Rows(window, "depth");
        depthShown.erase(std::remove_if(depthShown.begin(), depthShown.end(),
                                        [&](const Shown& row) { return unloaded.count(row.first.toInt()) != 0; }),
                         depthShown.end());
        differences["telegraph"] =
            Difference(Rows(window, "telegraph"), TruthRows(truth.value("telegraph").toObject().value("visible").toArray()),
                       folded);
        differences["depth"] = Difference(depthShown, depthRows, folded);
        differences["exclusive"] = Difference(
            Rows(window, "exclusive"), TruthRows(truth.value("column").toObject().value("articles").toArray()), folded);
        for (const auto& difference : differences)
            if (!difference.second.empty()) return false;
        return true;
    };
    int markedEdits = 0;
    for (int round = 0; round < 8; ++round) {
        std::map<QString, QString> before;
        for (const char* name : {"telegraph", "depth", "exclusive"})
            for (const Shown& row : Rows(window, name)) before[row.first] = row.second;
        sim_->state().Advance(6);
        window.RefreshNow();
        EXPECT_TRUE(PumpUntil(compare, [&] { window.RefreshNow(); })) << "round " << round;
        for (const char* name : {"telegraph", "depth", "exclusive"}) {
            QTreeWidget* list = List(window, name);
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* item = list->topLevelItem(i);
                const auto held = before.find(newsboard::KeyOf(item));
                if (held == before.end() || held->second == item->text(0)) continue;
                EXPECT_TRUE(item->data(0, newsboard::kEditedRole).toBool()) << name << " " << held->first.toStdString();
                ++markedEdits;
            }
        }
    }
    for (const auto& difference : differences) EXPECT_EQ(difference.second, "") << difference.first;
    EXPECT_GT(markedEdits, 0);
    const QJsonObject operations = sim_->state().GroundTruth({}).value("operations").toObject();
    for (const char* stream : {"telegraph", "depth"})
        for (const char* kind : {"modify", "del"})
            EXPECT_GE(operations.value(stream).toObject().value(kind).toInt(), 1) << stream << " saw no " << kind;

    const QString png = QString::fromStdString(logPath_) + ".png";
    ASSERT_TRUE(window.grab().save(png, "PNG"));
    EXPECT_EQ(QImage(png).size(), window.size());
    std::remove(png.toLocal8Bit().constData());
    Close();
}

class StalledBoardTest : public BoardTest {
protected:
    news_sim::SimOptions Options() const override {
        news_sim::SimOptions options = BoardTest::Options();
        options.faults.stallRate = 1.0;
        options.faults.stallMs = 60000;
        return options;
    }
};

TEST_F(StalledBoardTest, ClosingWhileEveryRequestHangsTakesUnderASecond_Sim) {
    Open();
    // Refreshes on their threads, callbacks and the stock feeds all wait on the service.
    ASSERT_TRUE(PumpUntil([&] { return sim_->stalledNow() >= 3; })) << sim_->stalledNow() << " stalled";
    EXPECT_LT(Close(), 1000);
}

}  // namespace
