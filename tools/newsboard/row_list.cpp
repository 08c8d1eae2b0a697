#include "tools/newsboard/row_list.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QHeaderView>
#include <QSet>
#include <QTreeWidget>

namespace newsboard {

namespace {

constexpr int kServiceUtcOffsetSeconds = 8 * 3600;

// The children of an item, or the top level of the list, behind one face.
class Level {
public:
    Level(QTreeWidget* list, QTreeWidgetItem* parent) : list_(list), parent_(parent) {}
    int count() const { return parent_ ? parent_->childCount() : list_->topLevelItemCount(); }
    QTreeWidgetItem* at(int i) const { return parent_ ? parent_->child(i) : list_->topLevelItem(i); }
    int indexOf(QTreeWidgetItem* item) const {
        return parent_ ? parent_->indexOfChild(item) : list_->indexOfTopLevelItem(item);
    }
    void insert(int i, QTreeWidgetItem* item) const {
        if (parent_)
            parent_->insertChild(i, item);
        else
            list_->insertTopLevelItem(i, item);
    }
    QTreeWidgetItem* take(int i) const { return parent_ ? parent_->takeChild(i) : list_->takeTopLevelItem(i); }

private:
    QTreeWidget* list_;
    QTreeWidgetItem* parent_;
};

void Fill(QTreeWidgetItem* item, const Row& row) {
    for (int column = 0; column < row.cells.size(); ++column) {
        if (item->text(column) != row.cells[column]) item->setText(column, row.cells[column]);
    }
    const QVariant marked = item->data(0, kEditedRole);
    if (marked.isValid() && marked.toBool() == row.edited && item->font(0).bold() == row.strong) return;
    item->setData(0, kEditedRole, row.edited);
    QFont font = item->font(0);
    font.setBold(row.strong);
    font.setItalic(row.edited);
    const QBrush background = row.edited ? QBrush(QColor(255, 244, 214)) : QBrush();
    for (int column = 0; column < item->columnCount(); ++column) {
        item->setFont(column, font);
        item->setBackground(column, background);
    }
    item->setToolTip(0, row.edited ? QStringLiteral("edited since it arrived") : QString());
}

void SyncLevel(QTreeWidget* list, QTreeWidgetItem* parent, const std::vector<Row>& rows) {
    const Level level(list, parent);
    QSet<QString> wanted;
    for (const Row& row : rows) wanted.insert(row.key);
    QHash<QString, QTreeWidgetItem*> held;
    for (int i = level.count() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = level.at(i);
        if (wanted.contains(KeyOf(item)) && !held.contains(KeyOf(item)))
            held.insert(KeyOf(item), item);
        else
            delete level.take(i);
    }
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const Row& row = rows[static_cast<std::size_t>(i)];
        QTreeWidgetItem* item = held.value(row.key);
        if (item == nullptr) {
            item = new QTreeWidgetItem;
            item->setData(0, kKeyRole, row.key);
            level.insert(i, item);
        } else if (level.at(i) != item) {
            level.insert(i, level.take(level.indexOf(item)));
        }
        Fill(item, row);
        SyncLevel(list, item, row.children);
    }
}

}  // namespace

QTreeWidget* MakeRowList(const QString& name, const QStringList& headers, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

void SyncRows(QTreeWidget* list, const std::vector<Row>& rows) { SyncLevel(list, nullptr, rows); }

QString KeyOf(const QTreeWidgetItem* item) { return item->data(0, kKeyRole).toString(); }

QString Text(const std::wstring& text) { return QString::fromStdWString(text); }

QString TimeText(unsigned long long seconds) {
    if (seconds == 0) return QString();
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds), Qt::OffsetFromUTC, kServiceUtcOffsetSeconds)
        .toString(QStringLiteral("MM-dd HH:mm"));
}

QString Number(long long value) { return QString::number(value); }

QDate ServiceToday() { return QDateTime::currentDateTimeUtc().addSecs(kServiceUtcOffsetSeconds).date(); }

}  // namespace newsboard
