#include "tools/newsboard/stock_pane.h"

#include <vector>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tools/newsboard/library_bridge.h"
#include "tools/newsboard/row_list.h"

namespace newsboard {

namespace {

QWidget* Titled(const QString& title, QWidget* list, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    (new QVBoxLayout(box))->addWidget(list);
    return box;
}

template <class Item>
Row PublishedRow(const std::wstring& key, const Item& item) {
    Row row;
    row.key = Text(key);
    row.cells << Text(item.title) << Text(item.location) << TimeText(item.publish_time);
    return row;
}

QString Party(const std::vector<StockUnusualTradingParty>& parties) {
    return parties.empty() ? QString() : Text(parties.front().name);
}

}  // namespace

StockPane::StockPane(LibraryBridge* bridge, const QString& code, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      box_(new QLineEdit(code, this)),
      status_(new QLabel(this)),
      announcements_(MakeRowList(QStringLiteral("announcements"),
                                 {QStringLiteral("Announcement"), QStringLiteral("Where"), QStringLiteral("Time")},
                                 this)),
      landMines_(MakeRowList(QStringLiteral("land-mines"),
                             {QStringLiteral("Risk event"), QStringLiteral("Where"), QStringLiteral("Time")}, this)),
      news_(MakeRowList(QStringLiteral("stock-news"),
                        {QStringLiteral("News"), QStringLiteral("Kind"), QStringLiteral("Time")}, this)),
      unusualTrading_(MakeRowList(QStringLiteral("unusual-trading"),
                                  {QStringLiteral("Date / disclosure"), QStringLiteral("Amount"),
                                   QStringLiteral("Top buyer"), QStringLiteral("Top seller")},
                                  this)) {
    box_->setObjectName(QStringLiteral("stock-code"));
    box_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9.]{0,16}")), box_));
    box_->setPlaceholderText(QStringLiteral("stock code, e.g. sh600519"));
    unusualTrading_->setRootIsDecorated(true);
    auto* show = new QPushButton(QStringLiteral("Show"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Stock:"), this));
    top->addWidget(box_);
    top->addWidget(show);
    top->addWidget(status_, 1);
    auto* grid = new QGridLayout;
    grid->addWidget(Titled(QStringLiteral("Announcements"), announcements_, this), 0, 0);
    grid->addWidget(Titled(QStringLiteral("Land-mines"), landMines_, this), 0, 1);
    grid->addWidget(Titled(QStringLiteral("Stock news"), news_, this), 1, 0);
    grid->addWidget(Titled(QStringLiteral("Unusual trading"), unusualTrading_, this), 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid, 1);

    connect(show, &QPushButton::clicked, this, &StockPane::ShowCode);
    connect(box_, &QLineEdit::returnPressed, this, &StockPane::ShowCode);
    connect(bridge_, &LibraryBridge::announcementsArrived, this, [this](const StockAnnouncement& value) {
        if (!isCurrent(value.stock)) return;
        std::vector<Row> rows;
        for (const StockAnnouncementItem& item : value.items) rows.push_back(PublishedRow(item.hashid, item));
        SyncRows(announcements_, rows);
    });
    connect(bridge_, &LibraryBridge::landMinesArrived, this, [this](const StockLandMine& value) {
        if (!isCurrent(value.stock)) return;
        std::vector<Row> rows;
        for (const StockLandMineItem& item : value.items) rows.push_back(PublishedRow(item.id, item));
        SyncRows(landMines_, rows);
    });
    connect(bridge_, &LibraryBridge::stockNewsArrived, this, [this](const StockNewsInfo& value) {
        if (!isCurrent(value.stock)) return;
        std::vector<Row> rows;
        for (const StockNewsItem& item : value.items) {
            Row row;
            row.key = Text(item.id);
            row.cells << Text(item.title) << Text(item.type_name) << TimeText(item.ctime);
            rows.push_back(row);
        }
        SyncRows(news_, rows);
    });
    connect(bridge_, &LibraryBridge::unusualTradingArrived, this, [this](const StockUnusualTradingInfo& value) {
        if (!isCurrent(value.stock)) return;
        std::vector<Row> rows;
        for (const StockUnusualTradingGroup& group : value.groups) {
            Row row;
            row.key = Text(group.key);
            row.cells << row.key << QString::number(group.amount, 'f', 2);
            for (const StockUnusualTradingItem& item : group.items) {
                Row entry;
                entry.key = Number(static_cast<long long>(row.children.size()));
                entry.cells << Text(item.type) + QStringLiteral(": ") + Text(item.msg) << QString()
                            << Party(item.buyer) << Party(item.seller);
                row.children.push_back(entry);
            }
            rows.push_back(row);
        }
        SyncRows(unusualTrading_, rows);
        unusualTrading_->expandToDepth(0);
    });
}

void StockPane::ShowCode() {
    const QString code = box_->text().trimmed();
    if (code.isEmpty()) {
        status_->setText(QStringLiteral("type a stock code"));
        return;
    }
    if (code != code_) {
        for (QTreeWidget* list : {announcements_, landMines_, news_, unusualTrading_}) SyncRows(list, {});
    }
    code_ = code;
    status_->setText(QStringLiteral("showing ") + code);
    bridge_->RequestStock(code);
}

}  // namespace newsboard
