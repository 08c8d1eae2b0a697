#include "news_center/feeds/roll_list.h"

#include <algorithm>

#include <QtGlobal>
#include <QString>

#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"

namespace news_center {
namespace internal {
namespace {

bool IsTelegraph(const ListOperation& operation) { return operation.type == -1; }

TelegraphInfo RecordOf(const ListOperation& operation) { return ParseTelegraphInfo(operation.info); }

// Shows, adds and modifies need a visible telegraph, deletes and hides an
// invisible one; other operations stay.
bool DroppedByStatus(const ListOperation& operation) {
    const bool visible = operation.status == 1;
    switch (operation.kind) {
        case ListOperation::Add:
        case ListOperation::Show:
        case ListOperation::Modify:
            return !visible;
        case ListOperation::Delete:
        case ListOperation::Hidden:
            return visible;
        case ListOperation::Other:
            break;
    }
    return false;
}

// A removal outlasts anything but a later show, an add absorbs a later modify
// or show; otherwise the later operation wins.
bool KeepsEarlier(const ListOperation& earlier, const ListOperation& later) {
    const bool modifiesOrShows = later.kind == ListOperation::Modify || later.kind == ListOperation::Show;
    return (earlier.isRemoval() && later.kind != ListOperation::Show) ||
           (earlier.kind == ListOperation::Add && modifiesOrShows);
}

enum TelegraphField {
    kId, kAuthor, kContent, kBold, kReadingNum, kCommentNum, kRecommend, kCtime, kSortScore, kShareurl, kShowurl,
    kStatus, kCollection
};
const FieldKeys kTelegraphKeys({"id", "author", "content", "bold", "reading_num", "comment_num", "recommend", "ctime",
                                "sort_score", "shareurl", "showurl", "status", "collection"});

}  // namespace

TelegraphInfo ParseTelegraphInfo(const QJsonObject& info) {
    const RecordFields fields(info, kTelegraphKeys);
    TelegraphInfo item;
    const QJsonValue id = fields[kId];
    if (!id.isUndefined()) {
        item.id = ReadInt(id);
        // The same line as streaming "item.id" and the number, at a third of the cost.
        qDebug("item.id %u", static_cast<unsigned int>(item.id));
    }
    item.author = ReadWide(fields[kAuthor]);
    item.content = ReadWide(fields[kContent]);
    item.bold = ReadInt(fields[kBold]) != 0;
    item.reading_num = ReadInt(fields[kReadingNum]);
    item.comment_num = ReadInt(fields[kCommentNum]);
    item.recommend = ReadInt(fields[kRecommend]) != 0;
    item.ctime = ReadU64(fields[kCtime]);
    item.sort_score = ReadU64(fields[kSortScore]);
    item.shareurl = ReadWide(fields[kShareurl]);
    item.showurl = ReadWide(fields[kShowurl]);
    item.status = ReadInt(fields[kStatus]);
    item.collection = ReadInt(fields[kCollection]) != 0;
    return item;
}

void ReduceRollList(OperationList& operations) {
    operations.erase(std::remove_if(operations.begin(), operations.end(), &DroppedByStatus), operations.end());
    CollapseOperations(operations, &KeepsEarlier);
}

void BuildTelegraphUpdate(TelegraphUpdate& changes, const OperationList& operations,
                          unsigned long long earliestSortScore) {
    for (const ListOperation& operation : operations) {
        if (!IsTelegraph(operation))
            continue;
        switch (operation.kind) {
            case ListOperation::Add:
                InsertBySortScore(changes.added, RecordOf(operation));
                break;
            case ListOperation::Modify:
                InsertBySortScore(changes.modified, RecordOf(operation));
                break;
            case ListOperation::Delete:
            case ListOperation::Hidden:
                if (std::find(changes.removedIds.begin(), changes.removedIds.end(), operation.id) ==
                    changes.removedIds.end())
                    changes.removedIds.push_back(operation.id);
                break;
            case ListOperation::Show: {
                TelegraphInfo item = RecordOf(operation);
                if (item.sort_score >= earliestSortScore)
                    InsertBySortScore(changes.added, std::move(item));
                break;
            }
            case ListOperation::Other:
                break;
        }
    }
}

void ApplyTelegraphUpdate(const TelegraphUpdate& changes, TelegraphCache& cache) {
    for (const TelegraphInfo& item : changes.added)
        cache.Insert(item);
    for (const TelegraphInfo& item : changes.modified) {
        const auto it = cache.find(item.id);
        if (it != cache.end())
            cache.Overwrite(it, item);
    }
    for (int id : changes.removedIds)
        cache.Remove(id);
}

std::list<TelegraphInfo> ParseOlderPage(const QJsonArray& rollList) {
    std::list<TelegraphInfo> page;
    for (const ListOperation& operation : ReadOperationList(rollList)) {
        if (IsTelegraph(operation) && (operation.kind == ListOperation::Add || operation.kind == ListOperation::Modify))
            page.push_back(RecordOf(operation));
    }
    return page;
}

}  // namespace internal
}  // namespace news_center
