#include "tools/news_service_sim/sim_pages.h"

#include <algorithm>
#include <cstdlib>

#include "tools/news_service_sim/sim_json.h"
#include "tools/news_service_sim/sim_text.h"

namespace news_sim {

namespace {

using Telegraph = SimWorld::Telegraph;
using Article = SimWorld::Article;

constexpr unsigned long long kSecondsLimit = 100000000000ULL;  // below: seconds, above: milliseconds

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

// The first operation after `cursor` of a list in time order.
template <class Operation>
typename std::vector<Operation>::const_iterator FirstAfter(const std::vector<Operation>& operations,
                                                           unsigned long long cursor) {
    return std::upper_bound(operations.begin(), operations.end(), static_cast<long long>(CursorAsSeconds(cursor)),
                            [](long long time, const Operation& op) { return time < op.time; });
}

QJsonObject TelegraphJson(const SimWorld& world, const Telegraph& t) {
    int reading = 0, comment = 0;
    world.CountsOf(t.id, reading, comment);
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

QJsonObject RollElement(const SimWorld& world, const std::string& operation, long long time, const Telegraph& t) {
    QJsonObject element;
    element.insert(QStringLiteral("id"), t.id);
    element.insert(QStringLiteral("type"), -1);
    element.insert(QStringLiteral("operation"), Text(operation));
    element.insert(QStringLiteral("operation_time"), Number(time));
    element.insert(QStringLiteral("info"), TelegraphJson(world, t));
    return element;
}

// The fields only depth articles have.
void AddDepthFields(const SimWorld& world, const Article& a, QJsonObject& json) {
    const std::string id = std::to_string(a.id);
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
        rec.insert(QStringLiteral("name"), Text(world.article(other).title));
        rec.insert(QStringLiteral("showurl"), Text("https://sim.example/depth/" + std::to_string(other)));
        related.append(rec);
    }
    json.insert(QStringLiteral("article_rec"), related);
}

QJsonObject ArticleJson(const SimWorld& world, const Article& a) {
    int reading = 0, comment = 0;
    world.CountsOf(a.id, reading, comment);
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
        AddDepthFields(world, a, json);
    } else {
        const std::string id = std::to_string(a.id);
        json.insert(QStringLiteral("showurl"), Text("https://sim.example/exclusive/" + id));
        json.insert(QStringLiteral("neican_img"), Text("https://img.sim.example/neican/" + id + ".png"));
    }
    return json;
}

QJsonArray BannersJson(const SimWorld& world) {
    QJsonArray banners;
    for (const SimWorld::Banner& b : world.banners()) {
        QJsonObject banner;
        banner.insert(QStringLiteral("title"), Text(b.title));
        banner.insert(QStringLiteral("img"), Text(b.img));
        banner.insert(QStringLiteral("jump"), Text(b.jump));
        banners.append(banner);
    }
    return banners;
}

QJsonObject EssenceEntry(const SimWorld& world, const Article& a) {
    SimRandom random(HashOf(world.seed(), static_cast<std::uint64_t>(a.id), 0xe55e));
    const std::string id = std::to_string(a.id);
    QJsonObject entry;
    entry.insert(QStringLiteral("id"), a.id);
    entry.insert(QStringLiteral("type"), a.type);
    entry.insert(QStringLiteral("img"), Text("https://img.sim.example/essence/" + id + ".jpg"));
    entry.insert(QStringLiteral("brief"), Text(a.brief));
    entry.insert(QStringLiteral("content"), Text(Paragraph(random, 3)));
    entry.insert(QStringLiteral("sort_score"), Number(a.sortScore));
    entry.insert(QStringLiteral("ctime"), Number(a.ctime));
    entry.insert(QStringLiteral("title"), Text(a.title));
    entry.insert(QStringLiteral("showurl"), Text("https://sim.example/essence/" + id));
    return entry;
}

QJsonObject ListData(const QJsonValue& list) {
    QJsonObject data;
    data.insert(QStringLiteral("list"), list);
    return data;
}

}  // namespace

QJsonObject RollPage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType, unsigned int rn) {
    QJsonArray list;
    if (refreshType == 1 && lastTime != 0) {
        // Older page: visible telegraphs below the cursor, newest first.
        const auto older = world.VisibleTelegraphs(CursorAsSortScore(lastTime));
        const std::size_t n = std::min<std::size_t>(older.size(), PageSize(rn, 10, 50));
        for (std::size_t i = 0; i < n; ++i)
            list.append(RollElement(world, "add", older[i]->lastOperationTime, *older[i]));
    } else if (lastTime == 0) {
        // First load: the newest visible telegraphs; the first element carries
        // the newest operation time, where the next incremental answer starts.
        const auto newest = world.VisibleTelegraphs(~0ULL);
        const std::size_t n = std::min<std::size_t>(newest.size(), PageSize(rn, 15, 50));
        const auto& roll = world.rollOperations();
        const long long newestOperation = roll.empty() ? 0 : roll.back().time;
        for (std::size_t i = 0; i < n; ++i)
            list.append(RollElement(world, "add", i == 0 ? newestOperation : newest[i]->lastOperationTime, *newest[i]));
    } else {
        // Incremental: operations after the cursor, oldest first, so the last
        // element carries the newest operation time of the page.
        auto it = FirstAfter(world.rollOperations(), lastTime);
        for (int n = 0; it != world.rollOperations().end() && n < kIncrementalPage; ++it, ++n)
            list.append(RollElement(world, it->operation, it->time, it->snapshot));
    }
    return ListData(list);
}

QJsonObject DepthPage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType,
                      bool lastIsStickies) {
    QJsonArray list;
    const bool older = refreshType == 1 && lastTime != 0;
    if (!older) {
        for (const Article* a : world.VisibleArticles(0, ~0ULL)) {
            if (a->isTop) list.append(ArticleJson(world, *a));
        }
    }
    // After the pinned articles (or an older page that follows them) the normal
    // list starts from its newest article.
    const unsigned long long below = older && !lastIsStickies ? CursorAsSortScore(lastTime) : ~0ULL;
    unsigned int n = 0;
    for (const Article* a : world.VisibleArticles(0, below)) {
        if (a->isTop) continue;
        if (n++ == SimWorld::kDepthPage) break;
        list.append(ArticleJson(world, *a));
    }
    QJsonObject data;
    data.insert(QStringLiteral("banner"), BannersJson(world));
    data.insert(QStringLiteral("list"), list);
    return data;
}

QJsonArray InformModifyPage(const SimWorld& world, unsigned long long lastTime) {
    QJsonArray page;
    auto it = FirstAfter(world.informOperations(), lastTime);
    for (int n = 0; it != world.informOperations().end() && n < kIncrementalPage; ++it, ++n) {
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), it->snapshot.id);
        entry.insert(QStringLiteral("type"), it->snapshot.type);
        entry.insert(QStringLiteral("operation"), Text(it->operation));
        entry.insert(QStringLiteral("operation_time"), Number(it->time));
        entry.insert(QStringLiteral("info"), ArticleJson(world, it->snapshot));
        page.append(entry);
    }
    return page;
}

QJsonObject ColumnList(const SimWorld& world) {
    QJsonArray columns;
    for (const SimWorld::Column& c : world.columns()) {
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

QJsonObject ColumnArticlePage(const SimWorld& world, int columnId, unsigned long long lastTime,
                              unsigned int refreshType, unsigned int rn) {
    const unsigned long long below = refreshType == 1 && lastTime != 0 ? CursorAsSortScore(lastTime) : ~0ULL;
    QJsonArray list;
    const auto articles = columnId == 0 ? std::vector<const Article*>() : world.VisibleArticles(columnId, below);
    const std::size_t n = std::min<std::size_t>(articles.size(), PageSize(rn, 15, 50));
    for (std::size_t i = 0; i < n; ++i) list.append(ArticleJson(world, *articles[i]));
    return ListData(list);
}

QJsonObject EssencePage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType, unsigned int rn) {
    const unsigned long long below = refreshType == 1 && lastTime != 0 ? CursorAsSortScore(lastTime) : ~0ULL;
    std::vector<const Article*> picks;
    for (const Article& a : world.articles()) {
        if (a.status == SimWorld::kVisible && a.sortScore < below) picks.push_back(&a);
    }
    std::sort(picks.begin(), picks.end(),
              [](const Article* a, const Article* b) { return a->sortScore > b->sortScore; });
    picks.resize(std::min<std::size_t>(picks.size(), PageSize(rn, 20, 100)));

    // An object keyed by id, not an array.
    QJsonObject list;
    for (const Article* a : picks) list.insert(QString::number(a->id), EssenceEntry(world, *a));
    return ListData(list);
}

QJsonObject Counters(const SimWorld& world, const std::string& ids) {
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
            world.CountsOf(id, r, c);
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

}  // namespace news_sim
