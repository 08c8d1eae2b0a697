#pragma once

// Article and telegraph lists: newest sort_score first, one record per id,
// searched linearly. Every list the library keeps goes through these.

#include <list>

namespace news_center {
namespace internal {

template <class Record>
typename std::list<Record>::iterator FindById(std::list<Record>& records, int id) {
    typename std::list<Record>::iterator it = records.begin();
    while (it != records.end() && it->id != id)
        ++it;
    return it;
}

template <class Record>
bool ContainsId(const std::list<Record>& records, int id) {
    for (const Record& record : records) {
        if (record.id == id)
            return true;
    }
    return false;
}

// Removes the first record with `id`; false when there is none.
template <class Record>
bool RemoveById(std::list<Record>& records, int id) {
    typename std::list<Record>::iterator it = FindById(records, id);
    if (it == records.end())
        return false;
    records.erase(it);
    return true;
}

// Refuses an id the list already holds; otherwise inserts before the first
// record with a smaller sort_score, so among equal scores the newcomer goes last.
template <class Record>
bool InsertBySortScore(std::list<Record>& records, const Record& record) {
    typename std::list<Record>::iterator position = records.end();
    for (typename std::list<Record>::iterator it = records.begin(); it != records.end(); ++it) {
        if (it->id == record.id)
            return false;
        if (position == records.end() && it->sort_score < record.sort_score)
            position = it;
    }
    records.insert(position, record);
    return true;
}

}  // namespace internal
}  // namespace news_center
