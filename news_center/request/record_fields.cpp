#include "news_center/request/record_fields.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include <QCborMap>
#include <QLatin1String>

namespace news_center {
namespace internal {

FieldKeys::FieldKeys(std::initializer_list<const char*> names) : fields_(names.size()) {
    if (names.size() > static_cast<std::size_t>(kMaxKeys))
        std::abort();  // a record type that RecordFields cannot hold: fails at load
    const std::vector<const char*> byField(names);
    // A parsed object orders its keys as QString compares them: for ASCII
    // names, byte order.
    std::iota(fields_.begin(), fields_.end(), 0);
    std::sort(fields_.begin(), fields_.end(),
              [&byField](int a, int b) {
                  return std::strcmp(byField[static_cast<std::size_t>(a)], byField[static_cast<std::size_t>(b)]) < 0;
              });
    for (const int field : fields_)
        keys_.emplace_back(QLatin1String(byField[static_cast<std::size_t>(field)]));
}

int FieldKeys::Find(const QCborValue& key, int from) const {
    for (int i = from; i < size(); ++i) {
        if (keys_[static_cast<std::size_t>(i)] == key)
            return i;
    }
    return -1;
}

RecordFields::RecordFields(const QJsonObject& object, const FieldKeys& keys) : object_(object) {
    std::fill(positions_, positions_ + keys.size(), -1);
    // The map shares the object's storage; its keys are read without being
    // turned into strings.
    const QCborMap map = QCborMap::fromJsonObject(object);
    int next = 0;
    int position = 0;
    for (QCborMap::ConstIterator it = map.constBegin(); it != map.constEnd(); ++it, ++position) {
        const int found = keys.Find(it.key(), next);
        if (found < 0)
            continue;
        positions_[keys.fields_[static_cast<std::size_t>(found)]] = position;
        next = found + 1;
        if (next == keys.size())
            break;
    }
}

QJsonValue RecordFields::operator[](int field) const {
    const int position = positions_[field];
    return position < 0 ? QJsonValue(QJsonValue::Undefined) : (object_.constBegin() + position).value();
}

}  // namespace internal
}  // namespace news_center
