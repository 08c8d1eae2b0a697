#include "news_center/common/inform_modify.h"

#include <algorithm>
#include <string>

#include <QJsonValue>
#include <QLatin1String>
#include <QString>

#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"

namespace news_center {
namespace internal {
namespace {

// A page this full means the service has more.
const int kPageSize = 100;

bool IsShowOrModify(InformOperation operation) {
    return operation == InformOperation::Show || operation == InformOperation::Modify;
}

QJsonObject InfoOf(const QJsonObject& entry) { return entry.value(QStringLiteral("info")).toObject(); }

bool HasInfo(const QJsonObject& entry) { return entry.contains(QStringLiteral("info")); }

// Pass A: a "show" or "modify" needs a published article, a "del" or "hidden"
// an unpublished one.
bool PassesStatusFilter(const QJsonObject& entry, const InformModifyRules& rules) {
    if (rules.requiresInfo && !HasInfo(entry))
        return false;
    const bool published = ReadInt(InfoOf(entry).value(QStringLiteral("status"))) == 1;
    const InformOperation operation = OperationOf(entry);
    if (IsShowOrModify(operation))
        return published;
    if (operation == InformOperation::Remove)
        return !published;
    return true;
}

// Pass B: the feed's article types, and for a "show" or "modify" its columns.
bool PassesFeedFilter(const QJsonObject& entry, const InformModifyRules& rules) {
    const int type = ReadInt(entry.value(QStringLiteral("type")));
    if (std::find(rules.acceptedTypes.begin(), rules.acceptedTypes.end(), type) == rules.acceptedTypes.end())
        return false;
    if (!IsShowOrModify(OperationOf(entry)))
        return true;
    if (!HasInfo(entry))
        return false;
    const int column = ReadInt(InfoOf(entry).value(QStringLiteral("column_id")));
    return rules.oneColumn ? column == rules.columnId : column <= 0;
}

// The later operation on an id wins, except that a removal survives anything
// but a later "show".
void RemoveDuplicates(QJsonArray& entries) {
    int i = 0;
    while (i < entries.size() - 1) {
        const QJsonObject entry = entries.at(i).toObject();
        const int id = EntryId(entry);
        int later = i + 1;
        while (later < entries.size() && EntryId(entries.at(later).toObject()) != id)
            ++later;
        if (later == entries.size()) {
            ++i;
        } else if (OperationOf(entry) == InformOperation::Remove &&
                   OperationOf(entries.at(later).toObject()) != InformOperation::Show) {
            entries.removeAt(later);
            ++i;
        } else {
            entries.removeAt(i);
        }
    }
}

}  // namespace

InformModifyRules DepthInformModifyRules() {
    InformModifyRules rules = {
        {L"DepthPublisher::RequestInformModify Failed: url = %s",
         L"DepthPublisher::MergeInformModifyListToCache Json Parse Error Code: %d",
         L"DepthPublisher::MergeInformModifyListToCache Response Error Code: %d"},
        true,
        {2},
        false,
        0,
    };
    return rules;
}

InformModifyRules ExclusiveInformModifyRules(int columnId) {
    InformModifyRules rules = {
        {L"ExclusivePublisher::RequestInformModify Failed: url = %s", nullptr,
         L"ExclusivePublisher::RequestInformModify Response Error Code: %d"},
        false,
        {2, 3},
        true,
        columnId,
    };
    return rules;
}

InformOperation OperationOf(const QJsonObject& entry) {
    const QString operation = entry.value(QStringLiteral("operation")).toString();
    if (operation == QLatin1String("show"))
        return InformOperation::Show;
    if (operation == QLatin1String("modify"))
        return InformOperation::Modify;
    if (operation == QLatin1String("del") || operation == QLatin1String("hidden"))
        return InformOperation::Remove;
    return InformOperation::Other;
}

int EntryId(const QJsonObject& entry) { return ReadInt(entry.value(QStringLiteral("id"))); }

void ReduceInformModifyPage(QJsonArray& entries, const InformModifyRules& rules) {
    for (int i = 0; i < entries.size();) {
        if (PassesStatusFilter(entries.at(i).toObject(), rules))
            ++i;
        else
            entries.removeAt(i);
    }
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (!PassesFeedFilter(entries.at(i).toObject(), rules))
            entries.removeAt(i);
    }
    RemoveDuplicates(entries);
}

void FetchInformModify(const InformModifyRules& rules, unsigned long long& lastTime, unsigned long long& time,
                       const InformModifyEntrySink& apply) {
    for (;;) {
        const SyncResponse fetched = FetchSync(RequestBuilder::Instance().InformModifyUrl(lastTime, time), rules.texts);
        if (!fetched.response.isParsed())
            return;
        time = fetched.response.time();
        QJsonArray entries = fetched.response.dataArray();
        const int received = entries.size();
        if (received > 0) {
            const QString key = QStringLiteral("operation_time");
            lastTime = std::max(ReadU64(entries.first().toObject().value(key)),
                                ReadU64(entries.last().toObject().value(key)));
            ReduceInformModifyPage(entries, rules);
        }
        for (const QJsonValue& entry : entries)
            apply(entry.toObject());
        if (received < kPageSize)
            return;
    }
}

}  // namespace internal
}  // namespace news_center
