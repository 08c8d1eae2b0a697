#include "bench/bench_bodies.h"

#include <cstdint>
#include <cstdio>

namespace benchbody {
namespace {

// Common characters of news text, each three bytes of UTF-8.
const char* const kCharacters[] = {
    "公", "司", "发", "布", "告", "称", "年", "月", "日", "市", "场", "资", "金", "股", "份", "行",
    "业", "产", "品", "经", "营", "收", "入", "增", "长", "同", "比", "利", "润", "投", "者", "关",
    "注", "政", "策", "国", "内", "外", "新", "能", "源", "汽", "车", "电", "池", "芯", "片", "半",
    "导", "体", "医", "药", "银", "券", "商", "保", "险", "基", "债", "期", "货", "指", "数", "涨",
    "跌", "幅", "板", "块", "龙", "头", "机", "构", "北", "向", "净", "买", "卖", "出", "成", "交",
    "额", "亿", "元", "万", "手", "计", "划", "项", "目", "合", "作", "协", "议", "签", "署", "中",
};
const int kCharacterCount = sizeof(kCharacters) / sizeof(kCharacters[0]);

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Below 2^31, for counts.
int Count(std::uint64_t seed, int below) { return static_cast<int>(Mix(seed) % static_cast<std::uint64_t>(below)); }

// A JSON object written member by member, in order. Text needs no escaping here.
class Object {
public:
    Object& Text(const std::string& key, const std::string& value) { return Raw(key, "\"" + value + "\""); }
    Object& Number(const std::string& key, long long value) { return Raw(key, std::to_string(value)); }
    Object& Number(const std::string& key, unsigned long long value) { return Raw(key, std::to_string(value)); }
    Object& Number(const std::string& key, int value) { return Raw(key, std::to_string(value)); }
    Object& Raw(const std::string& key, const std::string& json) {
        json_ += (json_.size() > 1 ? ",\"" : "\"") + key + "\":" + json;
        return *this;
    }
    std::string json() const { return json_ + "}"; }

private:
    std::string json_ = "{";
};

std::string Join(const std::vector<std::string>& parts) {
    std::string text = "[";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            text += ',';
        text += parts[i];
    }
    return text + "]";
}

std::string Url(const char* path, long long id) {
    return "https://www.news-service.example/" + std::string(path) + "/" + std::to_string(id);
}

std::string Party(unsigned long long seed) {
    return Object()
        .Text("name", ChineseText(seed, 12) + "证券营业部")
        .Raw("buy", std::to_string(Mix(seed) % 90000000) + ".25")
        .Raw("sell", std::to_string(Mix(seed + 1) % 50000000) + ".5")
        .json();
}

// An announcement or a land-mine: the same item under another name for its id.
std::string NoticeItem(const char* idKey, const std::string& id, unsigned long long seed, long long time) {
    return Object()
        .Text(idKey, id)
        .Text("url", Url("notice", static_cast<long long>(seed)) + ".pdf")
        .Text("title", ChineseText(seed, 30))
        .Text("brief", ChineseText(seed + 1, 80))
        .Text("location", "sh")
        .Number("publish_time", time)
        .json();
}

}  // namespace

std::string ChineseText(unsigned long long seed, int characters) {
    std::string text;
    text.reserve(static_cast<std::size_t>(characters) * 3 + 8);
    std::uint64_t state = Mix(seed);
    for (int i = 0; i < characters; ++i) {
        if (i % 16 == 0)
            state = Mix(state + static_cast<std::uint64_t>(i));
        text += kCharacters[(state >> ((i % 16) * 4)) % kCharacterCount];
        if (i % 23 == 22 && i + 1 < characters)
            text += "，";
    }
    return text;
}

std::string Envelope(const std::string& data, unsigned long long time) {
    return Object().Number("errno", 0).Text("msg", "").Number("time", time).Raw("data", data).json();
}

std::string RollElement(const std::string& operation, int id, int status, unsigned long long operationTime) {
    const unsigned long long seed = static_cast<unsigned long long>(id) * 31 + operationTime;
    const std::string info = Object()
                                 .Number("id", id)
                                 .Text("title", "")
                                 .Text("author", "财经快讯")
                                 .Text("content", "【" + ChineseText(seed, 12) + "】" +
                                                      ChineseText(seed + 7, 60 + Count(seed, 140)))
                                 .Number("bold", id % 9 == 0 ? 1 : 0)
                                 .Number("reading_num", Count(seed, 50000))
                                 .Number("comment_num", Count(seed, 300))
                                 .Number("recommend", 0)
                                 .Number("ctime", ScoreOf(id) / 1000)
                                 .Number("sort_score", ScoreOf(id))
                                 .Text("shareurl", Url("share/telegraph", id))
                                 .Text("showurl", Url("detail", id))
                                 .Number("status", status)
                                 .Number("collection", 0)
                                 .Text("level", id % 9 == 0 ? "A" : "C")
                                 .json();
    return Object()
        .Number("id", id)
        .Number("type", -1)
        .Text("operation", operation)
        .Number("operation_time", operationTime)
        .Raw("info", info)
        .json();
}

std::string RollPage(const std::vector<std::string>& elements, unsigned long long time) {
    return Envelope(Object().Raw("list", Join(elements)).json(), time);
}

std::string DepthArticle(int id, unsigned long long sortScore, bool isTop, int status, int columnId) {
    const unsigned long long seed = static_cast<unsigned long long>(id) * 17;
    std::vector<std::string> related;
    for (int i = 1; i <= 3; ++i) {
        related.push_back(Object()
                              .Text("article_id", std::to_string(id - i * 7))
                              .Text("name", ChineseText(seed + i, 18))
                              .Text("showurl", Url("depth", id - i * 7))
                              .json());
    }
    return Object()
        .Number("id", id)
        .Number("type", 2)
        .Number("column_id", columnId)
        .Text("short_title", ChineseText(seed, 10))
        .Text("title", ChineseText(seed + 1, 24))
        .Text("author", ChineseText(seed + 2, 3))
        .Text("brief", ChineseText(seed + 3, 80))
        .Text("img", Url("img/depth", id) + ".jpg")
        .Text("jump", Url("depth", id))
        .Number("ctime", sortScore / 1000)
        .Number("sort_score", sortScore)
        .Number("recommend", id % 5 == 0 ? 1 : 0)
        .Raw("is_top", isTop ? "true" : "false")
        .Number("reading_num", Count(seed, 90000))
        .Number("comment_num", Count(seed, 500))
        .Number("status", status)
        .Text("shareurl", Url("share/depth", id))
        .Text("showurl", Url("depth", id) + "?show=1")
        .Raw("article_rec", Join(related))
        .json();
}

std::string DepthPage(const std::vector<std::string>& articles) {
    std::vector<std::string> banners;
    for (int i = 0; i < 3; ++i) {
        banners.push_back(Object()
                              .Text("title", ChineseText(900 + static_cast<unsigned long long>(i), 16))
                              .Text("img", Url("img/banner", i) + ".png")
                              .Text("jump", Url("topic", i))
                              .json());
    }
    return Envelope(Object().Raw("banner", Join(banners)).Raw("list", Join(articles)).json());
}

std::string InformEntry(const std::string& operation, int id, int type, unsigned long long operationTime,
                        const std::string& info) {
    return Object()
        .Number("id", id)
        .Number("type", type)
        .Text("operation", operation)
        .Number("operation_time", operationTime)
        .Raw("info", info)
        .json();
}

std::string InformPage(const std::vector<std::string>& entries, unsigned long long time) {
    return Envelope(Join(entries), time);
}

std::string ExclusiveArticle(int id, int columnId, unsigned long long sortScore, int status) {
    const unsigned long long seed = static_cast<unsigned long long>(id) * 13;
    return Object()
        .Number("id", id)
        .Number("type", 2)
        .Number("column_id", columnId)
        .Text("title", ChineseText(seed, 22))
        .Text("author", ChineseText(seed + 1, 3))
        .Text("brief", ChineseText(seed + 2, 90))
        .Number("comment_num", Count(seed, 400))
        .Number("reading_num", Count(seed, 80000))
        .Number("ctime", sortScore / 1000)
        .Number("sort_score", sortScore)
        .Number("status", status)
        .Text("showurl", Url("exclusive", id))
        .Text("neican_img", Url("img/neican", id) + ".png")
        .json();
}

std::string ArticleListPage(const std::vector<std::string>& articles) {
    return Envelope(Object().Raw("list", Join(articles)).json());
}

std::string EssencePage(int entries) {
    Object list;
    for (int i = 0; i < entries; ++i) {
        const int id = 710000 + i;
        const unsigned long long seed = static_cast<unsigned long long>(id) * 11;
        list.Raw(std::to_string(id), Object()
                                         .Number("id", id)
                                         .Number("type", 2)
                                         .Text("img", Url("img/essence", id) + ".jpg")
                                         .Text("brief", ChineseText(seed, 60))
                                         .Text("content", ChineseText(seed + 1, 200))
                                         .Number("sort_score", ScoreOf(id))
                                         .Number("ctime", ScoreOf(id) / 1000)
                                         .Text("title", ChineseText(seed + 2, 24))
                                         .Text("showurl", Url("essence", id))
                                         .json());
    }
    return Envelope(Object().Raw("list", list.json()).json());
}

std::string AnnouncementPage(int items) {
    std::vector<std::string> list;
    for (int i = 0; i < items; ++i) {
        const unsigned long long seed = 300000 + static_cast<unsigned long long>(i);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Mix(seed)));
        list.push_back(NoticeItem("hashid", std::string(hash) + hash, seed, 1764990000 - i * 3600LL));
    }
    return Envelope(Object().Raw("list", Join(list)).json());
}

std::string LandMinePage(int items, long long firstTime, long long step) {
    std::vector<std::string> list;
    for (int i = 0; i < items; ++i) {
        const unsigned long long seed = 400000 + static_cast<unsigned long long>(i);
        list.push_back(NoticeItem("id", std::to_string(seed), seed, firstTime - i * step));
    }
    return Envelope(Object().Raw("list", Join(list)).json());
}

std::string StockNewsPage(int items) {
    std::vector<std::string> list;
    for (int i = 0; i < items; ++i) {
        const unsigned long long seed = 500000 + static_cast<unsigned long long>(i);
        const long long time = 1764990000 - i * 600LL;
        list.push_back(Object()
                           .Text("id", std::to_string(seed))
                           .Text("type", "1")
                           .Text("column_id", std::to_string(i % 7 + 1))
                           .Text("type_name", "公司新闻")
                           .Text("title", ChineseText(seed, 26))
                           .Text("img", Url("img/news", static_cast<long long>(seed)) + ".jpg")
                           .Text("level", "B")
                           .Text("brief", ChineseText(seed + 1, 70))
                           .Number("ctime", time)
                           .Number("operation_time", time)
                           .Text("showurl", Url("news", static_cast<long long>(seed)))
                           .json());
    }
    return Envelope(Join(list));
}

std::string UnusualTradingPage(int groups, int itemsPerGroup) {
    Object days;
    for (int g = 0; g < groups; ++g) {
        char date[16];
        std::snprintf(date, sizeof date, "2026-%02d-%02d", 1 + g / 28 % 12, 1 + g % 28);
        std::vector<std::string> items;
        for (int i = 0; i < itemsPerGroup; ++i) {
            const unsigned long long seed = 600000 + static_cast<unsigned long long>(g * 100 + i);
            std::vector<std::string> buyers;
            std::vector<std::string> sellers;
            for (unsigned long long p = 0; p < 5; ++p) {
                buyers.push_back(Party(seed * 10 + p));
                sellers.push_back(Party(seed * 10 + 5 + p));
            }
            items.push_back(Object()
                                .Raw("amt", std::to_string(Mix(seed) % 900000000) + ".75")
                                .Text("msg", ChineseText(seed, 28))
                                .Text("type", "日涨幅偏离值达到7%的证券")
                                .Raw("buyer", Join(buyers))
                                .Raw("seller", Join(sellers))
                                .json());
        }
        days.Raw(date, Join(items));
    }
    return Envelope(Object().Raw("list", "[" + days.json() + "]").json());
}

std::string EventListPage(int events) {
    std::vector<std::string> list;
    for (int i = 0; i < events; ++i) {
        const unsigned long long seed = 800000 + static_cast<unsigned long long>(i);
        list.push_back(Object()
                           .Number("id", seed)
                           .Text("title", ChineseText(seed, 20))
                           .Text("brief", ChineseText(seed + 1, 90))
                           .json());
    }
    return Envelope(Join(list));
}

std::string CounterPage(const std::vector<int>& ids) {
    Object reading;
    Object comment;
    for (int id : ids) {
        reading.Number(std::to_string(id), Count(static_cast<std::uint64_t>(id), 90000));
        comment.Number(std::to_string(id), Count(static_cast<std::uint64_t>(id), 900));
    }
    return Envelope(Object().Raw("reading_num", reading.json()).Raw("comment_num", comment.json()).json());
}

}  // namespace benchbody
