#include "news_center/common/operation_list.h"

#include <utility>

#include <QJsonValue>
#include <QString>

#include "news_center/request/json_read.h"
#include "news_center/request/record_fields.h"

namespace news_center {
namespace internal {
namespace {

enum OperationField { kId, kType, kOperation, kInfo };
const FieldKeys kOperationKeys({"id", "type", "operation", "info"});

ListOperation::Kind KindOf(const QJsonValue& operation) {
    const QString name = operation.toString();
    if (name == QStringLiteral("add"))
        return ListOperation::Add;
    if (name == QStringLiteral("modify"))
        return ListOperation::Modify;
    if (name == QStringLiteral("del"))
        return ListOperation::Delete;
    if (name == QStringLiteral("hidden"))
        return ListOperation::Hidden;
    if (name == QStringLiteral("show"))
        return ListOperation::Show;
    return ListOperation::Other;
}

}  // namespace

OperationList ReadOperationList(const QJsonArray& list) {
    OperationList operations;
    operations.reserve(static_cast<std::size_t>(list.size()));
    for (const QJsonValue& value : list) {
        ListOperation operation;
        operation.element = value.toObject();
        const RecordFields fields(operation.element, kOperationKeys);
        operation.id = ReadInt(fields[kId]);
        operation.type = ReadInt(fields[kType]);
        operation.kind = KindOf(fields[kOperation]);
        const QJsonValue info = fields[kInfo];
        operation.hasInfo = !info.isUndefined();
        operation.info = info.toObject();
        operation.status = ReadInt(operation.info.value(QStringLiteral("status")));
        operations.push_back(std::move(operation));
    }
    return operations;
}

}  // namespace internal
}  // namespace news_center
