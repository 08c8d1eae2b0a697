#pragma once

// The simulator's state: the world (sim_world.h) and what clients were
// delivered (sim_ground_truth.h) behind one lock, answering as the service's
// endpoints (sim_pages.h) and as the ground truth. Thread-safe.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

#include "tools/news_service_sim/sim_ground_truth.h"
#include "tools/news_service_sim/sim_pages.h"
#include "tools/news_service_sim/sim_world.h"

namespace news_sim {

class SimState {
public:
    static constexpr int kIncrementalPage = news_sim::kIncrementalPage;

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
    mutable std::mutex mutex_;
    SimWorld world_;
    DeliveryNotes notes_;
};

}  // namespace news_sim
