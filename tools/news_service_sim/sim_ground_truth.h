#pragma once

// The ground truth: what a perfect client holds now. Visible means status 1
// (neither hidden nor deleted). A client holds every visible item whose sort
// score is at or above its floor, the lowest sort score it has ever received:
// items below the floor were never loaded and operations on them are ignored.
// Lists run newest first (sort scores are unique and never change), each item
// as its "id" and the "text" an edit changes (a telegraph's content, an
// article's title); depth articles are split into pinned ("top") and the rest
// ("normal"). A floor of 0 asks for everything visible.
//
// Some cases stay out of a client's reach, most of them after failed refreshes
// let operations pile up:
// - a telegraph hidden and shown again on two pages of one refresh (a backlog
//   of more than 100 operations) is lost by the client;
// - an edit folded into another operation of the same answer leaves the older
//   text: a telegraph's "add" and a later "modify" in one incremental roll
//   answer (the client keeps the add), or an article's "modify" and a later
//   "show" in one inform/modify answer (the client keeps the article it holds);
// - a depth article that a refresh answer shows for the first time after it was
//   edited or pinned is dropped by the client (the edit comes with it and the
//   client takes the article for an edited old one).
// The delivery notes find the last two in the answers clients received; the
// truth lists them as "folded_edits" and, under "depth", "edited_before_loaded".
// Both assume a single client.

#include <set>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "tools/news_service_sim/sim_world.h"

namespace news_sim {

struct TruthQuery {
    unsigned long long telegraphFloor = 0;
    unsigned long long depthFloor = 0;
    int columnId = 0;  // 0: the first column
    unsigned long long columnFloor = 0;
};

// Not thread-safe; SimState guards it.
class DeliveryNotes {
public:
    // An incremental roll answer ("data" of RollPage) a client has received intact.
    void NoteRoll(const QJsonObject& data);
    // A depth refresh answer ("data" of DepthPage) a client has received intact.
    void NoteDepth(const SimWorld& world, const QJsonObject& data);
    // An inform/modify answer ("data" of InformModifyPage) a client has received intact.
    void NoteInform(const QJsonArray& data);

    const std::set<int>& foldedEdits() const { return foldedEdits_; }
    const std::set<int>& editedBeforeLoaded() const { return editedBeforeLoaded_; }

private:
    // Ids whose `earlier` operation a `later` one follows in the same answer.
    void NoteFoldedEdits(const QJsonArray& answer, const QString& earlier, const QString& later);

    std::set<int> foldedEdits_;
    std::set<int> depthDelivered_, editedBeforeLoaded_;
};

QJsonObject GroundTruth(const SimWorld& world, const DeliveryNotes& notes, const TruthQuery& query);

}  // namespace news_sim
