#pragma once

// Article and telegraph lists: newest sort_score first, one record per id.
// Every list the library keeps goes through these. Change sets and per-column
// pages are plain lists searched linearly; the caches that grow without limit
// (telegraphs, depth articles) are IndexedLists, which follow the same rules
// with an index by id beside the list.

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

namespace news_center {
namespace internal {

template <class Record>
typename std::list<Record>::iterator FindById(std::list<Record>& records, int id) {
    auto it = records.begin();
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
    auto it = FindById(records, id);
    if (it == records.end())
        return false;
    records.erase(it);
    return true;
}

// Where a record with `score` goes among the ordered records from `from` on:
// before the first one with a smaller sort_score, so that among equal scores
// the newcomer goes last; with `beforeEqual`, before the first one not higher.
// Every sorted insert of the library finds its place here.
template <class Iterator>
Iterator SortPosition(Iterator from, Iterator end, unsigned long long score, bool beforeEqual = false) {
    while (from != end && (beforeEqual ? from->sort_score > score : !(from->sort_score < score)))
        ++from;
    return from;
}

// Refuses an id the list already holds; otherwise inserts at SortPosition.
template <class Record, class Value>
bool InsertBySortScore(std::list<Record>& records, Value&& record) {
    if (ContainsId(records, record.id))
        return false;
    records.insert(SortPosition(records.begin(), records.end(), record.sort_score), std::forward<Value>(record));
    return true;
}

// A list with the rules above and an index by id: finding, refusing and
// removing an id cost the same whatever the length. The insert position is
// still the first record with a smaller sort_score; while the list is in order
// (the usual case) it is looked for from both ends at once, so records that
// belong near either end go in at once.
template <class Record>
class IndexedList {
public:
    typedef typename std::list<Record>::const_iterator const_iterator;

    const std::list<Record>& records() const { return records_; }
    const_iterator begin() const { return records_.begin(); }
    const_iterator end() const { return records_.end(); }
    bool empty() const { return records_.empty(); }
    std::size_t size() const { return records_.size(); }
    const Record& front() const { return records_.front(); }
    const Record& back() const { return records_.back(); }

    const_iterator find(int id) const {
        const auto found = index_.find(id);
        return found == index_.end() ? records_.end() : const_iterator(found->second);
    }
    bool contains(int id) const { return index_.count(id) != 0; }

    template <class Value>
    bool Insert(Value&& record) {
        if (contains(record.id))
            return false;
        const Iterator position = PositionFor(record.sort_score);
        const Iterator before = position == records_.begin() ? records_.end() : std::prev(position);
        if (before != records_.end() && position != records_.end())
            inversions_ -= Inverted(*before, *position);
        const Iterator inserted = records_.insert(position, std::forward<Value>(record));
        index_.emplace(inserted->id, inserted);
        CountNeighbours(inserted, +1);
        return true;
    }

    void Erase(const_iterator at) {
        const Iterator it = Mutable(at);
        CountNeighbours(it, -1);
        const Iterator before = it == records_.begin() ? records_.end() : std::prev(it);
        const Iterator after = std::next(it);
        if (before != records_.end() && after != records_.end())
            inversions_ += Inverted(*before, *after);
        index_.erase(it->id);
        records_.erase(it);
    }

    bool Remove(int id) {
        const const_iterator found = find(id);
        if (found == records_.end())
            return false;
        Erase(found);
        return true;
    }

    // In place; the record keeps its position and its id.
    template <class Value>
    void Overwrite(const_iterator at, Value&& record) {
        const Iterator it = Mutable(at);
        CountNeighbours(it, -1);
        *it = std::forward<Value>(record);
        CountNeighbours(it, +1);
    }

private:
    typedef typename std::list<Record>::iterator Iterator;
    typedef std::unordered_map<int, Iterator> Index;

    static std::size_t Inverted(const Record& first, const Record& second) {
        return first.sort_score < second.sort_score ? 1 : 0;
    }

    Iterator Mutable(const_iterator at) { return records_.erase(at, at); }

    // Adds (+1) or takes away (-1) the out-of-order pairs `it` forms with its neighbours.
    void CountNeighbours(Iterator it, int sign) {
        std::size_t pairs = 0;
        if (it != records_.begin())
            pairs += Inverted(*std::prev(it), *it);
        const Iterator after = std::next(it);
        if (after != records_.end())
            pairs += Inverted(*it, *after);
        if (sign > 0)
            inversions_ += pairs;
        else
            inversions_ -= pairs;
    }

    // Before the first record whose sort_score is smaller than `score`.
    Iterator PositionFor(unsigned long long score) {
        if (inversions_ != 0)
            return SortPosition(records_.begin(), records_.end(), score);
        // In order, the records not smaller than `score` form a prefix: walk
        // towards its end from the front and from the back, whichever is nearer.
        Iterator forward = records_.begin();
        Iterator backward = records_.end();
        while (forward != backward) {
            if (forward->sort_score < score)
                return forward;
            ++forward;
            if (forward == backward)
                break;
            const Iterator previous = std::prev(backward);
            if (!(previous->sort_score < score))
                return backward;
            backward = previous;
        }
        return forward;
    }

    std::list<Record> records_;
    Index index_;
    std::size_t inversions_ = 0;  // adjacent pairs whose second score is higher: 0 means in order
};

template <class Record>
typename IndexedList<Record>::const_iterator FindById(IndexedList<Record>& records, int id) {
    return records.find(id);
}

template <class Record>
bool ContainsId(const IndexedList<Record>& records, int id) {
    return records.contains(id);
}

template <class Record>
bool RemoveById(IndexedList<Record>& records, int id) {
    return records.Remove(id);
}

template <class Record, class Value>
bool InsertBySortScore(IndexedList<Record>& records, Value&& record) {
    return records.Insert(std::forward<Value>(record));
}

}  // namespace internal
}  // namespace news_center
