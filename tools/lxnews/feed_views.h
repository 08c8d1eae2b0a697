#pragma once

// What a client holds once it has folded in everything a publisher delivered:
// the telegraph and depth change sets, older pages, a column's pages and
// incremental updates. Each view applies a change set in the order its
// publisher applies it to its own cache, so a correct publisher and its view
// agree. Not thread-safe: the owner serialises calls.

#include <list>
#include <vector>

#include "news_center/news_center.h"

namespace lxnews {

class TelegraphView {
public:
    // Additions (newest first, an id at most once), then edits in place, then removals.
    void Apply(const TelegraphUpdate& update);
    void AddOlder(const std::list<TelegraphInfo>& page);

    const std::list<TelegraphInfo>& items() const { return items_; }
    std::vector<int> ids() const;
    // The lowest sort score ever received; all bits set before anything came.
    unsigned long long floor() const { return floor_; }

private:
    void Insert(const TelegraphInfo& item);

    std::list<TelegraphInfo> items_;
    unsigned long long floor_ = ~0ULL;
};

class DepthView {
public:
    // Removals, then additions (pinned ones to the top list), then edits in place.
    void Apply(const DepthUpdate& update);
    void AddOlder(const std::list<DepthArticle>& page);

    const std::list<DepthArticle>& top() const { return top_; }
    const std::list<DepthArticle>& normal() const { return normal_; }
    const std::list<DepthBanner>& banners() const { return banners_; }
    std::vector<int> topIds() const;
    std::vector<int> normalIds() const;
    unsigned long long floor() const { return floor_; }

private:
    void Insert(const DepthArticle& article);

    std::list<DepthArticle> top_;
    std::list<DepthArticle> normal_;
    std::list<DepthBanner> banners_;
    unsigned long long floor_ = ~0ULL;
};

class ColumnView {
public:
    void AddPage(const std::list<ExclusiveArticle>& page);
    // Additions, edits in place, then removals.
    void Apply(const ExclusiveUpdate& update);

    const std::list<ExclusiveArticle>& items() const { return items_; }
    std::vector<int> ids() const;
    unsigned long long floor() const { return floor_; }

private:
    void Insert(const ExclusiveArticle& article);

    std::list<ExclusiveArticle> items_;
    unsigned long long floor_ = ~0ULL;
};

}  // namespace lxnews
