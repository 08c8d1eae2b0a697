#pragma once

// What the end-to-end tests share: the simulator in this process with the real
// host libraries pointed at it, and records as rows of text, so that what the
// library delivers compares with what is served.

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "tests/test_support.h"
#include "tools/news_service_sim/sim_server.h"

namespace e2e {

using Rowed = std::vector<std::string>;

// Only detects a hang; nothing here waits this long when things work.
const std::chrono::milliseconds kHang(15000);

// Starts a frozen world (only Advance moves it) and points the host libraries at it.
inline std::unique_ptr<news_sim::NewsServiceSim> StartSim(const news_sim::SimFaults& faults = {}) {
    testsupport::SilenceQtDebug();
    news_sim::SimOptions options;
    options.seed = 20240611, options.tickMs = 0, options.faults = faults;
    std::unique_ptr<news_sim::NewsServiceSim> sim(new news_sim::NewsServiceSim(options));
    EXPECT_TRUE(sim->Start(0));
    UrlHelper::SetServiceRoot(QString::fromStdString(sim->root()).toStdWString());
    UrlHelper::SetServiceKey(options.key);
    return sim;
}

// The "data" served for a request the library could make, signed the same way.
inline QJsonValue Fetch(const std::wstring& path, const std::map<std::string, std::string>& params) {
    std::vector<char> body;
    EXPECT_TRUE(GetSync(pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(path, params), body,
                        HttpHeaderMap(), 10));
    return QJsonDocument::fromJson(QByteArray(body.data(), static_cast<int>(body.size()))).object().value("data");
}
// The served list: "data" when it is an array, else its "list".
inline QJsonArray Served(const std::wstring& path, const std::map<std::string, std::string>& params) {
    const QJsonValue data = Fetch(path, params);
    return data.isArray() ? data.toArray() : data["list"].toArray();
}

// A field as text: whole numbers without an exponent, strings as they are.
inline std::string Text(const QString& text) { return text.toStdString(); }
inline std::string Text(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }
inline std::string Text(double number) {
    return number == std::floor(number) ? std::to_string(static_cast<long long>(number)) : std::to_string(number);
}
inline std::string Text(const QJsonValue& value) { return value.isString() ? Text(value.toString()) : Text(value.toDouble()); }

// A record as a row: its fields joined by '|'.
template <class... Field>
std::string Row(const Field&... fields) {
    std::string row;
    ((row += Text(fields) + "|"), ...);
    return row;
}
template <class Records, class ToRow>
std::vector<std::string> RowsOf(const Records& records, ToRow toRow) {
    std::vector<std::string> rows;
    for (const auto& record : records) rows.push_back(toRow(record));
    return rows;
}
// The `keys` of each served object as a row.
inline std::vector<std::string> Rows(const QJsonArray& served, const std::vector<const char*>& keys) {
    return RowsOf(served, [&](const QJsonValue& item) {
        std::string row;
        for (const char* key : keys) row += Row(item[key]);
        return row;
    });
}

// "id|text|" rows less the ids in `leftOut`, with no text for the ids in `anyText`.
inline Rowed Comparable(Rowed rows, const std::set<int>& anyText, const std::set<int>& leftOut = {}) {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const std::string& r) { return leftOut.count(std::stoi(r)); }),
               rows.end());
    for (std::string& row : rows) row = anyText.count(std::stoi(row)) ? Row(std::stoi(row)) : row;
    return rows;
}
inline std::set<int> IdSet(const QJsonValue& ids) {
    std::set<int> set;
    for (const QJsonValue& id : ids.toArray()) set.insert(id.toInt());
    return set;
}

}  // namespace e2e
