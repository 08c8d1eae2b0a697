#include "tools/news_service_sim/sim_text.h"

#include <vector>

namespace news_sim {

namespace {

const std::vector<std::string> kSubjects = {
    "央行",        "统计局",   "多家券商",   "新能源车企", "半导体板块", "北向资金",   "两市成交额", "创业板指",
    "国际油价",    "美元指数", "黄金期货",   "光伏产业链", "消费电子",   "港股科技股", "AI算力概念", "储能板块",
    "公募基金",    "REITs",    "医药生物",   "跨境电商",   "高股息板块", "ETF市场",    "CPI数据",    "PMI指数",
};

const std::vector<std::string> kPredicates = {
    "持续走强",         "午后快速拉升", "小幅回落",       "发布最新数据",   "召开专题会议",
    "成交额突破万亿",   "迎来密集调研", "披露季度业绩",   "宣布新一轮扩产", "获得资金净流入",
    "创阶段新高",       "震荡整理",     "出现分化走势",   "获机构集体上调", "公布Q3运营数据",
};

const std::vector<std::string> kDetails = {
    "多只个股涨超5%，板块内成交明显放大。",
    "分析人士认为短期仍有反复，建议关注业绩确定性。",
    "相关ETF盘中溢价率一度超过1.2%。",
    "市场人士表示，政策预期升温带动风险偏好回暖。",
    "据不完全统计，本周已有超过30家机构参与调研。",
    "同比增长12.4%，环比增长3.1%，好于市场预期。",
    "截至发稿，主力资金净流入约8.6亿元。",
    "海外市场同步走高，纳斯达克指数期货涨0.8%。",
};

const std::vector<std::string> kAuthors = {
    "快讯编辑部", "财经新闻组", "研究所 Desk A", "市场观察", "宏观研究组", "Newsroom B",
};

const std::vector<std::string> kPartyKinds = {
    "机构专用", "沪股通专用", "深股通专用", "东岭证券上海浦江路营业部", "南桥证券深圳福田路营业部",
    "北辰证券北京金融街营业部", "西湖证券杭州文三路营业部", "江海证券南京中山路营业部",
};

}  // namespace

std::string Headline(SimRandom& random) { return random.Pick(kSubjects) + random.Pick(kPredicates); }

std::string FlashContent(SimRandom& random) {
    return "【" + Headline(random) + "】" + random.Pick(kDetails);
}

std::string Brief(SimRandom& random) { return random.Pick(kDetails); }

std::string Author(SimRandom& random) { return random.Pick(kAuthors); }

std::string Paragraph(SimRandom& random, int sentences) {
    std::string text;
    for (int i = 0; i < sentences; ++i) text += Headline(random) + "，" + random.Pick(kDetails);
    return text;
}

std::string PartyName(SimRandom& random) { return random.Pick(kPartyKinds); }

}  // namespace news_sim
