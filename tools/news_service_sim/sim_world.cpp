#include "tools/news_service_sim/sim_world.h"

#include <algorithm>

#include "tools/news_service_sim/sim_text.h"

namespace news_sim {

namespace {

constexpr int kHistoryTicks = 240;
constexpr int kFirstTelegraphId = 880001;
constexpr int kFirstArticleId = 510001;
// Editors leave a new item alone for a while: an edit that reached a client
// before the item itself would be dropped by the client's merge rules.
constexpr int kMinTicksBeforeEdit = 3;
constexpr std::size_t kTelegraphWindow = 30;  // operations touch the newest items only
constexpr std::size_t kArticleWindow = 20;
constexpr std::size_t kMaxPinned = 3;

const char* const kTelegraphCycle[] = {"modify", "hidden", "modify", "show", "del"};
const char* const kDepthCycle[] = {"modify", "hidden", "show", "pin", "del"};
const char* const kExclusiveCycle[] = {"modify", "hidden", "show", "del"};

// "hidden", "show" and "del" work alike on telegraphs and articles.
template <class Item>
bool StatusOperationApplies(const std::string& kind, const Item& item) {
    return ((kind == "hidden" || kind == "del") && item.status == SimWorld::kVisible) ||
           (kind == "show" && item.status == SimWorld::kHidden);
}

template <class Item>
void ApplyStatusOperation(const std::string& kind, Item& item) {
    if (kind == "hidden") {
        item.status = SimWorld::kHidden;
        item.everHidden = true;
    } else if (kind == "show") {
        item.status = SimWorld::kVisible;
    } else {
        item.status = SimWorld::kDeleted;
    }
}

}  // namespace

SimWorld::SimWorld(std::uint64_t seed, long long startTime)
    : seed_(seed), random_(HashOf(seed, 0x5eed)), nextTelegraphId_(kFirstTelegraphId), nextArticleId_(kFirstArticleId) {
    columns_ = {{7, "深度调研", "#C8102E"}, {12, "产业链观察", "#1F6FB2"}, {31, "Macro 札记", "#2E8B57"}};
    for (int i = 0; i < 3; ++i) {
        banners_.push_back(Banner{Headline(random_), "https://img.sim.example/banner/" + std::to_string(i) + ".png",
                                  "https://sim.example/topic/" + std::to_string(i)});
    }

    // A busy history: a minute per tick, and new items more often than later.
    const TickRates history = {60, 0.9, 0.3, 0.3, 0.15, 0.6, 0.2, 0.02};
    now_ = startTime - static_cast<long long>(kHistoryTicks) * history.seconds;
    clock_ = now_;
    for (int i = 0; i < kHistoryTicks; ++i) Tick(history);
    PinNewestDepthArticles();
    historyTicks_ = ticks_;
}

// The two newest depth articles end up pinned, so pinned articles are on the
// first page a client loads.
void SimWorld::PinNewestDepthArticles() {
    int pinned = 0;
    for (auto it = articles_.rbegin(); it != articles_.rend() && pinned < 2; ++it) {
        if (it->columnId != 0 || it->status != kVisible) continue;
        it->isTop = true;
        RecordArticle("modify", *it);
        ++pinned;
    }
}

void SimWorld::Advance(int ticks) {
    const TickRates live = {10, 0.7, 0.45, 0.15, 0.3, 0.25, 0.5, 0.04};
    for (int i = 0; i < ticks; ++i) Tick(live);
}

std::vector<int> SimWorld::columnIds() const {
    std::vector<int> ids;
    for (const Column& column : columns_) ids.push_back(column.id);
    return ids;
}

const SimWorld::Article& SimWorld::article(int id) const {
    return articles_[static_cast<std::size_t>(id - kFirstArticleId)];
}

void SimWorld::Tick(const TickRates& rates) {
    ++ticks_;
    clock_ = std::max(clock_, now_);
    now_ += rates.seconds;
    // The decisions are drawn in a fixed order: that order is the world.
    if (random_.Chance(rates.newTelegraph)) NewTelegraph();
    if (random_.Chance(rates.telegraphOperation)) TelegraphOperation();
    if (random_.Chance(rates.newDepth)) NewArticle(0);
    if (random_.Chance(rates.depthOperation)) ArticleOperation(true);
    if (random_.Chance(rates.newExclusive)) NewArticle(random_.Pick(columns_).id);
    if (random_.Chance(rates.exclusiveOperation)) ArticleOperation(false);
    if (random_.Chance(rates.bannerChange)) ChangeBanner();
}

long long SimWorld::NextEventTime() {
    ++clock_;
    if (clock_ > now_) now_ = clock_;
    return clock_;
}

void SimWorld::NewTelegraph() {
    Telegraph t;
    t.id = nextTelegraphId_++;
    t.author = Author(random_);
    t.content = FlashContent(random_);
    t.bold = random_.Chance(0.15) ? 1 : 0;
    t.recommend = random_.Chance(0.1) ? 1 : 0;
    t.collection = 0;
    t.ctime = NextEventTime();
    t.sortScore = static_cast<unsigned long long>(t.ctime) * 1000 + random_.Below(1000);
    t.createdTick = ticks_;
    t.lastOperationTime = t.ctime;
    telegraphs_.push_back(t);
    roll_.push_back(RollOperation{"add", t.ctime, t});
    if (isLive()) ++liveOperations_["telegraph"]["add"];
}

void SimWorld::TelegraphOperation() {
    const std::size_t first = telegraphs_.size() > kTelegraphWindow ? telegraphs_.size() - kTelegraphWindow : 0;
    const std::size_t kinds = sizeof kTelegraphCycle / sizeof kTelegraphCycle[0];
    for (std::size_t attempt = 0; attempt < kinds; ++attempt) {
        const std::string kind = kTelegraphCycle[(telegraphCycle_ + attempt) % kinds];
        std::vector<std::size_t> candidates;
        for (std::size_t i = first; i < telegraphs_.size(); ++i) {
            const Telegraph& t = telegraphs_[i];
            const bool editable =
                t.status == kVisible && !t.everHidden && ticks_ - t.createdTick >= kMinTicksBeforeEdit;
            if ((kind == "modify" && editable) || StatusOperationApplies(kind, t)) candidates.push_back(i);
        }
        if (candidates.empty()) continue;
        telegraphCycle_ += attempt + 1;
        Telegraph& t = telegraphs_[random_.Pick(candidates)];
        ApplyTelegraphOperation(kind, t);
        t.lastOperationTime = NextEventTime();
        roll_.push_back(RollOperation{kind, t.lastOperationTime, t});
        if (isLive()) ++liveOperations_["telegraph"][kind];
        return;
    }
    ++telegraphCycle_;
}

void SimWorld::ApplyTelegraphOperation(const std::string& kind, Telegraph& t) {
    if (kind == "modify") {
        t.content = "【更新】" + FlashContent(random_);
        t.bold = random_.Chance(0.3) ? 1 : 0;
    } else {
        ApplyStatusOperation(kind, t);
    }
}

void SimWorld::NewArticle(int columnId) {
    Article a;
    a.id = nextArticleId_++;
    a.columnId = columnId;
    a.type = columnId == 0 ? 2 : (random_.Chance(0.5) ? 2 : 3);
    a.title = Headline(random_) + (columnId == 0 ? "：深度解读" : "｜独家");
    a.shortTitle = Headline(random_);
    a.author = Author(random_);
    a.brief = Brief(random_);
    a.recommend = random_.Chance(0.2);
    a.ctime = NextEventTime();
    a.sortScore = static_cast<unsigned long long>(a.ctime) * 1000 + random_.Below(1000);
    a.createdTick = ticks_;
    for (auto it = articles_.rbegin(); it != articles_.rend() && a.related.size() < 2; ++it) {
        if (it->columnId == columnId && random_.Chance(0.5)) a.related.push_back(it->id);
    }
    articles_.push_back(a);
}

void SimWorld::ArticleOperation(bool depth) {
    int columnId = 0;
    const char* const* cycle = kDepthCycle;
    std::size_t kinds = sizeof kDepthCycle / sizeof kDepthCycle[0];
    std::size_t* position = &depthCycle_;
    if (!depth) {
        // Columns take turns and each runs through the kinds of operation on its own.
        columnId = columns_[columnTurn_++ % columns_.size()].id;
        cycle = kExclusiveCycle;
        kinds = sizeof kExclusiveCycle / sizeof kExclusiveCycle[0];
        position = &columnCycles_[columnId];
    }
    const ArticleScope scope = ScopeOf(columnId);
    for (std::size_t attempt = 0; attempt < kinds; ++attempt) {
        const std::string kind = cycle[(*position + attempt) % kinds];
        const std::vector<std::size_t> candidates = ArticleCandidates(kind, scope);
        if (candidates.empty()) continue;
        *position += attempt + 1;
        Article& a = articles_[random_.Pick(candidates)];
        RecordArticle(ApplyArticleOperation(kind, a), a);
        return;
    }
    ++*position;
}

SimWorld::ArticleScope SimWorld::ScopeOf(int columnId) const {
    ArticleScope scope;
    for (std::size_t i = articles_.size(); i-- > 0 && scope.window.size() < kArticleWindow;) {
        if (articles_[i].columnId != columnId) continue;
        scope.window.push_back(i);
        if (articles_[i].status == kVisible && !articles_[i].isTop && scope.firstPage.size() < kDepthPage)
            scope.firstPage.push_back(i);
    }
    scope.oldestPinned = articles_.size();
    for (std::size_t i = 0; i < articles_.size(); ++i) {
        if (articles_[i].columnId == 0 && articles_[i].isTop && articles_[i].status != kDeleted) {
            ++scope.pinned;
            if (scope.oldestPinned == articles_.size()) scope.oldestPinned = i;
        }
    }
    return scope;
}

std::vector<std::size_t> SimWorld::ArticleCandidates(const std::string& kind, const ArticleScope& scope) const {
    std::vector<std::size_t> candidates;
    if (kind == "pin" && !isLive()) {
        // Pinned articles stay among the newest until clients exist, so the
        // first page a client loads holds them all.
    } else if (kind == "pin" && scope.pinned >= kMaxPinned) {
        const Article& oldest = articles_[scope.oldestPinned];
        if (oldest.status == kVisible && !oldest.everHidden) candidates.push_back(scope.oldestPinned);
    } else {
        // Only articles of the first page get pinned: older pages leave pinned
        // articles out, so a client could never load an older one.
        for (std::size_t i : kind == "pin" ? scope.firstPage : scope.window) {
            const Article& a = articles_[i];
            const bool editable =
                a.status == kVisible && !a.everHidden && ticks_ - a.createdTick >= kMinTicksBeforeEdit;
            if (((kind == "modify" || kind == "pin") && editable) || StatusOperationApplies(kind, a))
                candidates.push_back(i);
        }
    }
    return candidates;
}

std::string SimWorld::ApplyArticleOperation(const std::string& kind, Article& a) {
    if (kind == "modify") {
        ++a.edits;
        a.title = Headline(random_) + "（修订" + std::to_string(a.edits) + "）";
        a.brief = Brief(random_);
    } else if (kind == "pin") {
        a.isTop = !a.isTop;  // pins a new one, or unpins the oldest when there are enough
        return "modify";
    } else {
        ApplyStatusOperation(kind, a);
    }
    return kind;
}

void SimWorld::RecordArticle(const std::string& operation, const Article& article) {
    inform_.push_back(InformOperation{operation, NextEventTime(), article});
    if (!isLive()) return;
    ++liveOperations_[article.columnId == 0 ? "depth" : "exclusive"][operation];
    if (article.columnId != 0) ++liveOperations_["column:" + std::to_string(article.columnId)][operation];
}

void SimWorld::ChangeBanner() {
    Banner& banner = banners_[static_cast<std::size_t>(random_.Below(banners_.size()))];
    banner.title = Headline(random_);
    banner.jump = "https://sim.example/topic/" + std::to_string(banners_.size() + ++bannerChanges_);
}

void SimWorld::CountsOf(long long id, int& reading, int& comment) const {
    const std::uint64_t h = HashOf(seed_, static_cast<std::uint64_t>(id), 0xc0c0);
    reading = 20 + static_cast<int>(h % 480) + tick() * (1 + static_cast<int>((h >> 12) % 7));
    comment = reading / 25 + static_cast<int>((h >> 24) % 5);
}

std::vector<const SimWorld::Telegraph*> SimWorld::VisibleTelegraphs(unsigned long long below) const {
    std::vector<const Telegraph*> list;
    for (const Telegraph& t : telegraphs_) {
        if (t.status == kVisible && t.sortScore < below) list.push_back(&t);
    }
    std::sort(list.begin(), list.end(),
              [](const Telegraph* a, const Telegraph* b) { return a->sortScore > b->sortScore; });
    return list;
}

std::vector<const SimWorld::Article*> SimWorld::VisibleArticles(int columnId, unsigned long long below) const {
    std::vector<const Article*> list;
    for (const Article& a : articles_) {
        if (a.columnId == columnId && a.status == kVisible && a.sortScore < below) list.push_back(&a);
    }
    std::sort(list.begin(), list.end(), [](const Article* a, const Article* b) { return a->sortScore > b->sortScore; });
    return list;
}

}  // namespace news_sim
