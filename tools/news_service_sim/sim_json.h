#pragma once

// The JSON values the simulator's answers are made of.

#include <string>

#include <QJsonValue>
#include <QString>

namespace news_sim {

inline QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())); }
inline QJsonValue Number(long long value) { return QJsonValue(static_cast<qint64>(value)); }
// Sort scores: a double, as the service writes them.
inline QJsonValue Number(unsigned long long value) { return QJsonValue(static_cast<double>(value)); }

}  // namespace news_sim
