#include "news_center/common/operation_list.h"

#include <QJsonValue>
#include <QString>

#include "news_center/request/json_read.h"

namespace news_center {
namespace internal {
namespace {

ListOperation::Kind KindOf(const QJsonObject& element) {
    const QString name = element.value(QStringLiteral("operation")).toString();
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
        operation.id = ReadInt(operation.element.value(QStringLiteral("id")));
        operation.type = ReadInt(operation.element.value(QStringLiteral("type")));
        operation.kind = KindOf(operation.element);
        operation.info = operation.element.value(QStringLiteral("info")).toObject();
        operation.status = ReadInt(operation.info.value(QStringLiteral("status")));
        operations.push_back(operation);
    }
    return operations;
}

}  // namespace internal
}  // namespace news_center
