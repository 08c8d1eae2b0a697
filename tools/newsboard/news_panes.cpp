#include "tools/newsboard/news_panes.h"

#include <vector>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tools/newsboard/library_bridge.h"
#include "tools/newsboard/row_list.h"

namespace newsboard {

namespace {

constexpr int kTimelineDays = 30;

const QStringList kArticleHeaders = {QStringLiteral("Title"), QStringLiteral("Author"), QStringLiteral("Time"),
                                     QStringLiteral("Reads"), QStringLiteral("Comments"), QStringLiteral("Mark")};

// The served counters of `id` once they came, the record's own until then.
CountInfo CountsOf(const CountInfoMap& counters, int id, int reading, int comment) {
    const auto found = counters.find(static_cast<unsigned int>(id));
    if (found != counters.end()) return found->second;
    CountInfo own;
    own.reading_num = reading;
    own.comment_num = comment;
    return own;
}

void Merge(CountInfoMap& into, const CountInfoMap& counters) {
    for (const auto& entry : counters) into[entry.first] = entry.second;
}

QString Mark(bool pinned, bool edited) {
    QStringList marks;
    if (pinned) marks << QStringLiteral("pinned");
    if (edited) marks << QStringLiteral("edited");
    return marks.join(QStringLiteral(", "));
}

template <class Article>
Row ArticleRow(const Article& article, const CountInfoMap& counters, const std::set<int>& edited) {
    const CountInfo counts = CountsOf(counters, article.id, article.reading_num, article.comment_num);
    Row row;
    row.key = Number(article.id);
    row.edited = edited.count(article.id) != 0;
    row.cells << Text(article.title) << Text(article.author) << TimeText(article.ctime) << Number(counts.reading_num)
              << Number(counts.comment_num) << Mark(false, row.edited);
    return row;
}

template <class Record>
void NoteEdits(std::set<int>& edited, const std::list<Record>& modified) {
    for (const Record& record : modified) edited.insert(record.id);
}

// The list above, the status and the button (if any) in a row below.
QVBoxLayout* PaneLayout(QWidget* pane, QWidget* list, QLabel* status, QPushButton* button) {
    auto* layout = new QVBoxLayout(pane);
    layout->addWidget(list, 1);
    auto* footer = new QHBoxLayout;
    footer->addWidget(status, 1);
    if (button) footer->addWidget(button);
    layout->addLayout(footer);
    return layout;
}

QString Stamp(const QString& what) {
    return what + QStringLiteral(" at ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

// ---------------------------------------------------------------------------

TelegraphPane::TelegraphPane(LibraryBridge* bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      list_(MakeRowList(QStringLiteral("telegraph"),
                        {QStringLiteral("Telegraph"), QStringLiteral("Time"), QStringLiteral("Reads"),
                         QStringLiteral("Comments"), QStringLiteral("Mark")},
                        this)),
      older_(new QPushButton(QStringLiteral("Older"), this)),
      status_(new QLabel(QStringLiteral("waiting for the first refresh"), this)) {
    older_->setObjectName(QStringLiteral("telegraph-older"));
    older_->setEnabled(false);
    PaneLayout(this, list_, status_, older_);
    connect(bridge_, &LibraryBridge::telegraphUpdated, this, &TelegraphPane::OnUpdate);
    connect(bridge_, &LibraryBridge::telegraphCounters, this, [this](const CountInfoMap& counters) {
        Merge(counters_, counters);
        Show();
    });
    connect(bridge_, &LibraryBridge::earlierTelegraphs, this, &TelegraphPane::OnOlderPage);
    connect(older_, &QPushButton::clicked, this, [this] {
        olderPending_ = true;
        older_->setEnabled(false);
        bridge_->RequestEarlierTelegraph(view_.floor());
    });
}

void TelegraphPane::OnUpdate(bool failed, const TelegraphUpdate& changes) {
    view_.Apply(changes);
    NoteEdits(edited_, changes.modified);
    status_->setText(Stamp(failed ? QStringLiteral("refresh failed") : QStringLiteral("updated")));
    Show();
}

void TelegraphPane::OnOlderPage(bool failed, const std::list<TelegraphInfo>& page) {
    olderPending_ = false;
    view_.AddOlder(page);
    if (failed || page.empty())
        status_->setText(Stamp(failed ? QStringLiteral("older page failed") : QStringLiteral("nothing older")));
    Show();
}

void TelegraphPane::Show() {
    std::vector<Row> rows;
    for (const TelegraphInfo& item : view_.items()) {
        const CountInfo counts = CountsOf(counters_, item.id, item.reading_num, item.comment_num);
        Row row;
        row.key = Number(item.id);
        row.edited = edited_.count(item.id) != 0;
        row.strong = item.bold;
        row.cells << Text(item.content) << TimeText(item.ctime) << Number(counts.reading_num)
                  << Number(counts.comment_num) << Mark(false, row.edited);
        rows.push_back(row);
    }
    SyncRows(list_, rows);
    older_->setEnabled(!rows.empty() && !olderPending_);
}

// ---------------------------------------------------------------------------

DepthPane::DepthPane(LibraryBridge* bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      banners_(MakeRowList(QStringLiteral("depth-banners"), {QStringLiteral("Banner"), QStringLiteral("Link")}, this)),
      list_(MakeRowList(QStringLiteral("depth"), kArticleHeaders, this)),
      older_(new QPushButton(QStringLiteral("Older"), this)),
      status_(new QLabel(QStringLiteral("waiting for the first refresh"), this)) {
    older_->setObjectName(QStringLiteral("depth-older"));
    older_->setEnabled(false);
    banners_->setMaximumHeight(110);
    QVBoxLayout* layout = PaneLayout(this, list_, status_, older_);
    layout->insertWidget(0, banners_);
    connect(bridge_, &LibraryBridge::depthUpdated, this, &DepthPane::OnUpdate);
    connect(bridge_, &LibraryBridge::depthCounters, this, [this](const CountInfoMap& counters) {
        Merge(counters_, counters);
        Show();
    });
    connect(bridge_, &LibraryBridge::earlierDepth, this, &DepthPane::OnOlderPage);
    connect(older_, &QPushButton::clicked, this, [this] {
        olderPending_ = true;
        older_->setEnabled(false);
        bridge_->RequestEarlierDepth();
    });
}

void DepthPane::OnUpdate(bool failed, const DepthUpdate& changes) {
    view_.Apply(changes);
    NoteEdits(edited_, changes.modified);
    status_->setText(Stamp(failed ? QStringLiteral("refresh failed") : QStringLiteral("updated")));
    Show();
}

void DepthPane::OnOlderPage(const std::list<DepthArticle>& page) {
    olderPending_ = false;
    view_.AddOlder(page);
    if (page.empty()) status_->setText(Stamp(QStringLiteral("nothing older")));
    Show();
}

void DepthPane::Show() {
    std::vector<Row> banners;
    for (const DepthBanner& banner : view_.banners()) {
        Row row;
        row.key = Number(static_cast<long long>(banners.size()));
        row.cells << Text(banner.title) << Text(banner.jump);
        banners.push_back(row);
    }
    SyncRows(banners_, banners);

    std::vector<Row> rows;
    for (const std::list<DepthArticle>* part : {&view_.top(), &view_.normal()}) {
        for (const DepthArticle& article : *part) {
            Row row = ArticleRow(article, counters_, edited_);
            row.strong = part == &view_.top();
            row.cells.last() = Mark(row.strong, row.edited);
            rows.push_back(row);
        }
    }
    SyncRows(list_, rows);
    older_->setEnabled(!rows.empty() && !olderPending_);
}

// ---------------------------------------------------------------------------

ExclusivePane::ExclusivePane(LibraryBridge* bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      columns_(MakeRowList(QStringLiteral("exclusive-columns"), {QStringLiteral("Column")}, this)),
      list_(MakeRowList(QStringLiteral("exclusive"), kArticleHeaders, this)),
      older_(new QPushButton(QStringLiteral("Older"), this)),
      status_(new QLabel(QStringLiteral("waiting for the columns"), this)) {
    older_->setObjectName(QStringLiteral("exclusive-older"));
    older_->setEnabled(false);
    auto* articles = new QWidget(this);
    PaneLayout(articles, list_, status_, older_)->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(columns_);
    splitter->addWidget(articles);
    splitter->setStretchFactor(1, 1);
    (new QVBoxLayout(this))->addWidget(splitter);

    connect(bridge_, &LibraryBridge::columnsArrived, this, &ExclusivePane::OnColumns);
    connect(bridge_, &LibraryBridge::columnPageArrived, this, &ExclusivePane::OnPage);
    connect(bridge_, &LibraryBridge::earlierColumnPage, this, [this](int columnId, const std::list<ExclusiveArticle>& page) {
        if (columnId == column_) olderPending_ = false;
        OnPage(columnId, page);
    });
    connect(bridge_, &LibraryBridge::columnChanged, this, &ExclusivePane::OnChanges);
    connect(bridge_, &LibraryBridge::articleCounters, this, [this](const CountInfoMap& counters) {
        Merge(counters_, counters);
        Show();
    });
    connect(columns_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current) Choose(KeyOf(current).toInt());
    });
    connect(older_, &QPushButton::clicked, this, [this] {
        olderPending_ = true;
        older_->setEnabled(false);
        bridge_->RequestEarlierColumnPage(column_, view_.floor());
    });
}

void ExclusivePane::Start() { bridge_->RequestColumns(); }

void ExclusivePane::RefreshColumn() {
    if (column_ != 0 && !view_.items().empty()) bridge_->RequestColumnChanges(column_);
}

void ExclusivePane::OnColumns(const std::list<ExclusiveColumn>& columns) {
    std::vector<Row> rows;
    for (const ExclusiveColumn& column : columns) {
        Row row;
        row.key = Number(column.column_id);
        row.cells << Text(column.title);
        rows.push_back(row);
    }
    SyncRows(columns_, rows);
    status_->setText(rows.empty() ? Stamp(QStringLiteral("no columns")) : QStringLiteral("choose a column"));
    if (columns_->currentItem() == nullptr && columns_->topLevelItemCount() > 0)
        columns_->setCurrentItem(columns_->topLevelItem(0));
}

void ExclusivePane::Choose(int columnId) {
    if (columnId == column_) return;
    column_ = columnId;
    olderPending_ = false;
    view_ = lxnews::ColumnView();
    edited_.clear();
    Show();
    status_->setText(QStringLiteral("loading the column"));
    bridge_->RequestColumnPage(columnId);
}

// A first page and an older page alike: both add to what is held.
void ExclusivePane::OnPage(int columnId, const std::list<ExclusiveArticle>& page) {
    if (columnId != column_) return;
    view_.AddPage(page);
    status_->setText(Stamp(page.empty() ? QStringLiteral("nothing more") : QStringLiteral("updated")));
    Show();
    std::vector<unsigned int> ids;
    for (const ExclusiveArticle& article : page) ids.push_back(static_cast<unsigned int>(article.id));
    bridge_->RequestArticleCounters(ids);
}

void ExclusivePane::OnChanges(int columnId, const ExclusiveUpdate& changes) {
    if (columnId != column_) return;
    view_.Apply(changes);
    NoteEdits(edited_, changes.modified);
    status_->setText(Stamp(QStringLiteral("updated")));
    Show();
    std::vector<unsigned int> ids;
    for (const std::list<ExclusiveArticle>* part : {&changes.added, &changes.modified})
        for (const ExclusiveArticle& article : *part) ids.push_back(static_cast<unsigned int>(article.id));
    bridge_->RequestArticleCounters(ids);
}

void ExclusivePane::Show() {
    std::vector<Row> rows;
    for (const ExclusiveArticle& article : view_.items()) rows.push_back(ArticleRow(article, counters_, edited_));
    SyncRows(list_, rows);
    older_->setEnabled(!rows.empty() && !olderPending_);
}

// ---------------------------------------------------------------------------

EssencePane::EssencePane(LibraryBridge* bridge, QWidget* parent)
    : QWidget(parent),
      list_(MakeRowList(QStringLiteral("essence"),
                        {QStringLiteral("Digest"), QStringLiteral("Brief"), QStringLiteral("Time")}, this)) {
    (new QVBoxLayout(this))->addWidget(list_);
    connect(bridge, &LibraryBridge::essenceArrived, this, [this](const std::list<InformationEssence>& digest) {
        std::vector<Row> rows;
        for (const InformationEssence& item : digest) {
            Row row;
            row.key = Number(item.id);
            row.cells << Text(item.title) << Text(item.brief)
                      << TimeText(static_cast<unsigned long long>(item.ctime));
            rows.push_back(row);
        }
        SyncRows(list_, rows);
    });
}

// ---------------------------------------------------------------------------

TimelinePane::TimelinePane(LibraryBridge* bridge, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      dates_(MakeRowList(QStringLiteral("timeline-dates"), {QStringLiteral("Date"), QStringLiteral("Events")}, this)),
      events_(MakeRowList(QStringLiteral("timeline-events"), {QStringLiteral("Event"), QStringLiteral("Brief")}, this)),
      detail_(new QTextBrowser(this)) {
    detail_->setObjectName(QStringLiteral("timeline-detail"));
    auto* splitter = new QSplitter(this);
    splitter->addWidget(dates_);
    splitter->addWidget(events_);
    splitter->addWidget(detail_);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 1);
    (new QVBoxLayout(this))->addWidget(splitter);

    connect(bridge_, &LibraryBridge::reddotArrived, this, &TimelinePane::OnDates);
    connect(bridge_, &LibraryBridge::eventsArrived, this, &TimelinePane::OnEvents);
    connect(bridge_, &LibraryBridge::eventDetailArrived, this, &TimelinePane::OnDetail);
    connect(dates_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current) ChooseDate(KeyOf(current));
    });
    connect(events_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current) ChooseEvent(KeyOf(current).toInt());
    });
}

void TimelinePane::Start() {
    const QDate today = ServiceToday();
    const QString format = QStringLiteral("yyyy-MM-dd");
    bridge_->RequestReddot(today.addDays(1 - kTimelineDays).toString(format), today.toString(format));
}

void TimelinePane::OnDates(const std::list<TimelineReddot>& dates) {
    std::vector<Row> rows;
    int newestWithEvents = -1;
    for (const TimelineReddot& date : dates) {
        if (date.nums > 0) newestWithEvents = static_cast<int>(rows.size());
        Row row;
        row.key = Text(date.date);
        row.cells << row.key << Number(date.nums);
        rows.push_back(row);
    }
    SyncRows(dates_, rows);
    if (dates_->currentItem() == nullptr && newestWithEvents >= 0)
        dates_->setCurrentItem(dates_->topLevelItem(newestWithEvents));
}

void TimelinePane::ChooseDate(const QString& date) {
    if (date == date_) return;
    date_ = date;
    event_ = 0;
    SyncRows(events_, {});
    detail_->clear();
    bridge_->RequestEvents(date);
}

void TimelinePane::OnEvents(const QString& date, const std::list<TimelineEvent>& events) {
    if (date != date_) return;
    std::vector<Row> rows;
    for (const TimelineEvent& event : events) {
        Row row;
        row.key = Number(event.id);
        row.cells << Text(event.title) << Text(event.brief);
        rows.push_back(row);
    }
    SyncRows(events_, rows);
    if (events_->currentItem() == nullptr && events_->topLevelItemCount() > 0)
        events_->setCurrentItem(events_->topLevelItem(0));
}

void TimelinePane::ChooseEvent(int eventId) {
    if (eventId == event_) return;
    event_ = eventId;
    detail_->clear();
    bridge_->RequestEventDetail(eventId);
}

void TimelinePane::OnDetail(const TimelineEventDetail& detail) {
    if (detail.id != event_) return;
    const QString content = Text(detail.content);
    detail_->setHtml(QStringLiteral("<h3>%1</h3>%2").arg(Text(detail.title).toHtmlEscaped(),
                                                        Qt::mightBeRichText(content) ? content : content.toHtmlEscaped()));
}

}  // namespace newsboard
