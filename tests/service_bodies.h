#pragma once

// Well-formed news-service answers for every endpoint, for tests that deliver
// whatever is pending without caring which request it was. `serial` makes each
// answer carry new ids, newer than the ones before.

#include <string>

namespace servicebody {

inline std::string Envelope(const std::string& data) {
    return "{\"errno\":0,\"time\":1765000000,\"data\":" + data + "}";
}

inline std::string TelegraphPage(int serial) {
    std::string list;
    for (int i = 0; i < 3; ++i) {
        const std::string id = std::to_string(serial * 3 + i + 1);
        const std::string score = std::to_string(1000000 + serial * 10 + i);
        list += std::string(list.empty() ? "" : ",") + "{\"id\":" + id +
                ",\"type\":-1,\"operation\":\"add\",\"operation_time\":" + std::to_string(1000 + serial) +
                ",\"info\":{\"id\":" + id + ",\"sort_score\":" + score + ",\"status\":1,\"content\":\"c\"}}";
    }
    return Envelope("{\"list\":[" + list + "]}");
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
        return "{\"errno\":0,\"time\":1765000001,\"data\":[{\"id\":" + std::to_string(serial) +
               ",\"type\":2,\"operation\":\"del\",\"operation_time\":" + std::to_string(2000 + serial) +
               ",\"info\":{\"status\":0}}]}";
    if (path == "/pc/information/get_count_by_ids")
        return Envelope("{\"reading_num\":{\"1\":3},\"comment_num\":{\"1\":1}}");
    if (path == "/pc/exclusive/column_list")
        return Envelope("{\"column_list\":[{\"column_id\":7,\"title\":\"t\"}]}");
    if (path == "/pc/exclusive/column_article_list")
        return ArticlePage(serial);
    if (path == "/pc/information/sum_article_list")
        return Envelope("{\"list\":{\"1\":{\"id\":1,\"title\":\"t\"}}}");
    if (path == "/pc/time_axis/reddot")
        return Envelope("[{\"date\":\"2026-12-01\",\"nums\":2}]");
    if (path == "/pc/time_axis/get_list_by_day")
        return Envelope("[{\"id\":1,\"title\":\"t\",\"brief\":\"b\"}]");
    if (path == "/pc/time_axis/get_info_by_id")
        return Envelope("{\"id\":1,\"title\":\"t\",\"content\":\"c\"}");
    if (path == "/pc/rt/stock_notice")
        return Envelope("{\"list\":[{\"hashid\":\"h\",\"title\":\"t\",\"publish_time\":1765000000}]}");
    if (path == "/pc/rt/stock_landmine")
        return Envelope("{\"list\":[{\"id\":\"m\",\"title\":\"t\",\"publish_time\":2026120300000}]}");
    if (path == "/v1/market/get_list")
        return Envelope("[{\"id\":\"n\",\"type\":\"1\",\"title\":\"t\"}]");
    if (path == "/pc/rt/stock_dragon")
        return Envelope("{\"list\":[{\"k\":[{\"amt\":1,\"msg\":\"m\",\"buyer\":[{\"name\":\"a\",\"buy\":1}]}]}]}");
    return Envelope("{}");
}

}  // namespace servicebody
