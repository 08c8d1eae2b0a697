#include "news_center/feeds/roll_list.h"

#include <algorithm>

#include <QDebug>
#include <QString>

#include "news_center/request/json_read.h"

namespace news_center {
namespace internal {
namespace {

enum class Operation { Add, Modify, Delete, Hidden, Show, Other };

Operation OperationOf(const QJsonObject& element) {
    const QString name = element.value(QLatin1String("operation")).toString();
    if (name == QLatin1String("add"))
        return Operation::Add;
    if (name == QLatin1String("modify"))
        return Operation::Modify;
    if (name == QLatin1String("del"))
        return Operation::Delete;
    if (name == QLatin1String("hidden"))
        return Operation::Hidden;
    if (name == QLatin1String("show"))
        return Operation::Show;
    return Operation::Other;
}

bool IsRemoval(Operation operation) { return operation == Operation::Delete || operation == Operation::Hidden; }

bool IsTelegraphOperation(const QJsonObject& element) { return ReadInt(element.value(QLatin1String("type"))) == -1; }

// The element's own "id"; the record's id comes from "info".
int IdOf(const QJsonObject& element) { return ReadInt(element.value(QLatin1String("id"))); }

QJsonObject InfoOf(const QJsonObject& element) { return element.value(QLatin1String("info")).toObject(); }

TelegraphInfo RecordOf(const QJsonObject& element) { return ParseTelegraphInfo(InfoOf(element)); }

// Index of the first element behind `from` that concerns `id`, or -1.
int FindLaterMatch(const QJsonArray& rollList, int from, int id) {
    for (int j = from + 1; j < rollList.size(); ++j) {
        if (IdOf(rollList.at(j).toObject()) == id)
            return j;
    }
    return -1;
}

}  // namespace

TelegraphInfo ParseTelegraphInfo(const QJsonObject& info) {
    TelegraphInfo item;
    for (QJsonObject::const_iterator it = info.begin(); it != info.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("id")) {
            item.id = ReadInt(value);
            qDebug() << "item.id" << static_cast<unsigned int>(item.id);
        } else if (key == QLatin1String("author")) {
            item.author = ReadWide(value);
        } else if (key == QLatin1String("content")) {
            item.content = ReadWide(value);
        } else if (key == QLatin1String("bold")) {
            item.bold = ReadInt(value) != 0;
        } else if (key == QLatin1String("reading_num")) {
            item.reading_num = ReadInt(value);
        } else if (key == QLatin1String("comment_num")) {
            item.comment_num = ReadInt(value);
        } else if (key == QLatin1String("recommend")) {
            item.recommend = ReadInt(value) != 0;
        } else if (key == QLatin1String("ctime")) {
            item.ctime = ReadU64(value);
        } else if (key == QLatin1String("sort_score")) {
            item.sort_score = ReadU64(value);
        } else if (key == QLatin1String("shareurl")) {
            item.shareurl = ReadWide(value);
        } else if (key == QLatin1String("showurl")) {
            item.showurl = ReadWide(value);
        } else if (key == QLatin1String("status")) {
            item.status = ReadInt(value);
        } else if (key == QLatin1String("collection")) {
            item.collection = ReadInt(value) != 0;
        }
    }
    return item;
}

void FilterOperationsByStatus(QJsonArray& rollList) {
    int index = 0;
    while (index < rollList.size()) {
        const QJsonObject element = rollList.at(index).toObject();
        const bool visible = ReadInt(InfoOf(element).value(QLatin1String("status"))) == 1;
        const Operation operation = OperationOf(element);
        bool drop = false;
        if (operation == Operation::Add || operation == Operation::Show || operation == Operation::Modify)
            drop = !visible;
        else if (IsRemoval(operation))
            drop = visible;
        if (drop)
            rollList.removeAt(index);
        else
            ++index;
    }
}

void CollapseOperations(QJsonArray& rollList) {
    int i = 0;
    while (i < rollList.size() - 1) {
        const QJsonObject first = rollList.at(i).toObject();
        const int j = FindLaterMatch(rollList, i, IdOf(first));
        if (j < 0) {
            ++i;
            continue;
        }
        const Operation a = OperationOf(first);
        const Operation b = OperationOf(rollList.at(j).toObject());
        if ((IsRemoval(a) && b != Operation::Show) ||
            (a == Operation::Add && (b == Operation::Modify || b == Operation::Show))) {
            rollList.removeAt(j);
            ++i;
        } else {
            // What moves up into place i is examined next.
            rollList.removeAt(i);
        }
    }
}

void BuildTelegraphUpdate(TelegraphUpdate& changes, const QJsonArray& rollList, unsigned long long earliestSortScore) {
    for (const QJsonValue& value : rollList) {
        const QJsonObject element = value.toObject();
        if (!IsTelegraphOperation(element))
            continue;
        switch (OperationOf(element)) {
            case Operation::Add:
                InsertBySortScore(changes.added, RecordOf(element));
                break;
            case Operation::Modify:
                InsertBySortScore(changes.modified, RecordOf(element));
                break;
            case Operation::Delete:
            case Operation::Hidden: {
                const int id = IdOf(element);
                if (std::find(changes.removedIds.begin(), changes.removedIds.end(), id) == changes.removedIds.end())
                    changes.removedIds.push_back(id);
                break;
            }
            case Operation::Show: {
                const TelegraphInfo item = RecordOf(element);
                if (item.sort_score >= earliestSortScore)
                    InsertBySortScore(changes.added, item);
                break;
            }
            case Operation::Other:
                break;
        }
    }
}

void ApplyTelegraphUpdate(const TelegraphUpdate& changes, std::list<TelegraphInfo>& cache) {
    for (const TelegraphInfo& item : changes.added)
        InsertBySortScore(cache, item);
    for (const TelegraphInfo& item : changes.modified) {
        std::list<TelegraphInfo>::iterator it = FindById(cache, item.id);
        if (it != cache.end())
            *it = item;
    }
    for (int id : changes.removedIds) {
        std::list<TelegraphInfo>::iterator it = FindById(cache, id);
        if (it != cache.end())
            cache.erase(it);
    }
}

std::list<TelegraphInfo> ParseOlderPage(const QJsonArray& rollList) {
    std::list<TelegraphInfo> page;
    for (const QJsonValue& value : rollList) {
        const QJsonObject element = value.toObject();
        const Operation operation = OperationOf(element);
        if (IsTelegraphOperation(element) && (operation == Operation::Add || operation == Operation::Modify))
            page.push_back(RecordOf(element));
    }
    return page;
}

}  // namespace internal
}  // namespace news_center
