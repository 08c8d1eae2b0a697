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

bool IsShowOrModify(const ListOperation& entry) {
    return entry.kind == ListOperation::Show || entry.kind == ListOperation::Modify;
}

// Pass A: a "show" or "modify" needs a published article, a "del" or "hidden"
// an unpublished one.
bool PassesStatusFilter(const ListOperation& entry, const InformModifyRules& rules) {
    if (rules.requiresInfo && !entry.hasInfo)
        return false;
    const bool published = entry.status == 1;
    if (IsShowOrModify(entry))
        return published;
    if (entry.isRemoval())
        return !published;
    return true;
}

// Pass B: the feed's article types, and for a "show" or "modify" its columns.
bool PassesFeedFilter(const ListOperation& entry, const InformModifyRules& rules) {
    if (std::find(rules.acceptedTypes.begin(), rules.acceptedTypes.end(), entry.type) == rules.acceptedTypes.end())
        return false;
    if (!IsShowOrModify(entry))
        return true;
    if (!entry.hasInfo)
        return false;
    const int columnId = ReadInt(entry.info.value(QStringLiteral("column_id")));
    return rules.oneColumn ? columnId == rules.columnId : columnId <= 0;
}

// The later operation on an id wins, except that a removal survives anything
// but a later "show".
bool KeepsEarlier(const ListOperation& earlier, const ListOperation& later) {
    return earlier.isRemoval() && later.kind != ListOperation::Show;
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

void ReduceInformModifyPage(OperationList& entries, const InformModifyRules& rules) {
    // Each filter decides every entry on its own, so one sweep does both passes.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&rules](const ListOperation& entry) {
                                     return !PassesStatusFilter(entry, rules) || !PassesFeedFilter(entry, rules);
                                 }),
                  entries.end());
    CollapseOperations(entries, &KeepsEarlier);
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
        OperationList entries;
        if (received > 0) {
            const QString key = QStringLiteral("operation_time");
            lastTime =
                std::max(ReadU64(page.first().toObject().value(key)), ReadU64(page.last().toObject().value(key)));
            entries = ReadOperationList(page);
            ReduceInformModifyPage(entries, rules);
        }
        for (const ListOperation& entry : entries)
            apply(entry);
        if (received < kPageSize)
            return;
    }
}

}  // namespace internal
}  // namespace news_center
