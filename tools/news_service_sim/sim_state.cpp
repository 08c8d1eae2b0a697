#include "tools/news_service_sim/sim_state.h"

#include <algorithm>
#include <cstdlib>

#include <QString>

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
constexpr std::size_t kDepthPage = 10;  // normal articles on a page of "/pc/information/get_depth"
constexpr unsigned long long kSecondsLimit = 100000000000ULL;  // below: seconds, above: milliseconds

const char* const kTelegraphCycle[] = {"modify", "hidden", "modify", "show", "del"};
const char* const kDepthCycle[] = {"modify", "hidden", "show", "pin", "del"};
const char* const kExclusiveCycle[] = {"modify", "hidden", "show", "del"};

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())); }
QJsonValue Number(long long value) { return QJsonValue(static_cast<qint64>(value)); }
QJsonValue Number(unsigned long long value) { return QJsonValue(static_cast<double>(value)); }

unsigned int PageSize(unsigned int rn, unsigned int fallback, unsigned int most) {
    if (rn == 0) return fallback;
    return rn > most ? most : rn;
}

// Older-page cursors come as a sort score or as a time stamp in seconds.
unsigned long long CursorAsSortScore(unsigned long long cursor) {
    return cursor < kSecondsLimit ? cursor * 1000 : cursor;
}

unsigned long long CursorAsSeconds(unsigned long long cursor) {
    return cursor < kSecondsLimit ? cursor : cursor / 1000;
}

QJsonArray IdArray(const std::vector<int>& ids) {
    QJsonArray array;
    for (int id : ids) array.append(id);
    return array;
}

QJsonObject CountsJson(const std::map<std::string, int>& counts) {
    QJsonObject object;
    for (const auto& entry : counts) object.insert(Text(entry.first), entry.second);
    return object;
}

}  // namespace

SimState::SimState(std::uint64_t seed, long long startTime)
    : seed_(seed), random_(HashOf(seed, 0x5eed)), nextTelegraphId_(kFirstTelegraphId), nextArticleId_(kFirstArticleId) {
    columns_ = {{7, "深度调研", "#C8102E"}, {12, "产业链观察", "#1F6FB2"}, {31, "Macro 札记", "#2E8B57"}};
    for (int i = 0; i < 3; ++i) {
        banners_.push_back(Banner{Headline(random_), "https://img.sim.example/banner/" + std::to_string(i) + ".png",
                                  "https://sim.example/topic/" + std::to_string(i)});
    }

    std::lock_guard<std::mutex> lock(mutex_);
    // A busy history: a minute per tick, and new items more often than later.
    const TickRates history = {60, 0.9, 0.3, 0.3, 0.15, 0.6, 0.2, 0.02};
    now_ = startTime - static_cast<long long>(kHistoryTicks) * history.seconds;
    clock_ = now_;
    for (int i = 0; i < kHistoryTicks; ++i) TickLocked(history);

    // The two newest depth articles end up pinned, so pinned articles are on the
    // first page a client loads.
    int pinned = 0;
    for (auto it = articles_.rbegin(); it != articles_.rend() && pinned < 2; ++it) {
        if (it->columnId != 0 || it->status != kVisible) continue;
        it->isTop = true;
        RecordArticle("modify", *it);
        ++pinned;
    }
    historyTicks_ = ticks_;
}

void SimState::Advance(int ticks) {
    const TickRates live = {10, 0.7, 0.45, 0.15, 0.3, 0.25, 0.5, 0.04};
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < ticks; ++i) TickLocked(live);
}

long long SimState::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

int SimState::tick() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ticks_ - historyTicks_;
}

std::vector<int> SimState::columnIds() const {
    std::vector<int> ids;
    for (const Column& column : columns_) ids.push_back(column.id);
    return ids;
}

bool SimState::isLive() const { return historyTicks_ > 0; }

void SimState::TickLocked(const TickRates& rates) {
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

long long SimState::NextEventTime() {
    ++clock_;
    if (clock_ > now_) now_ = clock_;
    return clock_;
}

void SimState::NewTelegraph() {
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

void SimState::TelegraphOperation() {
    const std::size_t first = telegraphs_.size() > kTelegraphWindow ? telegraphs_.size() - kTelegraphWindow : 0;
    const std::size_t kinds = sizeof kTelegraphCycle / sizeof kTelegraphCycle[0];
    for (std::size_t attempt = 0; attempt < kinds; ++attempt) {
        const std::string kind = kTelegraphCycle[(telegraphCycle_ + attempt) % kinds];
        std::vector<std::size_t> candidates;
        for (std::size_t i = first; i < telegraphs_.size(); ++i) {
            const Telegraph& t = telegraphs_[i];
            const bool visible = t.status == kVisible;
            if ((kind == "modify" && visible && !t.everHidden && ticks_ - t.createdTick >= kMinTicksBeforeEdit) ||
                ((kind == "hidden" || kind == "del") && visible) || (kind == "show" && t.status == kHidden))
                candidates.push_back(i);
        }
        if (candidates.empty()) continue;
        telegraphCycle_ += attempt + 1;
        Telegraph& t = telegraphs_[random_.Pick(candidates)];
        if (kind == "modify") {
            t.content = "【更新】" + FlashContent(random_);
            t.bold = random_.Chance(0.3) ? 1 : 0;
        } else if (kind == "hidden") {
            t.status = kHidden;
            t.everHidden = true;
        } else if (kind == "show") {
            t.status = kVisible;
        } else {
            t.status = kDeleted;
        }
        t.lastOperationTime = NextEventTime();
        roll_.push_back(RollOperation{kind, t.lastOperationTime, t});
        if (isLive()) ++liveOperations_["telegraph"][kind];
        return;
    }
    ++telegraphCycle_;
}

void SimState::NewArticle(int columnId) {
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

void SimState::ArticleOperation(bool depth) {
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
    std::vector<std::size_t> window, firstPage;
    for (std::size_t i = articles_.size(); i-- > 0 && window.size() < kArticleWindow;) {
        if (articles_[i].columnId != columnId) continue;
        window.push_back(i);
        if (articles_[i].status == kVisible && !articles_[i].isTop && firstPage.size() < kDepthPage)
            firstPage.push_back(i);
    }
    std::size_t pinned = 0;
    std::size_t oldestPinned = articles_.size();
    for (std::size_t i = 0; i < articles_.size(); ++i) {
        if (articles_[i].columnId == 0 && articles_[i].isTop && articles_[i].status != kDeleted) {
            ++pinned;
            if (oldestPinned == articles_.size()) oldestPinned = i;
        }
    }

    for (std::size_t attempt = 0; attempt < kinds; ++attempt) {
        const std::string kind = cycle[(*position + attempt) % kinds];
        std::vector<std::size_t> candidates;
        if (kind == "pin" && !isLive()) {
            // Pinned articles stay among the newest until clients exist, so the
            // first page a client loads holds them all.
        } else if (kind == "pin" && pinned >= kMaxPinned) {
            if (articles_[oldestPinned].status == kVisible && !articles_[oldestPinned].everHidden)
                candidates.push_back(oldestPinned);
        } else {
            // Only articles of the first page get pinned: older pages leave pinned
            // articles out, so a client could never load an older one.
            for (std::size_t i : kind == "pin" ? firstPage : window) {
                const Article& a = articles_[i];
                const bool visible = a.status == kVisible;
                const bool editable = visible && !a.everHidden && ticks_ - a.createdTick >= kMinTicksBeforeEdit;
                if ((kind == "modify" && editable) || (kind == "pin" && editable) ||
                    ((kind == "hidden" || kind == "del") && visible) || (kind == "show" && a.status == kHidden))
                    candidates.push_back(i);
            }
        }
        if (candidates.empty()) continue;
        *position += attempt + 1;
        Article& a = articles_[random_.Pick(candidates)];
        std::string operation = kind;
        if (kind == "modify") {
            ++a.edits;
            a.title = Headline(random_) + "（修订" + std::to_string(a.edits) + "）";
            a.brief = Brief(random_);
        } else if (kind == "pin") {
            a.isTop = !a.isTop;  // pins a new one, or unpins the oldest when there are enough
            operation = "modify";
        } else if (kind == "hidden") {
            a.status = kHidden;
            a.everHidden = true;
        } else if (kind == "show") {
            a.status = kVisible;
        } else {
            a.status = kDeleted;
        }
        RecordArticle(operation, a);
        return;
    }
    ++*position;
}

void SimState::RecordArticle(const std::string& operation, const Article& article) {
    inform_.push_back(InformOperation{operation, NextEventTime(), article});
    if (!isLive()) return;
    ++liveOperations_[article.columnId == 0 ? "depth" : "exclusive"][operation];
    if (article.columnId != 0) ++liveOperations_["column:" + std::to_string(article.columnId)][operation];
}

void SimState::ChangeBanner() {
    Banner& banner = banners_[static_cast<std::size_t>(random_.Below(banners_.size()))];
    banner.title = Headline(random_);
    banner.jump = "https://sim.example/topic/" + std::to_string(banners_.size() + ++bannerChanges_);
}

void SimState::CountsOf(long long id, int& reading, int& comment) const {
    const std::uint64_t h = HashOf(seed_, static_cast<std::uint64_t>(id), 0xc0c0);
    const int liveTicks = ticks_ - historyTicks_;
    reading = 20 + static_cast<int>(h % 480) + liveTicks * (1 + static_cast<int>((h >> 12) % 7));
    comment = reading / 25 + static_cast<int>((h >> 24) % 5);
}

std::vector<const SimState::Telegraph*> SimState::VisibleTelegraphs(unsigned long long below) const {
    std::vector<const Telegraph*> list;
    for (const Telegraph& t : telegraphs_) {
        if (t.status == kVisible && t.sortScore < below) list.push_back(&t);
    }
    std::sort(list.begin(), list.end(), [](const Telegraph* a, const Telegraph* b) { return a->sortScore > b->sortScore; });
    return list;
}

std::vector<const SimState::Article*> SimState::VisibleArticles(int columnId, unsigned long long below) const {
    std::vector<const Article*> list;
    for (const Article& a : articles_) {
        if (a.columnId == columnId && a.status == kVisible && a.sortScore < below) list.push_back(&a);
    }
    std::sort(list.begin(), list.end(), [](const Article* a, const Article* b) { return a->sortScore > b->sortScore; });
    return list;
}

QJsonObject SimState::TelegraphJson(const Telegraph& t) const {
    int reading = 0, comment = 0;
    CountsOf(t.id, reading, comment);
    QJsonObject info;
    info.insert(QStringLiteral("id"), t.id);
    info.insert(QStringLiteral("author"), Text(t.author));
    info.insert(QStringLiteral("content"), Text(t.content));
    info.insert(QStringLiteral("bold"), t.bold);
    info.insert(QStringLiteral("reading_num"), reading);
    info.insert(QStringLiteral("comment_num"), comment);
    info.insert(QStringLiteral("recommend"), t.recommend);
    info.insert(QStringLiteral("ctime"), Number(t.ctime));
    info.insert(QStringLiteral("sort_score"), Number(t.sortScore));
    info.insert(QStringLiteral("shareurl"), Text("https://sim.example/share/telegraph/" + std::to_string(t.id)));
    info.insert(QStringLiteral("showurl"), Text("https://sim.example/telegraph/" + std::to_string(t.id)));
    info.insert(QStringLiteral("status"), t.status);
    info.insert(QStringLiteral("collection"), t.collection);
    info.insert(QStringLiteral("level"), t.bold ? QStringLiteral("A") : QStringLiteral("C"));
    return info;
}

QJsonObject SimState::RollElement(const std::string& operation, long long time, const Telegraph& t) const {
    QJsonObject element;
    element.insert(QStringLiteral("id"), t.id);
    element.insert(QStringLiteral("type"), -1);
    element.insert(QStringLiteral("operation"), Text(operation));
    element.insert(QStringLiteral("operation_time"), Number(time));
    element.insert(QStringLiteral("info"), TelegraphJson(t));
    return element;
}

QJsonObject SimState::ArticleJson(const Article& a) const {
    int reading = 0, comment = 0;
    CountsOf(a.id, reading, comment);
    const std::string id = std::to_string(a.id);
    QJsonObject json;
    json.insert(QStringLiteral("id"), a.id);
    json.insert(QStringLiteral("type"), a.type);
    json.insert(QStringLiteral("column_id"), a.columnId);
    json.insert(QStringLiteral("title"), Text(a.title));
    json.insert(QStringLiteral("author"), Text(a.author));
    json.insert(QStringLiteral("brief"), Text(a.brief));
    json.insert(QStringLiteral("ctime"), Number(a.ctime));
    json.insert(QStringLiteral("sort_score"), Number(a.sortScore));
    json.insert(QStringLiteral("status"), a.status);
    json.insert(QStringLiteral("reading_num"), reading);
    json.insert(QStringLiteral("comment_num"), comment);
    if (a.columnId == 0) {
        json.insert(QStringLiteral("short_title"), Text(a.shortTitle));
        json.insert(QStringLiteral("img"), Text("https://img.sim.example/depth/" + id + ".jpg"));
        json.insert(QStringLiteral("jump"), Text("https://sim.example/depth/" + id));
        json.insert(QStringLiteral("recommend"), a.recommend ? 1 : 0);
        json.insert(QStringLiteral("is_top"), a.isTop);  // a JSON boolean; "recommend" is a number
        json.insert(QStringLiteral("shareurl"), Text("https://sim.example/share/depth/" + id));
        json.insert(QStringLiteral("showurl"), Text("https://sim.example/depth/" + id + "?show=1"));
        QJsonArray related;
        for (int other : a.related) {
            QJsonObject rec;
            rec.insert(QStringLiteral("article_id"), QString::number(other));  // a string on this endpoint
            rec.insert(QStringLiteral("name"), Text(articles_[static_cast<std::size_t>(other - kFirstArticleId)].title));
            rec.insert(QStringLiteral("showurl"), Text("https://sim.example/depth/" + std::to_string(other)));
            related.append(rec);
        }
        json.insert(QStringLiteral("article_rec"), related);
    } else {
        json.insert(QStringLiteral("showurl"), Text("https://sim.example/exclusive/" + id));
        json.insert(QStringLiteral("neican_img"), Text("https://img.sim.example/neican/" + id + ".png"));
    }
    return json;
}

QJsonArray SimState::BannersJson() const {
    QJsonArray banners;
    for (const Banner& b : banners_) {
        QJsonObject banner;
        banner.insert(QStringLiteral("title"), Text(b.title));
        banner.insert(QStringLiteral("img"), Text(b.img));
        banner.insert(QStringLiteral("jump"), Text(b.jump));
        banners.append(banner);
    }
    return banners;
}

QJsonObject SimState::RollPage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonArray list;
    if (refreshType == 1 && lastTime != 0) {
        // Older page: visible telegraphs below the cursor, newest first.
        const auto older = VisibleTelegraphs(CursorAsSortScore(lastTime));
        const std::size_t n = std::min<std::size_t>(older.size(), PageSize(rn, 10, 50));
        for (std::size_t i = 0; i < n; ++i) list.append(RollElement("add", older[i]->lastOperationTime, *older[i]));
    } else if (lastTime == 0) {
        // First load: the newest visible telegraphs; the first element carries
        // the newest operation time, where the next incremental answer starts.
        const auto newest = VisibleTelegraphs(~0ULL);
        const std::size_t n = std::min<std::size_t>(newest.size(), PageSize(rn, 15, 50));
        const long long newestOperation = roll_.empty() ? 0 : roll_.back().time;
        for (std::size_t i = 0; i < n; ++i)
            list.append(RollElement("add", i == 0 ? newestOperation : newest[i]->lastOperationTime, *newest[i]));
    } else {
        // Incremental: operations after the cursor, oldest first, so the last
        // element carries the newest operation time of the page.
        auto it = std::upper_bound(roll_.begin(), roll_.end(), static_cast<long long>(CursorAsSeconds(lastTime)),
                                   [](long long time, const RollOperation& op) { return time < op.time; });
        for (int n = 0; it != roll_.end() && n < kIncrementalPage; ++it, ++n)
            list.append(RollElement(it->operation, it->time, it->snapshot));
    }
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

void SimState::NoteDeliveredRoll(const QJsonObject& data) {
    NoteFoldedEdits(data.value(QStringLiteral("list")).toArray(), QStringLiteral("add"), QStringLiteral("modify"));
}

void SimState::NoteDeliveredInform(const QJsonArray& data) {
    NoteFoldedEdits(data, QStringLiteral("modify"), QStringLiteral("show"));
}

void SimState::NoteFoldedEdits(const QJsonArray& answer, const QString& earlier, const QString& later) {
    std::set<int> seen;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const QJsonValue& value : answer) {
        const QJsonObject element = value.toObject();
        const int id = element.value(QStringLiteral("id")).toInt();
        const QString operation = element.value(QStringLiteral("operation")).toString();
        if (operation == earlier)
            seen.insert(id);
        else if (operation == later && seen.count(id) != 0)
            foldedEdits_.insert(id);
    }
}

void SimState::NoteDeliveredDepth(const QJsonObject& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The first answer is a first load, which takes every article as it is.
    const bool firstLoad = depthDelivered_.empty();
    for (const QJsonValue& value : data.value(QStringLiteral("list")).toArray()) {
        const int id = value.toObject().value(QStringLiteral("id")).toInt();
        if (!depthDelivered_.insert(id).second || firstLoad) continue;
        // Pinning and unpinning are edits too.
        for (const InformOperation& op : inform_) {
            if (op.snapshot.id == id && op.operation == "modify") editedBeforeLoaded_.insert(id);
        }
    }
}

QJsonObject SimState::DepthPage(unsigned long long lastTime, unsigned int refreshType, bool lastIsStickies) const {
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonArray list;
    const bool older = refreshType == 1 && lastTime != 0;
    if (!older) {
        for (const Article* a : VisibleArticles(0, ~0ULL)) {
            if (a->isTop) list.append(ArticleJson(*a));
        }
    }
    // After the pinned articles (or an older page that follows them) the normal
    // list starts from its newest article.
    const unsigned long long below = older && !lastIsStickies ? CursorAsSortScore(lastTime) : ~0ULL;
    unsigned int n = 0;
    for (const Article* a : VisibleArticles(0, below)) {
        if (a->isTop) continue;
        if (n++ == kDepthPage) break;
        list.append(ArticleJson(*a));
    }
    QJsonObject data;
    data.insert(QStringLiteral("banner"), BannersJson());
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonArray SimState::InformModifyPage(unsigned long long lastTime) const {
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonArray page;
    auto it = std::upper_bound(inform_.begin(), inform_.end(), static_cast<long long>(CursorAsSeconds(lastTime)),
                               [](long long time, const InformOperation& op) { return time < op.time; });
    for (int n = 0; it != inform_.end() && n < kIncrementalPage; ++it, ++n) {
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), it->snapshot.id);
        entry.insert(QStringLiteral("type"), it->snapshot.type);
        entry.insert(QStringLiteral("operation"), Text(it->operation));
        entry.insert(QStringLiteral("operation_time"), Number(it->time));
        entry.insert(QStringLiteral("info"), ArticleJson(it->snapshot));
        page.append(entry);
    }
    return page;
}

QJsonObject SimState::ColumnList() const {
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonArray columns;
    for (const Column& c : columns_) {
        const std::string id = std::to_string(c.id);
        QJsonObject column;
        column.insert(QStringLiteral("column_id"), c.id);
        column.insert(QStringLiteral("title"), Text(c.title));
        column.insert(QStringLiteral("unread_pic"), Text("https://img.sim.example/column/" + id + "/unread.png"));
        column.insert(QStringLiteral("frontpage_pic"), Text("https://img.sim.example/column/" + id + "/front.png"));
        column.insert(QStringLiteral("calendar_pic"), Text("https://img.sim.example/column/" + id + "/calendar.png"));
        column.insert(QStringLiteral("calendar_color"), Text(c.color));
        column.insert(QStringLiteral("neican_pic"), Text("https://img.sim.example/column/" + id + "/neican.png"));
        columns.append(column);
    }
    QJsonObject data;
    data.insert(QStringLiteral("column_list"), columns);
    return data;
}

QJsonObject SimState::ColumnArticlePage(int columnId, unsigned long long lastTime, unsigned int refreshType,
                                        unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned long long below = refreshType == 1 && lastTime != 0 ? CursorAsSortScore(lastTime) : ~0ULL;
    QJsonArray list;
    const auto articles = columnId == 0 ? std::vector<const Article*>() : VisibleArticles(columnId, below);
    const std::size_t n = std::min<std::size_t>(articles.size(), PageSize(rn, 15, 50));
    for (std::size_t i = 0; i < n; ++i) list.append(ArticleJson(*articles[i]));
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonObject SimState::EssencePage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned long long below = refreshType == 1 && lastTime != 0 ? CursorAsSortScore(lastTime) : ~0ULL;
    std::vector<const Article*> picks;
    for (const Article& a : articles_) {
        if (a.status == kVisible && a.sortScore < below) picks.push_back(&a);
    }
    std::sort(picks.begin(), picks.end(), [](const Article* a, const Article* b) { return a->sortScore > b->sortScore; });
    picks.resize(std::min<std::size_t>(picks.size(), PageSize(rn, 20, 100)));

    // An object keyed by id, not an array.
    QJsonObject list;
    for (const Article* a : picks) {
        SimRandom random(HashOf(seed_, static_cast<std::uint64_t>(a->id), 0xe55e));
        const std::string id = std::to_string(a->id);
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), a->id);
        entry.insert(QStringLiteral("type"), a->type);
        entry.insert(QStringLiteral("img"), Text("https://img.sim.example/essence/" + id + ".jpg"));
        entry.insert(QStringLiteral("brief"), Text(a->brief));
        entry.insert(QStringLiteral("content"), Text(Paragraph(random, 3)));
        entry.insert(QStringLiteral("sort_score"), Number(a->sortScore));
        entry.insert(QStringLiteral("ctime"), Number(a->ctime));
        entry.insert(QStringLiteral("title"), Text(a->title));
        entry.insert(QStringLiteral("showurl"), Text("https://sim.example/essence/" + id));
        list.insert(QString::number(a->id), entry);
    }
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonObject SimState::Counters(const std::string& ids) const {
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonObject reading, comment;
    std::size_t start = 0;
    while (start <= ids.size()) {
        std::size_t end = ids.find(',', start);
        if (end == std::string::npos) end = ids.size();
        const std::string text = ids.substr(start, end - start);
        char* stop = nullptr;
        const long long id = std::strtoll(text.c_str(), &stop, 10);
        if (!text.empty() && *stop == '\0' && id > 0) {
            int r = 0, c = 0;
            CountsOf(id, r, c);
            reading.insert(QString::fromStdString(text), r);
            comment.insert(QString::fromStdString(text), c);
        }
        start = end + 1;
    }
    QJsonObject data;
    data.insert(QStringLiteral("reading_num"), reading);
    data.insert(QStringLiteral("comment_num"), comment);
    return data;
}

QJsonObject SimState::GroundTruth(const TruthQuery& query) const {
    std::lock_guard<std::mutex> lock(mutex_);
    // Each item as its id and the text an edit changes.
    const auto item = [](int id, const std::string& text) {
        QJsonObject object;
        object.insert(QStringLiteral("id"), id);
        object.insert(QStringLiteral("text"), Text(text));
        return object;
    };
    QJsonArray telegraphs;
    for (const Telegraph* t : VisibleTelegraphs(~0ULL)) {
        if (t->sortScore >= query.telegraphFloor) telegraphs.append(item(t->id, t->content));
    }
    QJsonArray top, normal;
    for (const Article* a : VisibleArticles(0, ~0ULL)) {
        if (a->sortScore >= query.depthFloor) (a->isTop ? top : normal).append(item(a->id, a->title));
    }
    const int columnId = query.columnId != 0 ? query.columnId : columns_.front().id;
    QJsonArray column;
    for (const Article* a : VisibleArticles(columnId, ~0ULL)) {
        if (a->sortScore >= query.columnFloor) column.append(item(a->id, a->title));
    }

    QJsonObject telegraph, depth, columnJson, operations;
    telegraph.insert(QStringLiteral("floor"), Number(query.telegraphFloor));
    telegraph.insert(QStringLiteral("visible"), telegraphs);
    depth.insert(QStringLiteral("edited_before_loaded"),
                 IdArray(std::vector<int>(editedBeforeLoaded_.begin(), editedBeforeLoaded_.end())));
    depth.insert(QStringLiteral("floor"), Number(query.depthFloor));
    depth.insert(QStringLiteral("top"), top);
    depth.insert(QStringLiteral("normal"), normal);
    columnJson.insert(QStringLiteral("column_id"), columnId);
    columnJson.insert(QStringLiteral("floor"), Number(query.columnFloor));
    columnJson.insert(QStringLiteral("articles"), column);
    for (const auto& stream : liveOperations_) operations.insert(Text(stream.first), CountsJson(stream.second));

    QJsonObject truth;
    truth.insert(QStringLiteral("tick"), ticks_ - historyTicks_);
    truth.insert(QStringLiteral("folded_edits"), IdArray(std::vector<int>(foldedEdits_.begin(), foldedEdits_.end())));
    truth.insert(QStringLiteral("now"), Number(now_));
    truth.insert(QStringLiteral("telegraph"), telegraph);
    truth.insert(QStringLiteral("depth"), depth);
    truth.insert(QStringLiteral("column"), columnJson);
    truth.insert(QStringLiteral("columns"), IdArray(columnIds()));
    truth.insert(QStringLiteral("operations"), operations);
    return truth;
}

}  // namespace news_sim
