#pragma once

// Reading a record's fields in one walk over its object's keys. Searching a
// QJsonObject for each field by name costs a binary search of string compares
// per field. A QJsonObject keeps its keys sorted and each key once (the last
// of a duplicate wins), so walking them beside the record's own keys, sorted
// the same way, finds every field with about one compare each.

#include <initializer_list>
#include <vector>

#include <QCborValue>
#include <QJsonObject>
#include <QJsonValue>

namespace news_center {
namespace internal {

// The keys one record type reads, ASCII names given in the order of that
// type's field enum. Built once per type (a namespace-scope constant);
// read-only afterwards, so any number of threads may use it.
class FieldKeys {
public:
    static constexpr int kMaxKeys = 24;

    // At most kMaxKeys names.
    FieldKeys(std::initializer_list<const char*> names);

    int size() const { return static_cast<int>(keys_.size()); }

private:
    friend class RecordFields;

    // The position in keys_ of `key`, searched from `from` on; -1 when not
    // there.
    int Find(const QCborValue& key, int from) const;

    std::vector<QCborValue> keys_;  // sorted as a parsed object sorts its keys
    std::vector<int> fields_;       // the field enum value of each of keys_
};

// One object's values of a FieldKeys. `fields[k]` is exactly what
// `object.value(name of k)` gives, undefined when the key is absent. Holds a
// reference to `object`, which must outlive it.
class RecordFields {
public:
    RecordFields(const QJsonObject& object, const FieldKeys& keys);

    QJsonValue operator[](int field) const;

private:
    const QJsonObject& object_;
    int positions_[FieldKeys::kMaxKeys];  // index in object_, -1 when absent
};

}  // namespace internal
}  // namespace news_center
