#include "tools/news_service_sim/sim_ground_truth.h"

#include <map>
#include <string>
#include <vector>

#include "tools/news_service_sim/sim_json.h"

namespace news_sim {

namespace {

QJsonArray IdArray(const std::vector<int>& ids) {
    QJsonArray array;
    for (int id : ids) array.append(id);
    return array;
}

QJsonArray IdArray(const std::set<int>& ids) { return IdArray(std::vector<int>(ids.begin(), ids.end())); }

QJsonObject CountsJson(const std::map<std::string, int>& counts) {
    QJsonObject object;
    for (const auto& entry : counts) object.insert(Text(entry.first), entry.second);
    return object;
}

// Each item as its id and the text an edit changes.
QJsonObject Item(int id, const std::string& text) {
    QJsonObject object;
    object.insert(QStringLiteral("id"), id);
    object.insert(QStringLiteral("text"), Text(text));
    return object;
}

QJsonObject TelegraphTruth(const SimWorld& world, const TruthQuery& query) {
    QJsonArray telegraphs;
    for (const SimWorld::Telegraph* t : world.VisibleTelegraphs(~0ULL)) {
        if (t->sortScore >= query.telegraphFloor) telegraphs.append(Item(t->id, t->content));
    }
    QJsonObject telegraph;
    telegraph.insert(QStringLiteral("floor"), Number(query.telegraphFloor));
    telegraph.insert(QStringLiteral("visible"), telegraphs);
    return telegraph;
}

QJsonObject DepthTruth(const SimWorld& world, const DeliveryNotes& notes, const TruthQuery& query) {
    QJsonArray top, normal;
    for (const SimWorld::Article* a : world.VisibleArticles(0, ~0ULL)) {
        if (a->sortScore >= query.depthFloor) (a->isTop ? top : normal).append(Item(a->id, a->title));
    }
    QJsonObject depth;
    depth.insert(QStringLiteral("edited_before_loaded"), IdArray(notes.editedBeforeLoaded()));
    depth.insert(QStringLiteral("floor"), Number(query.depthFloor));
    depth.insert(QStringLiteral("top"), top);
    depth.insert(QStringLiteral("normal"), normal);
    return depth;
}

QJsonObject ColumnTruth(const SimWorld& world, const TruthQuery& query) {
    const int columnId = query.columnId != 0 ? query.columnId : world.columns().front().id;
    QJsonArray articles;
    for (const SimWorld::Article* a : world.VisibleArticles(columnId, ~0ULL)) {
        if (a->sortScore >= query.columnFloor) articles.append(Item(a->id, a->title));
    }
    QJsonObject column;
    column.insert(QStringLiteral("column_id"), columnId);
    column.insert(QStringLiteral("floor"), Number(query.columnFloor));
    column.insert(QStringLiteral("articles"), articles);
    return column;
}

}  // namespace

void DeliveryNotes::NoteRoll(const QJsonObject& data) {
    NoteFoldedEdits(data.value(QStringLiteral("list")).toArray(), QStringLiteral("add"), QStringLiteral("modify"));
}

void DeliveryNotes::NoteInform(const QJsonArray& data) {
    NoteFoldedEdits(data, QStringLiteral("modify"), QStringLiteral("show"));
}

void DeliveryNotes::NoteFoldedEdits(const QJsonArray& answer, const QString& earlier, const QString& later) {
    std::set<int> seen;
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

void DeliveryNotes::NoteDepth(const SimWorld& world, const QJsonObject& data) {
    // The first answer is a first load, which takes every article as it is.
    const bool firstLoad = depthDelivered_.empty();
    for (const QJsonValue& value : data.value(QStringLiteral("list")).toArray()) {
        const int id = value.toObject().value(QStringLiteral("id")).toInt();
        if (!depthDelivered_.insert(id).second || firstLoad) continue;
        // Pinning and unpinning are edits too.
        for (const SimWorld::InformOperation& op : world.informOperations()) {
            if (op.snapshot.id == id && op.operation == "modify") editedBeforeLoaded_.insert(id);
        }
    }
}

QJsonObject GroundTruth(const SimWorld& world, const DeliveryNotes& notes, const TruthQuery& query) {
    QJsonObject operations;
    for (const auto& stream : world.liveOperations()) operations.insert(Text(stream.first), CountsJson(stream.second));

    QJsonObject truth;
    truth.insert(QStringLiteral("tick"), world.tick());
    truth.insert(QStringLiteral("folded_edits"), IdArray(notes.foldedEdits()));
    truth.insert(QStringLiteral("now"), Number(world.now()));
    truth.insert(QStringLiteral("telegraph"), TelegraphTruth(world, query));
    truth.insert(QStringLiteral("depth"), DepthTruth(world, notes, query));
    truth.insert(QStringLiteral("column"), ColumnTruth(world, query));
    truth.insert(QStringLiteral("columns"), IdArray(world.columnIds()));
    truth.insert(QStringLiteral("operations"), operations);
    return truth;
}

}  // namespace news_sim
