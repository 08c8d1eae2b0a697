#pragma once

// What the end-to-end tests share: the simulator in this process with the real host libraries pointed at it, and
// records as rows of text, so that what the library delivers compares with what is served.

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
    options.seed = 20240611;
    options.tickMs = 0;
    options.faults = faults;
    std::unique_ptr<news_sim::NewsServiceSim> sim(new news_sim::NewsServiceSim(options));
    EXPECT_TRUE(sim->Start(0));
    UrlHelper::SetServiceRoot(QString::fromStdString(sim->root()).toStdWString());
    UrlHelper::SetServiceKey(options.key);
    return sim;
}

// The "data" served for a request the library could make, signed the same way.
inline QJsonValue Fetch(const std::wstring& path, const std::map<std::string, std::string>& params) {
    std::vector<char> body;
    const auto url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(path, params);
    EXPECT_TRUE(GetSync(url, body, HttpHeaderMap(), 10));
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
inline std::string Text(const QJsonValue& value) {
    return value.isString() ? Text(value.toString()) : Text(value.toDouble());
}

// A record as a row: its fields joined by '|'.
template <class... Field>
std::string Row(const Field&... fields) {
    std::string row;
    ((row += Text(fields) + "|"), ...);
    return row;
}
template <class Records, class ToRow>
Rowed RowsOf(const Records& records, ToRow toRow) {
    Rowed rows;
    for (const auto& record : records) rows.push_back(toRow(record));
    return rows;
}
// The `keys` of each served object as a row.
inline Rowed Rows(const QJsonArray& served, const QStringList& keys) {
    return RowsOf(served, [&](const QJsonValue& item) {
        std::string row;
        for (const QString& key : keys) row += Row(item[key]);
        return row;
    });
}

// The ground truth's paged lists as "id|text|" rows: telegraph, depth top, depth normal, column. An edit folded into
// a later operation after failed refreshes may leave an older text (only ids compare); depth articles first met
// after an edit are dropped by the merge.
struct PagedTruth {
    PagedTruth(news_sim::NewsServiceSim& sim, const news_sim::TruthQuery& query, const std::set<int>& alsoLeftOut = {})
        : json(sim.state().GroundTruth(query)), folded(Ids("folded_edits")), leftOut(alsoLeftOut) {
        const std::set<int> unloaded = Ids("depth", "edited_before_loaded");
        leftOut.insert(unloaded.begin(), unloaded.end());
        const char* lists[][2] = {{"telegraph", "visible"}, {"depth", "top"}, {"depth", "normal"},
                                  {"column", "articles"}};
        for (int list = 0; list < 4; ++list)
            held[list] = Comparable(list, Rows(json[lists[list][0]][lists[list][1]].toArray(), {"id", "text"}));
    }
    // A client's "id|text|" rows of `list`, comparable with held[list].
    Rowed Comparable(int list, Rowed rows) const {
        const auto out = [&](const std::string& r) { return (list == 1 || list == 2) && leftOut.count(std::stoi(r)); };
        rows.erase(std::remove_if(rows.begin(), rows.end(), out), rows.end());
        for (std::string& row : rows) row = folded.count(std::stoi(row)) ? Row(std::stoi(row)) : row;
        return rows;
    }
    std::set<int> Ids(const char* key, const char* inner = nullptr) const {
        std::set<int> ids;
        for (const QJsonValue& id : (inner ? json[key][inner] : json[key]).toArray()) ids.insert(id.toInt());
        return ids;
    }

    const QJsonObject json;
    const std::set<int> folded;
    std::set<int> leftOut;
    Rowed held[4];
};

}  // namespace e2e
