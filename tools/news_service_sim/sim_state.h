#pragma once

// The simulated newsroom: telegraphs, depth articles, exclusive columns and the
// operations editors make on them, advancing one tick at a time. Everything is
// decided by the seed and the start time, so a world replays exactly.
//
// Time stamps are seconds, sort scores milliseconds. Every event (a new item or
// an operation) takes a second of its own, so an operation cursor in seconds
// never splits two events.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

#include "tools/news_service_sim/sim_random.h"

namespace news_sim {

// The ground truth: what a perfect client holds now. Visible means status 1
// (neither hidden nor deleted). A client holds every visible item whose sort
// score is at or above its floor, the lowest sort score it has ever received:
// items below the floor were never loaded and operations on them are ignored.
// Lists run newest first (sort scores are unique and never change), each item
// as its "id" and the "text" an edit changes (a telegraph's content, an
// article's title); depth articles are split into pinned ("top") and the rest
// ("normal"). A floor of 0 asks for everything visible.
//
// The world keeps to what the library's merge rules can follow: an item is
// edited only a few ticks after it appeared and never after it was hidden, and
// only articles of the first depth page get pinned. Some cases stay out of
// reach, most of them after failed refreshes let operations pile up:
// - a telegraph hidden and shown again on two pages of one refresh (a backlog
//   of more than 100 operations) is lost by the client;
// - an edit folded into another operation of the same answer leaves the older
//   text: a telegraph's "add" and a later "modify" in one incremental roll
//   answer (the client keeps the add), or an article's "modify" and a later
//   "show" in one inform/modify answer (the client keeps the article it holds);
// - a depth article that a refresh answer shows for the first time after it was
//   edited or pinned is dropped by the client (the edit comes with it and the
//   client takes the article for an edited old one).
// The truth lists the last two as "folded_edits" and, under "depth",
// "edited_before_loaded"; both assume a single client.
struct TruthQuery {
    unsigned long long telegraphFloor = 0;
    unsigned long long depthFloor = 0;
    int columnId = 0;  // 0: the first column
    unsigned long long columnFloor = 0;
};

class SimState {
public:
    // Operations after this many, oldest first, per incremental answer; a client
    // that pages on "100 or more" then drains any backlog.
    static constexpr int kIncrementalPage = 100;

    SimState(std::uint64_t seed, long long startTime);

    // Each tick moves the world clock 10 s on and may add items and operations.
    void Advance(int ticks = 1);
    long long now() const;
    int tick() const;  // ticks since the start (history excluded)
    std::vector<int> columnIds() const;

    // The "data" of each endpoint.
    QJsonObject RollPage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const;
    QJsonObject DepthPage(unsigned long long lastTime, unsigned int refreshType, bool lastIsStickies) const;
    QJsonArray InformModifyPage(unsigned long long lastTime) const;
    QJsonObject ColumnList() const;
    QJsonObject ColumnArticlePage(int columnId, unsigned long long lastTime, unsigned int refreshType,
                                  unsigned int rn) const;
    QJsonObject EssencePage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const;
    QJsonObject Counters(const std::string& ids) const;
    QJsonObject GroundTruth(const TruthQuery& query) const;
    // An incremental roll answer ("data" of RollPage) a client has received intact.
    void NoteDeliveredRoll(const QJsonObject& data);
    // A depth refresh answer ("data" of DepthPage) a client has received intact.
    void NoteDeliveredDepth(const QJsonObject& data);
    // An inform/modify answer ("data" of InformModifyPage) a client has received intact.
    void NoteDeliveredInform(const QJsonArray& data);

private:
    enum Status { kDeleted = -1, kHidden = 0, kVisible = 1 };

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
    // World seconds per tick, then the chance of each event in one tick.
    struct TickRates {
        int seconds;
        double newTelegraph, telegraphOperation, newDepth, depthOperation, newExclusive, exclusiveOperation,
            bannerChange;
    };

    void TickLocked(const TickRates& rates);
    long long NextEventTime();
    void NewTelegraph();
    void TelegraphOperation();
    void NewArticle(int columnId);
    void ArticleOperation(bool depth);
    void ChangeBanner();
    void RecordArticle(const std::string& operation, const Article& article);
    bool isLive() const;
    // Ids whose `earlier` operation a `later` one follows in the same answer.
    void NoteFoldedEdits(const QJsonArray& answer, const QString& earlier, const QString& later);

    std::vector<const Telegraph*> VisibleTelegraphs(unsigned long long below) const;
    std::vector<const Article*> VisibleArticles(int columnId, unsigned long long below) const;
    QJsonObject TelegraphJson(const Telegraph& telegraph) const;
    QJsonObject RollElement(const std::string& operation, long long time, const Telegraph& telegraph) const;
    QJsonObject ArticleJson(const Article& article) const;
    QJsonArray BannersJson() const;
    void CountsOf(long long id, int& reading, int& comment) const;

    mutable std::mutex mutex_;
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

    std::vector<Telegraph> telegraphs_;  // in creation order
    std::vector<RollOperation> roll_;    // in time order
    std::vector<Article> articles_;      // in creation order
    std::vector<InformOperation> inform_;
    std::vector<Banner> banners_;
    std::vector<Column> columns_;
    std::set<int> foldedEdits_;  // see NoteDeliveredRoll and NoteDeliveredInform
    std::set<int> depthDelivered_, editedBeforeLoaded_;  // see NoteDeliveredDepth
    // Operations since the start, per stream ("telegraph", "depth", "column:<id>").
    std::map<std::string, std::map<std::string, int> > liveOperations_;
};

}  // namespace news_sim
