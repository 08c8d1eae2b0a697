#pragma once

// Roll-list bodies for the telegraph tests, and a sink for the id trace that
// ParseTelegraphInfo writes to the Qt debug log.

#include <mutex>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QtGlobal>

namespace rolljson {

// One telegraph operation (type -1) whose "info" carries the same id.
inline std::string Element(const std::string& operation, int id, unsigned long long sortScore, int status = 1,
                           unsigned long long operationTime = 0, const std::string& content = "c") {
    const std::string ids = std::to_string(id);
    return "{\"id\":" + ids + ",\"type\":-1,\"operation\":\"" + operation +
           "\",\"operation_time\":" + std::to_string(operationTime) + ",\"info\":{\"id\":" + ids +
           ",\"sort_score\":" + std::to_string(sortScore) + ",\"status\":" + std::to_string(status) +
           ",\"content\":\"" + content + "\"}}";
}

inline std::string Join(const std::vector<std::string>& elements) {
    std::string text = "[";
    for (std::size_t i = 0; i < elements.size(); ++i)
        text += (i ? "," : "") + elements[i];
    return text + "]";
}

// A /pc/roll/batch_show body.
inline std::string Page(unsigned long long time, const std::vector<std::string>& elements) {
    return "{\"errno\":0,\"time\":" + std::to_string(time) + ",\"data\":{\"list\":" + Join(elements) + "}}";
}

inline QJsonArray Roll(const std::vector<std::string>& elements) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(Join(elements))).array();
}

// Collects Qt debug messages (the id trace of ParseTelegraphInfo) instead of
// printing them; call once per test program.
struct DebugSink {
    std::mutex mutex;
    std::vector<QString> lines;

    static DebugSink& Instance() {
        static DebugSink* sink = new DebugSink;  // outlives late messages
        return *sink;
    }
    static void Install() {
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg)
                return;
            std::lock_guard<std::mutex> lock(Instance().mutex);
            Instance().lines.push_back(message);
        });
    }
    static std::vector<QString> Take() {
        std::lock_guard<std::mutex> lock(Instance().mutex);
        std::vector<QString> lines;
        lines.swap(Instance().lines);
        return lines;
    }
};

}  // namespace rolljson
