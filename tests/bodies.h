#pragma once

// JSON bodies of the news service for the tests: the pieces (roll-list elements,
// inform-modify entries) and whole answers of every endpoint. `serial` makes each
// answer of For() carry new ids, newer than the ones before.

#include <map>
#include <string>
#include <vector>

namespace body {

inline std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ",") + item;
    return text;
}

inline std::string Envelope(const std::string& data) {
    return "{\"errno\":0,\"time\":1765000000,\"data\":" + data + "}";
}

// --- /pc/roll/batch_show ---------------------------------------------------------

// One telegraph operation (type -1) whose "info" carries the same id.
inline std::string Element(const std::string& operation, int id, unsigned long long sortScore, int status = 1,
                           unsigned long long operationTime = 0, const std::string& content = "c") {
    const std::string ids = std::to_string(id);
    return "{\"id\":" + ids + ",\"type\":-1,\"operation\":\"" + operation +
           "\",\"operation_time\":" + std::to_string(operationTime) + ",\"info\":{\"id\":" + ids +
           ",\"sort_score\":" + std::to_string(sortScore) + ",\"status\":" + std::to_string(status) +
           ",\"content\":\"" + content + "\"}}";
}

inline std::string RollPage(unsigned long long time, const std::vector<std::string>& elements) {
    return "{\"errno\":0,\"time\":" + std::to_string(time) + ",\"data\":{\"list\":[" + Join(elements) + "]}}";
}

// --- /pc/inform/modify -------------------------------------------------------------

// An article as it now stands; `extra` is more "key":value text.
inline std::string Info(int id, unsigned long long score, int status = 1, int column = 0,
                        const std::string& extra = std::string()) {
    return "{\"id\":" + std::to_string(id) + ",\"sort_score\":" + std::to_string(score) +
           ",\"status\":" + std::to_string(status) + ",\"column_id\":" + std::to_string(column) +
           (extra.empty() ? "" : "," + extra) + "}";
}

// One operation; an empty `info` leaves the key out.
inline std::string Entry(const std::string& operation, int id, const std::string& info, int type = 2,
                         unsigned long long operationTime = 100) {
    return "{\"id\":" + std::to_string(id) + ",\"type\":" + std::to_string(type) + ",\"operation\":\"" + operation +
           "\",\"operation_time\":" + std::to_string(operationTime) + (info.empty() ? "" : ",\"info\":" + info) + "}";
}

// A removal, whose article is no longer published.
inline std::string Removal(const std::string& operation, int id, int type = 2, unsigned long long operationTime = 100) {
    return Entry(operation, id, Info(id, 0, 0), type, operationTime);
}

inline std::string ModifyPage(const std::vector<std::string>& entries, unsigned long long time = 0,
                              int errorNumber = 0) {
    return "{\"errno\":" + std::to_string(errorNumber) + ",\"time\":" + std::to_string(time) + ",\"data\":[" +
           Join(entries) + "]}";
}

// --- every endpoint, well-formed ---------------------------------------------------

inline std::string TelegraphPage(int serial) {
    std::vector<std::string> list;
    for (int i = 0; i < 3; ++i)
        list.push_back(Element("add", serial * 3 + i + 1, 1000000 + serial * 10 + i, 1, 1000 + serial));
    return Envelope("{\"list\":[" + Join(list) + "]}");
}

inline std::string DepthPage(int serial) {
    const std::string id = std::to_string(serial + 1);
    return Envelope("{\"banner\":[{\"title\":\"b\"}],\"list\":[{\"type\":2,\"id\":" + id +
                    ",\"sort_score\":" + std::to_string(5000000 + serial * 1000) + ",\"status\":1},"
                    "{\"type\":2,\"id\":" + std::to_string(900000 + serial) + ",\"is_top\":true,\"sort_score\":" +
                    std::to_string(9000000 + serial * 1000) + "}]}");
}

inline std::string ArticlePage(int serial) {
    return Envelope("{\"list\":[{\"type\":2,\"id\":" + std::to_string(serial + 1) +
                    ",\"sort_score\":" + std::to_string(3000000 + serial * 10) + "}]}");
}

// An answer for a request to `path` (the double's decoded path).
inline std::string For(const std::string& path, int serial = 0) {
    if (path == "/pc/roll/batch_show")
        return TelegraphPage(serial);
    if (path == "/pc/information/get_depth")
        return DepthPage(serial);
    if (path == "/pc/inform/modify")
        return "{\"errno\":0,\"time\":1765000001,\"data\":[" +
               Entry("del", serial, "{\"status\":0}", 2, 2000 + serial) + "]}";
    if (path == "/pc/exclusive/column_article_list")
        return ArticlePage(serial);
    static const std::map<std::string, std::string> kData = {
        {"/pc/information/get_count_by_ids", R"({"reading_num":{"1":3},"comment_num":{"1":1}})"},
        {"/pc/exclusive/column_list", R"({"column_list":[{"column_id":7,"title":"t"}]})"},
        {"/pc/information/sum_article_list", R"({"list":{"1":{"id":1,"title":"t"}}})"},
        {"/pc/time_axis/reddot", R"([{"date":"2026-12-01","nums":2}])"},
        {"/pc/time_axis/get_list_by_day", R"([{"id":1,"title":"t","brief":"b"}])"},
        {"/pc/time_axis/get_info_by_id", R"({"id":1,"title":"t","content":"c"})"},
        {"/pc/rt/stock_notice", R"({"list":[{"hashid":"h","title":"t","publish_time":1765000000}]})"},
        {"/pc/rt/stock_landmine", R"({"list":[{"id":"m","title":"t","publish_time":2026120300000}]})"},
        {"/v1/market/get_list", R"([{"id":"n","type":"1","title":"t"}])"},
        {"/pc/rt/stock_dragon", R"({"list":[{"k":[{"amt":1,"msg":"m","buyer":[{"name":"a","buy":1}]}]}]})"},
    };
    const auto data = kData.find(path);
    return Envelope(data == kData.end() ? "{}" : data->second);
}

}  // namespace body
