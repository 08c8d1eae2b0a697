#pragma once

// Lists of rows keyed by an id, kept in place: a row whose key stays keeps its
// item, so selection, scrolling and expanded groups survive every update, and a
// row that did not change is not touched.

#include <string>
#include <vector>

#include <QDate>
#include <QString>
#include <QStringList>
#include <Qt>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace newsboard {

// Column 0 holds the key; what the row shows is in the columns of `cells`.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kEditedRole = Qt::UserRole + 1;

struct Row {
    QString key;          // an id, a date, a hash: what identifies the item across updates
    QStringList cells;    // column 0 is the item's text (a title, a telegraph's content)
    bool edited = false;  // changed since it first arrived: shown tinted and italic
    bool strong = false;  // a bold telegraph, a pinned article: shown bold
    std::vector<Row> children;
};

// A list with `headers`, named `name` so that tests and style sheets find it.
QTreeWidget* MakeRowList(const QString& name, const QStringList& headers, QWidget* parent);
// Makes the list show `rows` in their order: items of vanished keys go, new
// keys get items, moved keys move, and changed cells are rewritten.
void SyncRows(QTreeWidget* list, const std::vector<Row>& rows);
QString KeyOf(const QTreeWidgetItem* item);

QString Text(const std::wstring& text);
// Seconds since the epoch as the service's wall clock (UTC+8) shows them.
QString TimeText(unsigned long long seconds);
QString Number(long long value);
// Today on the service's calendar (UTC+8).
QDate ServiceToday();

}  // namespace newsboard
