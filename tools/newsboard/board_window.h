#pragma once

// The news board: the telegraph on the left, the other feeds in tabs on the
// right. Closing the window shuts the library down (LibraryBridge::Shutdown),
// which does not wait for a slow service.

#include <QMainWindow>
#include <QString>

class QCloseEvent;
class QTimer;

namespace newsboard {

class DepthPane;
class ExclusivePane;
class LibraryBridge;
class StockPane;
class TelegraphPane;

class BoardWindow : public QMainWindow {
    Q_OBJECT
public:
    // Starts every feed; the four stock feeds for `stockCode`.
    explicit BoardWindow(const QString& stockCode, QWidget* parent = nullptr);
    ~BoardWindow() override;

    // What the periodic refresh does, at once: telegraph, depth, and the chosen
    // exclusive column's changes.
    void RefreshNow();

signals:
    // Emitted as the window starts to close, while it still shows everything.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LibraryBridge* bridge_;
    TelegraphPane* telegraph_;
    DepthPane* depth_;
    ExclusivePane* exclusive_;
    StockPane* stocks_;
    QTimer* refreshTimer_;
};

}  // namespace newsboard
