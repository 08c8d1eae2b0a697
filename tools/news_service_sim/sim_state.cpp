#include "tools/news_service_sim/sim_state.h"

namespace news_sim {

SimState::SimState(std::uint64_t seed, long long startTime) : world_(seed, startTime) {}

void SimState::Advance(int ticks) {
    std::lock_guard<std::mutex> lock(mutex_);
    world_.Advance(ticks);
}

long long SimState::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return world_.now();
}

int SimState::tick() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return world_.tick();
}

// The columns never change.
std::vector<int> SimState::columnIds() const { return world_.columnIds(); }

QJsonObject SimState::RollPage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::RollPage(world_, lastTime, refreshType, rn);
}

QJsonObject SimState::DepthPage(unsigned long long lastTime, unsigned int refreshType, bool lastIsStickies) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::DepthPage(world_, lastTime, refreshType, lastIsStickies);
}

QJsonArray SimState::InformModifyPage(unsigned long long lastTime) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::InformModifyPage(world_, lastTime);
}

QJsonObject SimState::ColumnList() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::ColumnList(world_);
}

QJsonObject SimState::ColumnArticlePage(int columnId, unsigned long long lastTime, unsigned int refreshType,
                                        unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::ColumnArticlePage(world_, columnId, lastTime, refreshType, rn);
}

QJsonObject SimState::EssencePage(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::EssencePage(world_, lastTime, refreshType, rn);
}

QJsonObject SimState::Counters(const std::string& ids) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::Counters(world_, ids);
}

QJsonObject SimState::GroundTruth(const TruthQuery& query) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return news_sim::GroundTruth(world_, notes_, query);
}

void SimState::NoteDeliveredRoll(const QJsonObject& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.NoteRoll(data);
}

void SimState::NoteDeliveredDepth(const QJsonObject& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.NoteDepth(world_, data);
}

void SimState::NoteDeliveredInform(const QJsonArray& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.NoteInform(data);
}

}  // namespace news_sim
