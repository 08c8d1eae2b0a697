#pragma once

// The simulated newsroom: telegraphs, depth articles, exclusive columns and the
// operations editors make on them, advancing one tick at a time. Everything is
// decided by the seed and the start time, so a world replays exactly.
//
// Time stamps are seconds, sort scores milliseconds. Every event (a new item or
// an operation) takes a second of its own, so an operation cursor in seconds
// never splits two events.
//
// The world keeps to what the library's merge rules can follow: an item is
// edited only a few ticks after it appeared and never after it was hidden, and
// only articles of the first depth page get pinned.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/news_service_sim/sim_random.h"

namespace news_sim {

// Not thread-safe; SimState guards it.
class SimWorld {
public:
    enum Status { kDeleted = -1, kHidden = 0, kVisible = 1 };
    // Normal articles on a page of "/pc/information/get_depth".
    static constexpr std::size_t kDepthPage = 10;

    struct Telegraph {
        int id = 0;
        std::string author;
        std::string content;
        int bold = 0;
        int recommend = 0;
        int collection = 0;
        long long ctime = 0;
        unsigned long long sortScore = 0;
        int status = kVisible;
        bool everHidden = false;
        int createdTick = 0;
        long long lastOperationTime = 0;
    };
    struct RollOperation {
        std::string operation;
        long long time = 0;
        Telegraph snapshot;
    };

    // Depth articles have column 0; exclusive ones their column.
    struct Article {
        int id = 0;
        int type = 2;
        int columnId = 0;
        std::string title;
        std::string shortTitle;
        std::string author;
        std::string brief;
        long long ctime = 0;
        unsigned long long sortScore = 0;
        int status = kVisible;
        bool isTop = false;
        bool recommend = false;
        bool everHidden = false;
        int createdTick = 0;
        int edits = 0;
        std::vector<int> related;
    };
    struct InformOperation {
        std::string operation;
        long long time = 0;
        Article snapshot;
    };

    struct Banner {
        std::string title;
        std::string img;
        std::string jump;
    };
    struct Column {
        int id = 0;
        std::string title;
        std::string color;
    };

    // Starts with a few hours of history, which clients find on their first load.
    SimWorld(std::uint64_t seed, long long startTime);

    // Each tick moves the world clock 10 s on and may add items and operations.
    void Advance(int ticks);
    long long now() const { return now_; }
    int tick() const { return ticks_ - historyTicks_; }  // ticks since the start (history excluded)
    std::uint64_t seed() const { return seed_; }
    std::vector<int> columnIds() const;

    const std::vector<Telegraph>& telegraphs() const { return telegraphs_; }    // in creation order
    const std::vector<RollOperation>& rollOperations() const { return roll_; }  // in time order
    const std::vector<Article>& articles() const { return articles_; }          // in creation order
    const Article& article(int id) const;
    const std::vector<InformOperation>& informOperations() const { return inform_; }  // in time order
    const std::vector<Banner>& banners() const { return banners_; }
    const std::vector<Column>& columns() const { return columns_; }
    // Operations since the start, per stream ("telegraph", "depth", "exclusive",
    // "column:<id>") and kind.
    const std::map<std::string, std::map<std::string, int> >& liveOperations() const { return liveOperations_; }

    // Newest first, below a sort score.
    std::vector<const Telegraph*> VisibleTelegraphs(unsigned long long below) const;
    std::vector<const Article*> VisibleArticles(int columnId, unsigned long long below) const;
    // Counters grow with the ticks since the start.
    void CountsOf(long long id, int& reading, int& comment) const;

private:
    // World seconds per tick, then the chance of each event in one tick.
    struct TickRates {
        int seconds;
        double newTelegraph, telegraphOperation, newDepth, depthOperation, newExclusive, exclusiveOperation,
            bannerChange;
    };
    // The newest articles of a stream and the pinned depth articles, which an operation picks from.
    struct ArticleScope {
        std::vector<std::size_t> window, firstPage;
        std::size_t pinned = 0;
        std::size_t oldestPinned = 0;
    };

    void PinNewestDepthArticles();
    void Tick(const TickRates& rates);
    long long NextEventTime();
    void NewTelegraph();
    void TelegraphOperation();
    void ApplyTelegraphOperation(const std::string& kind, Telegraph& telegraph);
    void NewArticle(int columnId);
    void ArticleOperation(bool depth);
    ArticleScope ScopeOf(int columnId) const;
    std::vector<std::size_t> ArticleCandidates(const std::string& kind, const ArticleScope& scope) const;
    // Returns the operation the service reports.
    std::string ApplyArticleOperation(const std::string& kind, Article& article);
    void RecordArticle(const std::string& operation, const Article& article);
    void ChangeBanner();
    bool isLive() const { return historyTicks_ > 0; }

    const std::uint64_t seed_;
    SimRandom random_;
    long long now_ = 0;
    long long clock_ = 0;  // the last second taken by an event
    int ticks_ = 0;
    int historyTicks_ = 0;
    int nextTelegraphId_;
    int nextArticleId_;
    std::size_t telegraphCycle_ = 0;
    std::size_t depthCycle_ = 0;
    std::size_t columnTurn_ = 0;
    std::map<int, std::size_t> columnCycles_;
    int bannerChanges_ = 0;

    std::vector<Telegraph> telegraphs_;
    std::vector<RollOperation> roll_;
    std::vector<Article> articles_;
    std::vector<InformOperation> inform_;
    std::vector<Banner> banners_;
    std::vector<Column> columns_;
    std::map<std::string, std::map<std::string, int> > liveOperations_;
};

}  // namespace news_sim
