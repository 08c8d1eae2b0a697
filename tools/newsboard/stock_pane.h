#pragma once

// The four stock feeds of one stock code, typed in a box: announcements,
// land-mines (risk events of the last 180 days), stock news and unusual-trading
// disclosures, each in its own list. Values for another code (an answer that
// arrives after the code changed) are not shown.

#include <QString>
#include <QWidget>

#include "news_center/news_center.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace newsboard {

class LibraryBridge;

class StockPane : public QWidget {
    Q_OBJECT
public:
    StockPane(LibraryBridge* bridge, const QString& code, QWidget* parent = nullptr);
    // Requests the feeds of the code in the box.
    void ShowCode();
    QString code() const { return code_; }

private:
    bool isCurrent(const std::wstring& stock) const { return QString::fromStdWString(stock) == code_; }

    LibraryBridge* bridge_;
    QString code_;
    QLineEdit* box_;
    QLabel* status_;
    QTreeWidget* announcements_;
    QTreeWidget* landMines_;
    QTreeWidget* news_;
    QTreeWidget* unusualTrading_;
};

}  // namespace newsboard
