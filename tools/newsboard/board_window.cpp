#include "tools/newsboard/board_window.h"

#include <QCloseEvent>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "tools/newsboard/library_bridge.h"
#include "tools/newsboard/news_panes.h"
#include "tools/newsboard/stock_pane.h"

namespace newsboard {

namespace {

// Depth refreshes itself every ten minutes and a column only on request; the
// board asks as often as the telegraph polls.
constexpr int kRefreshMs = 10000;

}  // namespace

BoardWindow::BoardWindow(const QString& stockCode, QWidget* parent)
    : QMainWindow(parent), bridge_(new LibraryBridge(this)), refreshTimer_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("News board"));
    telegraph_ = new TelegraphPane(bridge_, this);
    depth_ = new DepthPane(bridge_, this);
    exclusive_ = new ExclusivePane(bridge_, this);
    auto* essence = new EssencePane(bridge_, this);
    auto* timeline = new TimelinePane(bridge_, this);
    stocks_ = new StockPane(bridge_, stockCode, this);

    auto* tabs = new QTabWidget(this);
    tabs->addTab(depth_, QStringLiteral("Depth"));
    tabs->addTab(exclusive_, QStringLiteral("Exclusive"));
    tabs->addTab(essence, QStringLiteral("Essence"));
    tabs->addTab(timeline, QStringLiteral("Timeline"));
    tabs->addTab(stocks_, QStringLiteral("Stock"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(telegraph_);
    splitter->addWidget(tabs);
    splitter->setSizes({600, 680});
    setCentralWidget(splitter);

    QToolBar* tools = addToolBar(QStringLiteral("Feeds"));
    tools->setMovable(false);
    tools->addAction(QStringLiteral("Refresh"), this, &BoardWindow::RefreshNow);
    tools->addAction(QStringLiteral("Essence"), bridge_, &LibraryBridge::FetchEssence);
    resize(1280, 800);

    // Panes are connected by now, so nothing delivered is missed.
    bridge_->Start();
    exclusive_->Start();
    timeline->Start();
    stocks_->ShowCode();
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        bridge_->RefreshDepth();
        exclusive_->RefreshColumn();
    });
    refreshTimer_->start(kRefreshMs);
}

BoardWindow::~BoardWindow() = default;

void BoardWindow::RefreshNow() {
    bridge_->RefreshTelegraph();
    bridge_->RefreshDepth();
    exclusive_->RefreshColumn();
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    emit closing();
    refreshTimer_->stop();
    bridge_->Shutdown();
    event->accept();
}

}  // namespace newsboard
