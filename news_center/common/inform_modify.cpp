#include "news_center/common/inform_modify.h"

#include <algorithm>
#include <string>

#include <QJsonValue>
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

// Pass A: a "show" or "modify" needs a published article, a "del" or "hidden"
// an unpublished one.
bool PassesStatusFilter(const InformModifyEntry& entry, const InformModifyRules& rules) {
    if (rules.requiresInfo && !entry.hasInfo)
        return false;
    const bool published = entry.status == 1;
    if (IsShowOrModify(entry.operation))
        return published;
    if (entry.operation == InformOperation::Remove)
        return !published;
    return true;
}

// Pass B: the feed's article types, and for a "show" or "modify" its columns.
bool PassesFeedFilter(const InformModifyEntry& entry, const InformModifyRules& rules) {
    if (std::find(rules.acceptedTypes.begin(), rules.acceptedTypes.end(), entry.type) == rules.acceptedTypes.end())
        return false;
    if (!IsShowOrModify(entry.operation))
        return true;
    if (!entry.hasInfo)
        return false;
    return rules.oneColumn ? entry.columnId == rules.columnId : entry.columnId <= 0;
}

// The later operation on an id wins, except that a removal survives anything
// but a later "show".
void RemoveDuplicates(InformModifyEntries& entries) {
    std::size_t i = 0;
    while (i + 1 < entries.size()) {
        const InformModifyEntry& entry = entries[i];
        std::size_t later = i + 1;
        while (later < entries.size() && entries[later].id != entry.id)
            ++later;
        if (later == entries.size()) {
            ++i;
        } else if (entry.operation == InformOperation::Remove && entries[later].operation != InformOperation::Show) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(later));
            ++i;
        } else {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
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
    if (operation == QStringLiteral("show"))
        return InformOperation::Show;
    if (operation == QStringLiteral("modify"))
        return InformOperation::Modify;
    if (operation == QStringLiteral("del") || operation == QStringLiteral("hidden"))
        return InformOperation::Remove;
    return InformOperation::Other;
}

int EntryId(const QJsonObject& entry) { return ReadInt(entry.value(QStringLiteral("id"))); }

InformModifyEntry ReadInformModifyEntry(const QJsonObject& entry, int index) {
    InformModifyEntry read;
    read.entry = entry;
    read.index = index;
    read.id = EntryId(entry);
    read.type = ReadInt(entry.value(QStringLiteral("type")));
    read.operation = OperationOf(entry);
    read.hasInfo = entry.contains(QStringLiteral("info"));
    const QJsonObject info = InfoOf(entry);
    read.status = ReadInt(info.value(QStringLiteral("status")));
    read.columnId = ReadInt(info.value(QStringLiteral("column_id")));
    return read;
}

InformModifyEntries ReadInformModifyPage(const QJsonArray& entries) {
    InformModifyEntries read;
    read.reserve(static_cast<std::size_t>(entries.size()));
    int index = 0;
    for (const QJsonValue& entry : entries)
        read.push_back(ReadInformModifyEntry(entry.toObject(), index++));
    return read;
}

void ReduceInformModifyPage(InformModifyEntries& entries, const InformModifyRules& rules) {
    // Each filter decides every entry on its own, so one sweep per pass does.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&rules](const InformModifyEntry& entry) {
                                     return !PassesStatusFilter(entry, rules) || !PassesFeedFilter(entry, rules);
                                 }),
                  entries.end());
    RemoveDuplicates(entries);
}

void ReduceInformModifyPage(QJsonArray& entries, const InformModifyRules& rules) {
    InformModifyEntries read = ReadInformModifyPage(entries);
    ReduceInformModifyPage(read, rules);
    std::size_t remaining = read.size();
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (remaining > 0 && read[remaining - 1].index == i)
            --remaining;
        else
            entries.removeAt(i);
    }
}

void FetchInformModify(const InformModifyRules& rules, unsigned long long& lastTime, unsigned long long& time,
                       const InformModifyEntrySink& apply) {
    for (;;) {
        const SyncResponse fetched = FetchSync(RequestBuilder::Instance().InformModifyUrl(lastTime, time), rules.texts);
        if (!fetched.response.isParsed())
            return;
        time = fetched.response.time();
        const QJsonArray page = fetched.response.dataArray();
        const int received = page.size();
        InformModifyEntries entries;
        if (received > 0) {
            const QString key = QStringLiteral("operation_time");
            lastTime =
                std::max(ReadU64(page.first().toObject().value(key)), ReadU64(page.last().toObject().value(key)));
            entries = ReadInformModifyPage(page);
            ReduceInformModifyPage(entries, rules);
        }
        for (const InformModifyEntry& entry : entries)
            apply(entry);
        if (received < kPageSize)
            return;
    }
}

}  // namespace internal
}  // namespace news_center
