// The news board in this process against the simulator: every pane fills, the paged panes follow edits and removals
// to what the service holds with edited rows marked, and the window closes at once while every request hangs.
// Closing stops the host for the rest of the process, so each test needs a process of its own (ctest runs them so).

#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>

#include "tests/sim_test_support.h"
#include "tools/newsboard/board_window.h"
#include "tools/newsboard/news_panes.h"
#include "tools/newsboard/row_list.h"

#if defined(__SANITIZE_ADDRESS__)
// Qt 5.15's offscreen platform never deletes the screen it creates. Its frame shows only in full stacks, so the
// board's own objects stay checked.
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

    // Runs the event loop until `done`, calling `nudge` about every two seconds; false after a hang.
    bool PumpUntil(const std::function<bool()>& done, const std::function<void()>& nudge = [] {}) {
        int round = 0;
        return testsupport::WaitUntil([&] {
            if (++round % 400 == 0) nudge();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
            return done();
        }, kHang);
    }
    QTreeWidget* List(const char* name) { return window_->findChild<QTreeWidget*>(name); }
    // A list's top-level items, and their rows as "key|text|".
    QList<QTreeWidgetItem*> Items(const char* name) { return List(name)->findItems("", Qt::MatchContains); }
    Rowed Rows(const char* name) {
        return RowsOf(Items(name), [](const QTreeWidgetItem* i) { return Row(newsboard::KeyOf(i), i->text(0)); });
    }

    news_sim::SimFaults faults_;
    int argc_ = 1;
    char name_[10] = "newsboard";
    char* argv_[2] = {name_, nullptr};
    QApplication app_{argc_, argv_};
    std::unique_ptr<news_sim::NewsServiceSim> sim_;
    std::unique_ptr<newsboard::BoardWindow> window_;
};

TEST_F(BoardTest, PanesFillAndFollowEditsAndRemovalsToTheGroundTruth_Sim) {
    const char* const kPaged[] = {"telegraph", "depth", "exclusive"};
    ASSERT_TRUE(PumpUntil([&] {
        for (const char* name : {"telegraph", "depth", "depth-banners", "exclusive-columns", "exclusive", "essence",
                                 "timeline-dates", "timeline-events", "announcements", "land-mines", "stock-news",
                                 "unusual-trading"})
            if (List(name)->topLevelItemCount() == 0) return false;
        return !window_->findChild<QTextBrowser*>("timeline-detail")->toPlainText().isEmpty();
    })) << "a pane stayed empty";
    for (const char* name : kPaged) {  // each brings an older page
        const int before = List(name)->topLevelItemCount();
        window_->findChild<QPushButton*>(QString(name) + "-older")->click();
        EXPECT_TRUE(PumpUntil([&] { return List(name)->topLevelItemCount() > before; })) << name;
    }

    // After each step of the world the paged panes converge on what a perfect client holds, and every row whose text
    // changed is marked.
    const auto* exclusive = window_->findChild<newsboard::ExclusivePane*>();
    std::map<std::string, Rowed> shown, held;
    const auto converged = [&] {
        const PagedTruth truth(*sim_, {window_->findChild<newsboard::TelegraphPane*>()->floor(),
                                       window_->findChild<newsboard::DepthPane*>()->floor(), exclusive->column(),
                                       exclusive->floor()});
        held = {{"telegraph", truth.held[0]}, {"depth", truth.held[1]}, {"exclusive", truth.held[3]}};
        held["depth"].insert(held["depth"].end(), truth.held[2].begin(), truth.held[2].end());
        for (int pane = 0; pane < 3; ++pane)  // lists 0, 1 (with 2) and 3
            shown[kPaged[pane]] = truth.Comparable(pane + (pane == 2), Rows(kPaged[pane]));
        return shown == held;
    };
    int marked = 0;
    for (int round = 0; round < 8; ++round) {
        std::map<std::string, std::string> before;  // "key|" to "key|text|"
        for (const char* name : kPaged)
            for (const std::string& row : Rows(name)) before[row.substr(0, row.find('|') + 1)] = row;
        sim_->state().Advance(6);
        window_->RefreshNow();
        EXPECT_TRUE(PumpUntil(converged, [&] { window_->RefreshNow(); })) << "round " << round;
        for (const char* name : kPaged)
            for (const QTreeWidgetItem* item : Items(name)) {
                const auto was = before.find(Row(newsboard::KeyOf(item)));
                if (was == before.end() || was->second == Row(newsboard::KeyOf(item), item->text(0))) continue;
                EXPECT_TRUE(item->data(0, newsboard::kEditedRole).toBool()) << name << " " << was->first;
                ++marked;
            }
    }
    EXPECT_EQ(shown, held);
    EXPECT_GT(marked, 0);
    window_->close();
}

class StalledBoardTest : public BoardTest {
protected:
    StalledBoardTest() { faults_.stallRate = 1.0, faults_.stallMs = 60000; }  // until the server stops
};

TEST_F(StalledBoardTest, ClosingWhileEveryRequestHangsTakesUnderASecond_Sim) {
    // Refreshes on their threads, callbacks and the stock feeds all wait on the service.
    ASSERT_TRUE(PumpUntil([&] { return sim_->stalledNow() >= 3; })) << sim_->stalledNow() << " stalled";
    const auto start = std::chrono::steady_clock::now();
    window_->close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
