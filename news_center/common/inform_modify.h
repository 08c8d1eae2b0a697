#pragma once

// Edits and removals of delivered articles ("/pc/inform/modify"), shared by the
// depth and the exclusive publishers. Each page is reduced in place inside its
// operation list (two filter passes, one de-duplication pass) before any record
// is parsed, and what survives is folded into a change set of added, modified and
// removed. The two feeds differ only in their InformModifyRules and their
// record parser. Nothing here takes a lock: the change set and the cursors
// belong to the caller for the duration of the call.

#include <algorithm>
#include <initializer_list>
#include <list>
#include <utility>
#include <vector>

#include <boost/function.hpp>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include "news_center/common/operation_list.h"
#include "news_center/common/sorted_list.h"
#include "news_center/request/json_read.h"
#include "news_center/request/response_envelope.h"

namespace news_center {
namespace internal {

// The elements of data["list"] whose "type" is one of `types` and that `keep`
// accepts (asked in order, before the element is converted), parsed in order.
template <class Record, class Keep>
std::list<Record> ParseArticleList(const QJsonObject& data, std::initializer_list<int> types,
                                   Record (*parse)(const QJsonObject&), Keep keep) {
    std::list<Record> records;
    const QJsonArray list = data.value(QStringLiteral("list")).toArray();
    for (const QJsonValue& value : list) {
        const QJsonObject object = value.toObject();
        const int type = ReadInt(object.value(QStringLiteral("type")));
        if (std::find(types.begin(), types.end(), type) != types.end() && keep(object))
            records.push_back(parse(object));
    }
    return records;
}

template <class Record>
std::list<Record> ParseArticleList(const QJsonObject& data, std::initializer_list<int> types,
                                   Record (*parse)(const QJsonObject&)) {
    return ParseArticleList(data, types, parse, [](const QJsonObject&) { return true; });
}

// --- the procedure -----------------------------------------------------------

// What sets one feed's variant apart.
struct InformModifyRules {
    // transportFailure is a "%s" format given the URL; a null text logs nothing.
    OperationTexts texts;
    bool requiresInfo;            // filter pass A drops an entry without "info"
    std::vector<int> acceptedTypes;
    // Column test of a "show" or "modify": with oneColumn only articles of
    // columnId stay, otherwise only articles outside every column (column_id <= 0).
    bool oneColumn;
    int columnId;
};

InformModifyRules DepthInformModifyRules();
InformModifyRules ExclusiveInformModifyRules(int columnId);

// Filter pass A, filter pass B and the de-duplication pass, in place.
void ReduceInformModifyPage(OperationList& entries, const InformModifyRules& rules);

typedef boost::function<void(const ListOperation& entry)> InformModifyEntrySink;

// Fetches page after page (GetSync) from the cursors on, advancing them, and
// hands every entry that survives ReduceInformModifyPage to `apply` in order.
// Stops after a page of fewer than 100 entries (counted before reduction), or
// at a failed transfer, an empty body or a parse error.
void FetchInformModify(const InformModifyRules& rules, unsigned long long& lastTime, unsigned long long& time,
                       const InformModifyEntrySink& apply);

// Folds one surviving entry into `changes` (any type with `added`, `modified`
// and `removed`); "info" is parsed only for a "show" or a "modify".
template <class Update, class Record>
void ApplyInformModifyEntry(Update& changes, const ListOperation& entry, Record (*parse)(const QJsonObject&)) {
    switch (entry.kind) {
    case ListOperation::Delete:
    case ListOperation::Hidden: {
        const int id = entry.id;
        RemoveById(changes.added, id);
        RemoveById(changes.modified, id);
        if (std::find(changes.removed.begin(), changes.removed.end(), id) == changes.removed.end())
            changes.removed.push_back(id);
        break;
    }
    case ListOperation::Show: {
        Record record = parse(entry.info);
        auto removed = std::find(changes.removed.begin(), changes.removed.end(), record.id);
        if (removed != changes.removed.end())
            changes.removed.erase(removed);
        InsertBySortScore(changes.added, std::move(record));
        break;
    }
    case ListOperation::Modify: {
        Record record = parse(entry.info);
        RemoveById(changes.modified, record.id);
        InsertBySortScore(changes.modified, std::move(record));
        break;
    }
    case ListOperation::Add:
    case ListOperation::Other:
        break;
    }
}

// The whole procedure for one feed: fetch, reduce, fold into `changes`.
template <class Update, class Record>
void MergeInformModify(Update& changes, unsigned long long& lastTime, unsigned long long& time,
                       const InformModifyRules& rules, Record (*parse)(const QJsonObject&)) {
    FetchInformModify(rules, lastTime, time, [&changes, parse](const ListOperation& entry) {
        ApplyInformModifyEntry(changes, entry, parse);
    });
}

}  // namespace internal
}  // namespace news_center
