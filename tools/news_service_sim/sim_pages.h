#pragma once

// The "data" of each world endpoint, read from the world as it is now.

#include <string>

#include <QJsonArray>
#include <QJsonObject>

#include "tools/news_service_sim/sim_world.h"

namespace news_sim {

// Operations after this many, oldest first, per incremental answer; a client
// that pages on "100 or more" then drains any backlog.
constexpr int kIncrementalPage = 100;

QJsonObject RollPage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType, unsigned int rn);
QJsonObject DepthPage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType,
                      bool lastIsStickies);
QJsonArray InformModifyPage(const SimWorld& world, unsigned long long lastTime);
QJsonObject ColumnList(const SimWorld& world);
QJsonObject ColumnArticlePage(const SimWorld& world, int columnId, unsigned long long lastTime,
                              unsigned int refreshType, unsigned int rn);
QJsonObject EssencePage(const SimWorld& world, unsigned long long lastTime, unsigned int refreshType, unsigned int rn);
// `ids` as the request spells them: comma-separated, bad ones left out.
QJsonObject Counters(const SimWorld& world, const std::string& ids);

}  // namespace news_sim
