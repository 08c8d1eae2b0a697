// The news board in this process against the simulator: every pane shows what
// is served, the paged panes follow edits and removals to what the service
// holds with edited rows marked, and the window closes at once while every
// request hangs. Closing stops the host for the rest of the process, so each
// test needs a process of its own (ctest runs them so).

#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include <QApplication>
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

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = StartSim(faults_);
        window_.reset(new newsboard::BoardWindow("sh600519"));
        window_->show();
    }
    void TearDown() override { sim_->Stop(); }

    // Runs the event loop until `done`, calling `nudge` every two seconds; false after a hang.
    bool PumpUntil(const std::function<bool()>& done, const std::function<void()>& nudge = [] {}) {
        const auto start = std::chrono::steady_clock::now();
        for (int round = 1; !done(); ++round) {
            if (std::chrono::steady_clock::now() - start > kHang) return false;
            if (round % 100 == 0) nudge();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    QTreeWidget* List(const char* name) { return window_->findChild<QTreeWidget*>(name); }
    // A list's rows as "key|" or, with `texts`, "key|text|".
    Rowed Rows(const char* name, bool texts = false) {
        Rowed rows;
        for (int i = 0; i < List(name)->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = List(name)->topLevelItem(i);
            rows.push_back(texts ? Row(newsboard::KeyOf(item), item->text(0)) : Row(newsboard::KeyOf(item)));
        }
        return rows;
    }

    news_sim::SimFaults faults_;
    int argc_ = 1;
    char name_[10] = "newsboard";
    char* argv_[2] = {name_, nullptr};
    QApplication app_{argc_, argv_};
    std::unique_ptr<news_sim::NewsServiceSim> sim_;
    std::unique_ptr<newsboard::BoardWindow> window_;
};

// Truth items as rows "id|text|", less `leftOut`, with no text for `anyText`.
Rowed Truth(const QJsonValue& items, const std::set<int>& anyText, const std::set<int>& leftOut = {}) {
    Rowed rows;
    for (const QJsonValue& item : items.toArray())
        if (!leftOut.count(item["id"].toInt()))
            rows.push_back(anyText.count(item["id"].toInt()) ? Row(item["id"]) : Row(item["id"], item["text"]));
    return rows;
}
std::set<int> IdSet(const QJsonValue& ids) {
    std::set<int> set;
    for (const QJsonValue& id : ids.toArray()) set.insert(id.toInt());
    return set;
}

TEST_F(BoardTest, PanesShowWhatIsServedAndFollowEditsAndRemovals_Sim) {
    const char* const kLists[] = {"telegraph", "depth", "depth-banners", "exclusive-columns", "exclusive", "essence",
                                  "timeline-dates", "timeline-events", "announcements", "land-mines", "stock-news",
                                  "unusual-trading"};
    ASSERT_TRUE(PumpUntil([&] {
        for (const char* name : kLists)
            if (List(name)->topLevelItemCount() == 0) return false;
        return !window_->findChild<QTextBrowser*>("timeline-detail")->toPlainText().isEmpty();
    })) << "a pane stayed empty";

    // The panes without edits show what is served, in its order.
    const QDate today = newsboard::ServiceToday();
    const auto day = [&](int back) { return today.addDays(-back).toString("yyyy-MM-dd").toStdString(); };
    const auto time = [&](int back, int hour, int second) {
        return std::to_string(common::DateToTime(today.addDays(-back).toString("yyyyMMdd").toUInt(), hour, second, second));
    };
    const QJsonValue essence = Fetch(L"/pc/information/sum_article_list", {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}});
    Rowed unusualDays;  // newest first
    for (const QString& key : Served(L"/pc/rt/stock_dragon", {{"stock_arr", "[\"sh600519\"]"}})[0].toObject().keys())
        unusualDays.insert(unusualDays.begin(), Row(key));
    const std::string shownDay = newsboard::KeyOf(List("timeline-dates")->currentItem()).toStdString();
    const std::pair<const char*, Rowed> kServed[] = {
        {"essence", e2e::Rows(QJsonArray::fromVariantList(essence["list"].toObject().toVariantMap().values()), {"id"})},
        {"timeline-dates", e2e::Rows(Served(L"/pc/time_axis/reddot", {{"start_date", day(29)}, {"end_date", day(0)}}), {"date"})},
        {"timeline-events", e2e::Rows(Served(L"/pc/time_axis/get_list_by_day", {{"date", shownDay}, {"rn", "50"}}), {"id"})},
        {"announcements", e2e::Rows(Served(L"/pc/rt/stock_notice", {{"stock", "sh600519"}, {"page", "1"}, {"rn", "20"}}), {"hashid"})},
        {"land-mines", e2e::Rows(Served(L"/pc/rt/stock_landmine", {{"stock", "sh600519"}, {"start", time(180, 0, 0)}, {"end", time(0, 23, 59)}}), {"id"})},
        {"stock-news", e2e::Rows(Served(L"/v1/market/get_list", {{"unique_key", "sh600519"}, {"type", "1"}, {"last_time", "0"},
                                                              {"refresh_type", "0"}, {"rn", "20"}, {"time", "0"}}), {"id"})},
        {"unusual-trading", unusualDays},
    };
    for (const auto& pane : kServed) {
        EXPECT_FALSE(pane.second.empty()) << pane.first;
        EXPECT_EQ(Rows(pane.first), pane.second) << pane.first;
    }
    for (const char* name : {"telegraph", "depth", "exclusive"}) {  // each paged pane brings an older page
        const int before = List(name)->topLevelItemCount();
        window_->findChild<QPushButton*>(QString(name) + "-older")->click();
        EXPECT_TRUE(PumpUntil([&] { return List(name)->topLevelItemCount() > before; })) << name;
    }

    // After each step of the world the paged panes converge on what a perfect
    // client holds, every row whose text changed marked as edited.
    const auto* exclusive = window_->findChild<newsboard::ExclusivePane*>();
    std::map<std::string, Rowed> shown, truth;
    const auto converged = [&] {
        news_sim::TruthQuery query;
        query.telegraphFloor = window_->findChild<newsboard::TelegraphPane*>()->floor();
        query.depthFloor = window_->findChild<newsboard::DepthPane*>()->floor();
        query.columnId = exclusive->column();
        query.columnFloor = exclusive->floor();
        const QJsonObject held = sim_->state().GroundTruth(query);
        const std::set<int> folded = IdSet(held["folded_edits"]), unloaded = IdSet(held["depth"]["edited_before_loaded"]);
        truth["telegraph"] = Truth(held["telegraph"]["visible"], folded);
        truth["depth"] = Truth(held["depth"]["top"], folded, unloaded);
        for (const std::string& row : Truth(held["depth"]["normal"], folded, unloaded)) truth["depth"].push_back(row);
        truth["exclusive"] = Truth(held["column"]["articles"], folded);
        for (const char* name : {"telegraph", "depth", "exclusive"}) {
            shown[name].clear();
            for (const std::string& row : Rows(name, true)) {
                const int id = std::stoi(row);
                if (!unloaded.count(id) || std::string(name) != "depth") shown[name].push_back(folded.count(id) ? Row(id) : row);
            }
        }
        return shown == truth;
    };
    int marked = 0;
    for (int round = 0; round < 8; ++round) {
        std::map<std::string, std::string> before;
        for (const char* name : {"telegraph", "depth", "exclusive"})
            for (const std::string& row : Rows(name, true)) before[row.substr(0, row.find('|'))] = row;
        sim_->state().Advance(6);
        window_->RefreshNow();
        EXPECT_TRUE(PumpUntil(converged, [&] { window_->RefreshNow(); })) << "round " << round;
        for (const char* name : {"telegraph", "depth", "exclusive"})
            for (int i = 0; i < List(name)->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* item = List(name)->topLevelItem(i);
                const auto held = before.find(newsboard::KeyOf(item).toStdString());
                if (held == before.end() || held->second == Row(newsboard::KeyOf(item), item->text(0))) continue;
                EXPECT_TRUE(item->data(0, newsboard::kEditedRole).toBool()) << name << " " << held->first;
                ++marked;
            }
    }
    EXPECT_EQ(shown, truth);
    EXPECT_GT(marked, 0);
    window_->close();
}

class StalledBoardTest : public BoardTest {
protected:
    StalledBoardTest() { faults_ = EveryRequestStalls(); }
};

TEST_F(StalledBoardTest, ClosingWhileEveryRequestHangsTakesUnderASecond_Sim) {
    // Refreshes on their threads, callbacks and the stock feeds all wait on the service.
    ASSERT_TRUE(PumpUntil([&] { return sim_->stalledNow() >= 3; })) << sim_->stalledNow() << " stalled";
    const auto start = std::chrono::steady_clock::now();
    window_->close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
