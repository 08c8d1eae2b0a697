#include "news_center/feeds/roll_list.h"

#include <algorithm>

#include <QtGlobal>
#include <QString>

#include "news_center/request/json_read.h"

namespace news_center {
namespace internal {
namespace {

typedef RollOperation::Kind Kind;

Kind KindOf(const QJsonObject& element) {
    const QString name = element.value(QStringLiteral("operation")).toString();
    if (name == QStringLiteral("add"))
        return RollOperation::Add;
    if (name == QStringLiteral("modify"))
        return RollOperation::Modify;
    if (name == QStringLiteral("del"))
        return RollOperation::Delete;
    if (name == QStringLiteral("hidden"))
        return RollOperation::Hidden;
    if (name == QStringLiteral("show"))
        return RollOperation::Show;
    return RollOperation::Other;
}

bool IsRemoval(Kind kind) { return kind == RollOperation::Delete || kind == RollOperation::Hidden; }

QJsonObject InfoOf(const QJsonObject& element) { return element.value(QStringLiteral("info")).toObject(); }

// The record's id comes from "info", a removal's from the element itself.
TelegraphInfo RecordOf(const RollOperation& operation) { return ParseTelegraphInfo(operation.info); }

// Shows, adds and modifies need a visible telegraph, deletes and hides an
// invisible one; other operations stay.
bool DroppedByStatus(const RollOperation& operation) {
    const bool visible = operation.status == 1;
    switch (operation.kind) {
        case RollOperation::Add:
        case RollOperation::Show:
        case RollOperation::Modify:
            return !visible;
        case RollOperation::Delete:
        case RollOperation::Hidden:
            return visible;
        case RollOperation::Other:
            break;
    }
    return false;
}

// Takes out of `rollList` the elements that `kept` (read from it, in order) no
// longer holds.
void KeepOnly(QJsonArray& rollList, const RollOperations& kept) {
    std::size_t remaining = kept.size();
    for (int i = rollList.size() - 1; i >= 0; --i) {
        if (remaining > 0 && kept[remaining - 1].index == i)
            --remaining;
        else
            rollList.removeAt(i);
    }
}

}  // namespace

RollOperations ReadRollList(const QJsonArray& rollList) {
    RollOperations operations;
    operations.reserve(static_cast<std::size_t>(rollList.size()));
    int index = 0;
    for (const QJsonValue& value : rollList) {
        RollOperation operation;
        operation.element = value.toObject();
        operation.index = index++;
        operation.id = ReadInt(operation.element.value(QStringLiteral("id")));
        operation.isTelegraph = ReadInt(operation.element.value(QStringLiteral("type"))) == -1;
        operation.kind = KindOf(operation.element);
        operation.info = InfoOf(operation.element);
        operation.status = ReadInt(operation.info.value(QStringLiteral("status")));
        operations.push_back(operation);
    }
    return operations;
}

TelegraphInfo ParseTelegraphInfo(const QJsonObject& info) {
    // Looked up by name: the parsed object holds each key once, and a lookup
    // makes no copy of the key.
    TelegraphInfo item;
    const QJsonValue id = info.value(QStringLiteral("id"));
    if (!id.isUndefined()) {
        item.id = ReadInt(id);
        // The same line as streaming "item.id" and the number, at a third of the cost.
        qDebug("item.id %u", static_cast<unsigned int>(item.id));
    }
    item.author = ReadWide(info.value(QStringLiteral("author")));
    item.content = ReadWide(info.value(QStringLiteral("content")));
    item.bold = ReadInt(info.value(QStringLiteral("bold"))) != 0;
    item.reading_num = ReadInt(info.value(QStringLiteral("reading_num")));
    item.comment_num = ReadInt(info.value(QStringLiteral("comment_num")));
    item.recommend = ReadInt(info.value(QStringLiteral("recommend"))) != 0;
    item.ctime = ReadU64(info.value(QStringLiteral("ctime")));
    item.sort_score = ReadU64(info.value(QStringLiteral("sort_score")));
    item.shareurl = ReadWide(info.value(QStringLiteral("shareurl")));
    item.showurl = ReadWide(info.value(QStringLiteral("showurl")));
    item.status = ReadInt(info.value(QStringLiteral("status")));
    item.collection = ReadInt(info.value(QStringLiteral("collection"))) != 0;
    return item;
}

void FilterOperationsByStatus(RollOperations& operations) {
    operations.erase(std::remove_if(operations.begin(), operations.end(), &DroppedByStatus), operations.end());
}

void FilterOperationsByStatus(QJsonArray& rollList) {
    RollOperations operations = ReadRollList(rollList);
    FilterOperationsByStatus(operations);
    KeepOnly(rollList, operations);
}

void CollapseOperations(RollOperations& operations) {
    std::size_t i = 0;
    while (i + 1 < operations.size()) {
        const RollOperation& first = operations[i];
        std::size_t j = i + 1;
        while (j < operations.size() && operations[j].id != first.id)
            ++j;
        if (j == operations.size()) {
            ++i;
            continue;
        }
        const Kind a = first.kind;
        const Kind b = operations[j].kind;
        if ((IsRemoval(a) && b != RollOperation::Show) ||
            (a == RollOperation::Add && (b == RollOperation::Modify || b == RollOperation::Show))) {
            operations.erase(operations.begin() + static_cast<std::ptrdiff_t>(j));
            ++i;
        } else {
            // What moves up into place i is examined next.
            operations.erase(operations.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void CollapseOperations(QJsonArray& rollList) {
    RollOperations operations = ReadRollList(rollList);
    CollapseOperations(operations);
    KeepOnly(rollList, operations);
}

void BuildTelegraphUpdate(TelegraphUpdate& changes, const RollOperations& operations,
                          unsigned long long earliestSortScore) {
    for (const RollOperation& operation : operations) {
        if (!operation.isTelegraph)
            continue;
        switch (operation.kind) {
            case RollOperation::Add:
                InsertBySortScore(changes.added, RecordOf(operation));
                break;
            case RollOperation::Modify:
                InsertBySortScore(changes.modified, RecordOf(operation));
                break;
            case RollOperation::Delete:
            case RollOperation::Hidden:
                if (std::find(changes.removedIds.begin(), changes.removedIds.end(), operation.id) ==
                    changes.removedIds.end())
                    changes.removedIds.push_back(operation.id);
                break;
            case RollOperation::Show: {
                TelegraphInfo item = RecordOf(operation);
                if (item.sort_score >= earliestSortScore)
                    InsertBySortScore(changes.added, std::move(item));
                break;
            }
            case RollOperation::Other:
                break;
        }
    }
}

void BuildTelegraphUpdate(TelegraphUpdate& changes, const QJsonArray& rollList, unsigned long long earliestSortScore) {
    BuildTelegraphUpdate(changes, ReadRollList(rollList), earliestSortScore);
}

namespace {

template <class Cache>
void ApplyTo(const TelegraphUpdate& changes, Cache& cache) {
    for (const TelegraphInfo& item : changes.added)
        InsertBySortScore(cache, item);
    for (const TelegraphInfo& item : changes.modified) {
        const auto it = FindById(cache, item.id);
        if (it != cache.end())
            OverwriteAt(cache, it, item);
    }
    for (int id : changes.removedIds)
        RemoveById(cache, id);
}

}  // namespace

void ApplyTelegraphUpdate(const TelegraphUpdate& changes, TelegraphCache& cache) { ApplyTo(changes, cache); }

void ApplyTelegraphUpdate(const TelegraphUpdate& changes, std::list<TelegraphInfo>& cache) { ApplyTo(changes, cache); }

std::list<TelegraphInfo> ParseOlderPage(const QJsonArray& rollList) {
    std::list<TelegraphInfo> page;
    for (const RollOperation& operation : ReadRollList(rollList)) {
        if (operation.isTelegraph && (operation.kind == RollOperation::Add || operation.kind == RollOperation::Modify))
            page.push_back(RecordOf(operation));
    }
    return page;
}

}  // namespace internal
}  // namespace news_center
