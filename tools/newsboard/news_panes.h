#pragma once

// One pane per news feed. Each folds what its feed delivered (through the
// bridge's signals, on the GUI thread) into a view and shows it as rows kept in
// place: edited rows marked, removed rows gone, counters where the feed has
// them, and an "Older" button where the feed pages back.

#include <map>
#include <set>

#include <QString>
#include <QWidget>

#include "news_center/news_center.h"
#include "tools/lxnews/feed_views.h"

class QLabel;
class QPushButton;
class QTextBrowser;
class QTreeWidget;

namespace newsboard {

class LibraryBridge;

class TelegraphPane : public QWidget {
    Q_OBJECT
public:
    explicit TelegraphPane(LibraryBridge* bridge, QWidget* parent = nullptr);
    // The lowest sort score received: what the next older page starts below.
    unsigned long long floor() const { return view_.floor(); }

private:
    void OnUpdate(bool failed, const TelegraphUpdate& changes);
    void OnOlderPage(bool failed, const std::list<TelegraphInfo>& page);
    void Show();

    LibraryBridge* bridge_;
    lxnews::TelegraphView view_;
    std::set<int> edited_;
    CountInfoMap counters_;
    bool olderPending_ = false;
    QTreeWidget* list_;
    QPushButton* older_;
    QLabel* status_;
};

class DepthPane : public QWidget {
    Q_OBJECT
public:
    explicit DepthPane(LibraryBridge* bridge, QWidget* parent = nullptr);
    unsigned long long floor() const { return view_.floor(); }

private:
    void OnUpdate(bool failed, const DepthUpdate& changes);
    void OnOlderPage(const std::list<DepthArticle>& page);
    void Show();

    LibraryBridge* bridge_;
    lxnews::DepthView view_;
    std::set<int> edited_;
    CountInfoMap counters_;
    QTreeWidget* banners_;
    bool olderPending_ = false;
    QTreeWidget* list_;
    QPushButton* older_;
    QLabel* status_;
};

// The column list, and the articles of the chosen column with their counters
// (asked of the article counter feed).
class ExclusivePane : public QWidget {
    Q_OBJECT
public:
    explicit ExclusivePane(LibraryBridge* bridge, QWidget* parent = nullptr);
    void Start();
    // Asks for the chosen column's new articles, edits and removals.
    void RefreshColumn();
    int column() const { return column_; }
    unsigned long long floor() const { return view_.floor(); }

private:
    void OnColumns(const std::list<ExclusiveColumn>& columns);
    void Choose(int columnId);
    void OnPage(int columnId, const std::list<ExclusiveArticle>& page);
    void OnChanges(int columnId, const ExclusiveUpdate& changes);
    void Show();

    LibraryBridge* bridge_;
    int column_ = 0;
    lxnews::ColumnView view_;
    std::set<int> edited_;
    CountInfoMap counters_;
    QTreeWidget* columns_;
    bool olderPending_ = false;
    QTreeWidget* list_;
    QPushButton* older_;
    QLabel* status_;
};

class EssencePane : public QWidget {
    Q_OBJECT
public:
    explicit EssencePane(LibraryBridge* bridge, QWidget* parent = nullptr);

private:
    QTreeWidget* list_;
};

// Dates with their event counts; the events of the chosen date; the chosen
// event's detail. Each answer is shown only if it is still the chosen one.
class TimelinePane : public QWidget {
    Q_OBJECT
public:
    explicit TimelinePane(LibraryBridge* bridge, QWidget* parent = nullptr);
    void Start();

private:
    void OnDates(const std::list<TimelineReddot>& dates);
    void OnEvents(const QString& date, const std::list<TimelineEvent>& events);
    void OnDetail(const TimelineEventDetail& detail);
    void ChooseDate(const QString& date);
    void ChooseEvent(int eventId);

    LibraryBridge* bridge_;
    QString date_;
    int event_ = 0;
    QTreeWidget* dates_;
    QTreeWidget* events_;
    QTextBrowser* detail_;
};

}  // namespace newsboard
