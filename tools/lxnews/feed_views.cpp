#include "tools/lxnews/feed_views.h"

#include <algorithm>

namespace lxnews {

namespace {

// Newest first; among equal scores the newcomer goes last; an id at most once.
template <class T>
bool InsertNewestFirst(std::list<T>& list, const T& item) {
    for (const T& held : list) {
        if (held.id == item.id) return false;
    }
    auto at = std::find_if(list.begin(), list.end(), [&](const T& held) { return held.sort_score < item.sort_score; });
    list.insert(at, item);
    return true;
}

template <class T>
bool ReplaceInPlace(std::list<T>& list, const T& item) {
    for (T& held : list) {
        if (held.id == item.id) {
            held = item;
            return true;
        }
    }
    return false;
}

template <class T>
bool EraseId(std::list<T>& list, int id) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == id) {
            list.erase(it);
            return true;
        }
    }
    return false;
}

template <class T>
std::vector<int> IdsOf(const std::list<T>& list) {
    std::vector<int> ids;
    for (const T& item : list) ids.push_back(item.id);
    return ids;
}

}  // namespace

void TelegraphView::Insert(const TelegraphInfo& item) {
    InsertNewestFirst(items_, item);
    floor_ = std::min(floor_, item.sort_score);
}

void TelegraphView::Apply(const TelegraphUpdate& update) {
    for (const TelegraphInfo& item : update.added) Insert(item);
    for (const TelegraphInfo& item : update.modified) ReplaceInPlace(items_, item);
    for (int id : update.removedIds) EraseId(items_, id);
}

void TelegraphView::AddOlder(const std::list<TelegraphInfo>& page) {
    for (const TelegraphInfo& item : page) Insert(item);
}

std::vector<int> TelegraphView::ids() const { return IdsOf(items_); }

void DepthView::Insert(const DepthArticle& article) {
    InsertNewestFirst(article.is_top ? top_ : normal_, article);
    floor_ = std::min(floor_, article.sort_score);
}

void DepthView::Apply(const DepthUpdate& update) {
    if (!update.banners.empty()) banners_ = update.banners;  // empty means unchanged
    for (int id : update.removed) {
        if (!EraseId(top_, id)) EraseId(normal_, id);
    }
    for (const DepthArticle& article : update.added) Insert(article);
    for (const DepthArticle& article : update.modified) {
        if (!ReplaceInPlace(top_, article)) ReplaceInPlace(normal_, article);
    }
}

void DepthView::AddOlder(const std::list<DepthArticle>& page) {
    for (const DepthArticle& article : page) Insert(article);
}

std::vector<int> DepthView::topIds() const { return IdsOf(top_); }
std::vector<int> DepthView::normalIds() const { return IdsOf(normal_); }

void ColumnView::Insert(const ExclusiveArticle& article) {
    InsertNewestFirst(items_, article);
    floor_ = std::min(floor_, article.sort_score);
}

void ColumnView::AddPage(const std::list<ExclusiveArticle>& page) {
    for (const ExclusiveArticle& article : page) Insert(article);
}

void ColumnView::Apply(const ExclusiveUpdate& update) {
    for (const ExclusiveArticle& article : update.added) Insert(article);
    for (const ExclusiveArticle& article : update.modified) ReplaceInPlace(items_, article);
    for (int id : update.removed) EraseId(items_, id);
}

std::vector<int> ColumnView::ids() const { return IdsOf(items_); }

}  // namespace lxnews
