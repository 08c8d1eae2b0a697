// Every feed end to end against the in-process simulator and the real host libraries, driven from several threads
// while the world moves (the fault run while the service fails, garbles, errs, delays and stalls requests; its
// length LX_FAULT_RUN_SECONDS, 20 s). Each fault must leave exactly its log line; every feed must hold the truth.

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <shared_mutex>
#include <sstream>
#include <thread>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "news_center/news_center.h"
#include "tests/sim_test_support.h"
#include "tools/lxnews/feed_views.h"

namespace {

using namespace e2e;
using std::chrono::milliseconds;
using testsupport::WaitUntil;

// Calls `send` with a callback; the arguments of its first call. The callback may outlive this.
template <class... Args, class Send>
std::tuple<std::decay_t<Args>...> Await(Send send) {
    auto capture = std::make_shared<testsupport::Capture<Args...> >();
    send([capture](Args... args) { capture->callback()(args...); });
    if (WaitUntil([&] { return capture->count() > 0; }, kHang)) return capture->all().front();
    ADD_FAILURE() << "a callback never came";
    return {};
}

// The client's views, rebuilt from the change sets, and the refresh cycles of each (0 telegraph, 1 depth).
struct Views : ITelegraphObserver, IDepthObserver {
    template <class Call>
    auto Locked(Call call) {
        std::lock_guard<std::mutex> lock(mutex);
        return call();
    }
    void OnTelegraphRefreshBegin() override { ++begins[0]; }
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override {
        Locked([&] { return telegraph.Apply(changes), ended[0] = begins[0].load(); });
    }
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
    void OnDepthRefreshBegin() override { ++begins[1]; }
    // After a failed edit fetch the publisher can list a newly pinned article twice (pinned, and still normal), and
    // a later removal or unpinning takes one copy only: such articles are noted.
    void OnDepthUpdate(bool, const DepthUpdate& changes) override {
        std::lock_guard<std::mutex> lock(mutex);
        depth.Apply(changes);
        ended[1] = begins[1].load();
        const std::vector<int> top = depth.topIds();
        for (int id : depth.normalIds())
            if (std::count(top.begin(), top.end(), id)) doubled.insert(id);
    }
    void OnDepthCountersUpdate(CountInfoMap) override {}

    // A refresh is skipped while a cycle runs: asks every half second until a cycle begun after this call delivered.
    bool RefreshUntilFreshCycle(int feed, const std::function<void()>& refresh) {
        const int marker = begins[feed];
        int polls = 0;
        return WaitUntil([&] {
            if (polls++ % 500 == 0) refresh();
            return ended[feed] > marker;
        }, kHang);
    }

    std::mutex mutex;  // guards the views and `doubled`
    lxnews::TelegraphView telegraph;
    lxnews::DepthView depth;
    std::set<int> doubled;
    std::atomic<int> begins[2] = {}, ended[2] = {};
};

// The log lines of each operation by the route its requests take: the path, its refresh_type ("" none, "0" or
// "1", "*" any), then how the lines of an unreadable body, a failed transfer and an errno begin, where `~` stands
// for the first and "" for a silent failure. A route may carry several operations.
struct OperationLines {
    const char *path, *refreshType, *parse, *fail = "~ Code fail", *error = "~ Response";
    // Kind 0 a failed transfer, 1 an unreadable body, 2 an errno; "" where it is silent.
    std::string Line(int kind) const {
        std::string text = kind == 0 ? fail : kind == 1 ? "~" : error;
        if (!text.empty() && text[0] == '~') text.replace(0, 1, parse);
        return text.empty() ? text : text + (kind == 1 ? " Json Parse Error Code: " : kind == 2 ? " Error Code: " : "");
    }
    // Whether `message` is the line of failure `kind`, then a number (the simulator's errno is 5) or a URL.
    bool IsLine(const std::string& message, int kind) const {
        const std::string line = Line(kind);
        return !line.empty() && message.compare(0, line.size(), line) == 0 &&
               std::regex_match(message.substr(line.size()), std::regex(kind == 2 ? "5" : "|-?[0-9]+| http://\\S+"));
    }
};
const OperationLines kOperations[] = {
    {"/pc/information/get_count_by_ids", "", "CommonPublisher::RequestCountInfo", "~ Failed!"},
    {"/pc/roll/batch_show", "0", "", "", ""},
    {"/pc/roll/batch_show", "1", "TelegraphPublisher::RequestEarlierTelegraph", "~ Failed!"},
    {"/pc/information/get_depth", "0", "DepthPublisher::NotifySubscriber", ""},
    {"/pc/information/get_depth", "1", "DepthPublisher::RequestEarlierDepth"},
    {"/pc/inform/modify", "", "DepthPublisher::MergeInformModifyListToCache",
     "DepthPublisher::RequestInformModify Failed: url ="},
    {"/pc/inform/modify", "", "", "ExclusivePublisher::RequestInformModify Failed: url =",
     "ExclusivePublisher::RequestInformModify Response"},
    {"/pc/exclusive/column_list", "", "ExclusivePublisher::RequestColumnList", "~ Code fail",
     "DepthPublisher::RequestColumnList Response"},
    {"/pc/exclusive/column_article_list", "", "ExclusivePublisher::RequestArticleList", "~ Code fail",
     "DepthPublisher::RequestArticleList Response"},
    {"/pc/exclusive/column_article_list", "", "ExclusivePublisher::RequestArticleListOperation",
     "ExclusivePublisher::RequestArticleListOp Code fail", "DepthPublisher::RequestArticleListOperation Response"},
    {"/pc/exclusive/column_article_list", "1", "ExclusivePublisher::RequestEarlierArticleList",
     "ExclusivePublisher::RequestEarlierArticle Code fail", "DepthPublisher::RequestEarlierArticleList Response"},
    {"/pc/information/sum_article_list", "*", "CInformationEssence::FetchInformationEssence", "~ Code fail", "~"},
    {"/pc/time_axis/reddot", "", "TimelinePublisher::RequestReddot"},
    {"/pc/time_axis/get_list_by_day", "", "TimelinePublisher::RequestEventList"},
    {"/pc/time_axis/get_info_by_id", "", "TimelinePublisher::RequestEventDetail"},
    {"/pc/rt/stock_notice", "", "CStockAnnouncementPublisher::RequestStockAnnouncementList", "~ Code fail", "~"},
    {"/pc/rt/stock_landmine", "", "CStockLandMine::RequestStockLandMineList", "~ Code fail", "~"},
    {"/v1/market/get_list", "*", "CStockNews::RequestStockNewsList", "~ Code fail", "~"},
    {"/pc/rt/stock_dragon", "", "CStockUnusualTrading::FetchStockUnusualTrading", "~ Code fail", "~"},
};

const auto IdsAndTexts = [](const auto& records, auto text) {
    return RowsOf(records, [&](const auto& r) { return Row(r.id, r.*text); });
};
const auto Each = [](auto toRow) { return [=](const auto& records) { return RowsOf(records, toRow); }; };
const auto Items = [](auto toRow) { return [=](const auto& value) { return RowsOf(value.items, toRow); }; };
// What `path` serves for `query` ("a=1&b=$", "$" the stock), as rows of the space-separated `keys`.
const auto Serves = [](const wchar_t* path, const std::string& query, const char* keys) {
    return [=](const std::wstring& stock) {
        std::map<std::string, std::string> params;
        const QString withStock = QString::fromStdString(query).replace("$", QString::fromStdWString(stock));
        for (const QString& param : withStock.split('&'))
            params[Text(param.section('=', 0, 0))] = Text(param.section('=', 1));
        return Rows(Served(path, params), QString(keys).split(' '));
    };
};

const std::wstring kStocks[] = {L"sh600519", L"sz000001", L"sz300750", L"sh601318", L"bj430047"};

// A feed: sending a request (for a stock, if it takes one), its answer and what the service holds, as rows.
struct Feed {
    const char* name;
    std::function<void(const std::wstring&)> send;
    std::function<Rowed(const std::wstring&)> held, served;
};
// Answering through a callback, `call(callback)`: the rows of its last argument.
template <class... Args, class ToRows, class Call, class Serve>
Feed Calls(const char* name, ToRows rows, Call call, Serve served) {
    return {name, [=](auto&) { call([](Args...) {}); },
            [=](auto&) { return rows(std::get<sizeof...(Args) - 1>(Await<Args...>(call))); }, served};
}
// Answering an observer attached to `publisher`: the rows of the value after the next `skip`.
template <class Value, class Publisher, class ToRows, class Send, class Serve>
Feed Delivers(const char* name, Publisher* publisher, ToRows rows, Send send, Serve served, std::size_t skip = 0) {
    const auto to = std::make_shared<testsupport::Recorder<Value> >();
    publisher->Attach(to.get());
    return {name, send, [=](const std::wstring& stock) {
                const std::size_t seen = to->count() + skip;
                send(stock);
                EXPECT_TRUE(WaitUntil([&] { return to->count() > seen; }, kHang)) << name;
                return rows(to->last());
            }, served};
}

class RunTest : public ::testing::Test {
protected:
    // As a host would for this load: stalled requests must not hold up the rest.
    static void SetUpTestSuite() { netwk::SetNetworkThreadCount(8); }
    void SetUp() override {
        std::remove(logPath_.c_str());
        base::SetProgramLogFile(logPath_.wstring());
        GetTelegraphPublisher()->Subscribe(&views_);
        GetDepthPublisher()->Subscribe(&views_);
        GetCommonPublisher(), GetTimelinePublisher(), GetExclusivePublisher();  // created before threads share them
    }
    void TearDown() override {
        DestroyAllPublisher();
        sim_->Stop();
        base::SetProgramLogFile(std::wstring());
        std::remove(logPath_.c_str());
    }

    void Run(const news_sim::SimFaults& faults, int seconds, int ticksPerStep);
    std::vector<Feed> Feeds() const;
    // What follows "time [thread] [level] " in each log line.
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        std::ifstream in(logPath_);
        for (std::string line; std::getline(in, line);)
            messages.push_back(line.substr(line.find("] ", line.find("] [") + 3) + 2));
        return messages;
    }
    // What does not add up: the lines of each kind per route against the faults injected there (bounded only where
    // some operation of the route keeps that kind silent), and lines of no operation.
    std::string Accounting() const {
        std::map<std::pair<std::string, std::string>, std::array<long long, 3> > lines;
        std::map<std::pair<std::string, std::string>, std::array<bool, 3> > bounded;
        for (const OperationLines& op : kOperations)
            for (int kind = 0; kind < 3; ++kind) bounded[{op.path, op.refreshType}][kind] |= op.Line(kind).empty();
        std::ostringstream problems;
        for (const std::string& message : Messages()) {
            bool known = false;
            for (const OperationLines& op : kOperations)
                for (int kind = 0; kind < 3; ++kind)
                    if (op.IsLine(message, kind)) {
                        ++lines[{op.path, op.refreshType}][kind];
                        known = true;
                    }
            if (!known) problems << "logged: " << message << "\n";
        }
        for (const auto& [route, silent] : bounded) {
            long long faults[3] = {};
            for (const std::string type : {"0", "1", ""})
                if (route.second == type || route.second == "*") {
                    const auto t = sim_->faultTally(route.first + (type.empty() ? "" : "?refresh_type=" + type));
                    faults[0] += t.stalls + t.failures;
                    faults[1] += t.malformed;
                    faults[2] += t.errnos;
                }
            for (int kind = 0; kind < 3; ++kind)
                if (silent[kind] ? lines[route][kind] > faults[kind] : lines[route][kind] != faults[kind])
                    problems << route.first << route.second << ": kind " << kind << ", " << lines[route][kind]
                             << " lines, " << faults[kind] << " faults\n";
        }
        return problems.str();
    }

    std::unique_ptr<news_sim::NewsServiceSim> sim_ = StartSim();
    const std::filesystem::path logPath_ =
        std::filesystem::temp_directory_path() / ("lx_e2e_" + std::to_string(::getpid()));
    Views views_;
    std::vector<Feed> feeds_;  // their observers stay attached until TearDown
};

std::vector<Feed> RunTest::Feeds() const {
    // Not the paged column: a first page there would move the publisher's cursor behind the view's back.
    const std::string column = std::to_string(sim_->state().columnIds().back());
    const QJsonArray events = Served(L"/pc/time_axis/get_list_by_day", {{"date", "2024-03-04"}, {"rn", "50"}});
    const std::string event = Text(events[0]["id"]);
    const unsigned int today = common::GetCurrentServerDate();
    const unsigned int start = common::ServerDateOfDay(common::ServerDayOf(std::time(nullptr)) - 200);
    const std::string from = std::to_string(common::DateToTime(start, 0, 0, 0));
    const std::string to = std::to_string(common::DateToTime(today, 23, 59, 59));
    const auto counts = [](auto&) {
        const QJsonValue served = Fetch(L"/pc/information/get_count_by_ids", {{"ids", "880001,510003,42"}});
        return RowsOf(QStringList{"42", "510003", "880001"},
                      [&](const QString& id) { return Row(id, served["reading_num"][id], served["comment_num"][id]); });
    };
    const auto essenceByName = [](auto&) {  // ascending member names are the delivery order
        const QJsonValue byName = Fetch(L"/pc/information/sum_article_list",
                                        {{"last_time", "0"}, {"refresh_type", "0"}, {"rn", "50"}})["list"];
        return Rows(QJsonArray::fromVariantList(byName.toObject().toVariantMap().values()), {"id", "title", "ctime"});
    };
    const auto unusualDays = [](const std::wstring& s) {  // newest first
        Rowed days;
        const QJsonArray served = Served(L"/pc/rt/stock_dragon", {{"stock_arr", "[\"" + Text(s) + "\"]"}});
        for (const QString& day : served[0].toObject().keys()) days.insert(days.begin(), Row(day));
        return days;
    };
    return {
        Calls<const CountInfoMap&>("counters", Each([](auto& c) { return Row(c.first, c.second.reading_num,
                                                                              c.second.comment_num); }),
            [](auto done) { GetCommonPublisher()->RequestCountInfo({880001, 0, 510003, 42}, done); }, counts),
        Calls<const std::list<ExclusiveColumn>&>("columns", Each([](auto& c) { return Row(c.column_id, c.title); }),
            [](auto done) { GetExclusivePublisher()->RequestColumnList(done); },
            [](auto&) { return Rows(Fetch(L"/pc/exclusive/column_list", {})["column_list"].toArray(), {"column_id",
                                                                                                        "title"}); }),
        Calls<int, const std::list<ExclusiveArticle>&>("column page",
            Each([](auto& a) { return Row(a.id, a.title, a.sort_score); }),
            [=](auto done) { GetExclusivePublisher()->RequestArticleList(std::stoi(column), done); },
            Serves(L"/pc/exclusive/column_article_list", "column_id=" + column + "&rn=15", "id title sort_score")),
        Calls<const std::list<TimelineReddot>&>("timeline days", Each([](auto& d) { return Row(d.date, d.nums); }),
            [](auto done) { GetTimelinePublisher()->RequestReddot(L"2024-03-01", L"2024-03-10", done); },
            Serves(L"/pc/time_axis/reddot", "start_date=2024-03-01&end_date=2024-03-10", "date nums")),
        Calls<const std::list<TimelineEvent>&>("timeline events", Each([](auto& e) { return Row(e.id, e.title); }),
            [](auto done) { GetTimelinePublisher()->RequestEventList(L"2024-03-04", done); },
            [=](auto&) { return Rows(events, {"id", "title"}); }),
        Calls<const TimelineEventDetail&>("timeline event",
            [](const auto& e) { return Rowed{Row(e.id, e.title, e.content)}; },
            [=](auto done) { GetTimelinePublisher()->RequestEventDetail(std::stoul(event), done); },
            [=](auto&) { return Rows({Fetch(L"/pc/time_axis/get_info_by_id", {{"id", event}})}, {"id", "title",
                                                                                                  "content"}); }),
        Delivers<std::list<InformationEssence> >("essence", GetInformationEssence(),
            Each([](auto& e) { return Row(e.id, e.title, e.ctime); }),
            [](auto&) { GetInformationEssence()->FetchInformationEssence(0, 0, 50); }, essenceByName),
        Delivers<StockAnnouncement>("announcements", GetStockAnnouncement(),
            Items([](auto& i) { return Row(i.hashid, i.title, i.publish_time); }),
            [](auto& s) { GetStockAnnouncement()->RequestStockAnnouncementList(s, 2, 10); },
            Serves(L"/pc/rt/stock_notice", "stock=$&page=2&rn=10", "hashid title publish_time")),
        Delivers<StockLandMine>("land mines", GetStockLandMine(),
            Items([](auto& i) { return Row(i.id, i.title, i.publish_time); }),
            [=](auto& s) { GetStockLandMine()->RequestStockLandMineList(s, start, today); },
            Serves(L"/pc/rt/stock_landmine", "stock=$&start=" + from + "&end=" + to, "id title publish_time"),
            1),  // after a reset
        Delivers<StockNewsInfo>("stock news", GetStockNews(),
            Items([](auto& i) { return Row(i.id, i.type, i.column_id, i.title, i.ctime); }),
            [](auto& s) { GetStockNews()->RequestStockNewsList(2, s, 0, 0, 10); },
            Serves(L"/v1/market/get_list", "unique_key=$&type=2&last_time=0&refresh_type=0&rn=10&time=0",
                   "id type column_id title ctime")),
        Delivers<StockUnusualTradingInfo>("unusual trading", GetStockUnusualTrading(),
            [](const auto& v) { return RowsOf(v.groups, [](auto& g) { return Row(g.key); }); },
            [](auto& s) { GetStockUnusualTrading()->FetchStockUnusualTrading(s); }, unusualDays),
    };
}

void RunTest::Run(const news_sim::SimFaults& faults, int seconds, int ticksPerStep) {
    feeds_ = Feeds();
    ITelegraphPublisher* telegraph = GetTelegraphPublisher();
    IDepthPublisher* depth = GetDepthPublisher();
    IExclusivePublisher* exclusive = GetExclusivePublisher();
    const int column = sim_->state().columnIds().front();
    lxnews::ColumnView columnView;  // the exclusive driver's until the drivers end
    const auto columnUpdate = [&] {
        columnView.Apply(std::get<1>(Await<int, const ExclusiveUpdate&>(
            [&](auto done) { exclusive->RequestArticleListOperation(column, done); })));
    };
    sim_->SetFaults(faults);
    std::atomic<int> olderPages[3] = {};
    // The world holds still while an older page is on its way: an operation made meanwhile could be applied before
    // the page's records are in the cache (or the view), and be lost, as page handling has no version check.
    std::shared_mutex olderPageInFlight;
    const auto older = [&](int round) {
        using Lock = std::shared_lock<std::shared_mutex>;
        return round % 8 == 3 ? Lock(olderPageInFlight) : Lock();
    };
    // Each driver calls `step(round)` every `period` ms until the end.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> drivers;
    const auto drive = [&](int period, auto step) {
        drivers.emplace_back([&end, period, step] {
            for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
                step(round);
                std::this_thread::sleep_for(milliseconds(period));
            }
        });
    };
    drive(250, [&](int) {  // the world: a tick is ten seconds of news
        std::unique_lock<std::shared_mutex> still(olderPageInFlight);
        sim_->state().Advance(ticksPerStep);
    });
    drive(150, [&](int round) {  // refreshes, and now and then an older page
        telegraph->Refresh();
        depth->Refresh();
        const auto still = older(round);
        const auto floor = views_.Locked([&] {
            return views_.telegraph.items().empty() || views_.depth.normal().empty() ? 0 : views_.telegraph.floor();
        });
        if (!still || floor == 0) return;
        const auto page = Await<bool, const std::list<TelegraphInfo>&>(
            [&](auto done) { telegraph->RequestEarlierTelegraph(floor, done); });
        if (!std::get<0>(page))
            views_.Locked([&] { return views_.telegraph.AddOlder(std::get<1>(page)), ++olderPages[0]; });
        const auto articles =
            std::get<0>(Await<const std::list<DepthArticle>&>([&](auto done) { depth->RequestEarlierDepth(done); }));
        if (!articles.empty()) views_.Locked([&] { return views_.depth.AddOlder(articles), ++olderPages[1]; });
    });
    drive(100, [&](int round) {  // column pages, else the column's operations
        const auto still = older(round);
        const bool first = columnView.items().empty();
        if (!first && !still) return columnUpdate();
        const auto page = std::get<1>(Await<int, const std::list<ExclusiveArticle>&>([&](auto done) {
            first ? exclusive->RequestArticleList(column, done)
                  : exclusive->RequestEarlierArticleList(column, columnView.floor(), done);
        }));
        columnView.AddPage(page);
        olderPages[2] += !first && !page.empty();
    });
    std::minstd_rand random(7);
    drive(40, [&](int round) { feeds_[round % feeds_.size()].send(kStocks[random() % 5]); });  // every feed in turn
    for (std::thread& driver : drivers) driver.join();

    // Faults off; what is in flight ends within a stall or a timeout.
    sim_->SetFaults(news_sim::SimFaults());
    WaitUntil([&] { return Accounting().empty(); }, kHang);
    EXPECT_EQ(Accounting(), "");

    // A healthy service: one more round of each paged feed, then every feed against it.
    sim_->state().Advance(1);
    ASSERT_TRUE(views_.RefreshUntilFreshCycle(0, [&] { telegraph->Refresh(); }));
    ASSERT_TRUE(views_.RefreshUntilFreshCycle(1, [&] { depth->Refresh(); }));
    columnUpdate();
    telegraph->Unsubscribe(&views_);  // the views hold still from here
    depth->Unsubscribe(&views_);
    Views late;  // handed the publisher's own cache
    telegraph->Subscribe(&late);
    telegraph->Unsubscribe(&late);
    const PagedTruth truth(*sim_, {views_.telegraph.floor(), views_.depth.floor(), column, columnView.floor()},
                           views_.doubled);
    const Rowed clients[] = {IdsAndTexts(views_.telegraph.items(), &TelegraphInfo::content),
                             IdsAndTexts(views_.depth.top(), &DepthArticle::title),
                             IdsAndTexts(views_.depth.normal(), &DepthArticle::title),
                             IdsAndTexts(columnView.items(), &ExclusiveArticle::title),
                             IdsAndTexts(late.telegraph.items(), &TelegraphInfo::content)};
    for (int list = 0; list < 5; ++list)  // the late subscriber's telegraph last
        EXPECT_EQ(truth.Comparable(list % 4, clients[list]), truth.held[list % 4]) << "list " << list;
    const bool everyKind = seconds * ticksPerStep >= 10;  // forty ticks meet every kind
    for (const QString& stream : {QString("telegraph"), QString("depth"), "column:" + QString::number(column)})
        for (const char* kind : {"modify", "hidden", "show", "del"})
            EXPECT_TRUE(!everyKind || truth.json["operations"][stream][kind].toInt() > 0)
                << Text(stream) << " saw no " << kind;
    for (int feed = 0; feed < 3; ++feed) EXPECT_GT(olderPages[feed], 0) << "no older page of paged feed " << feed;
    for (const Feed& feed : feeds_)
        for (const std::wstring& stock : kStocks) {
            EXPECT_FALSE(feed.served(stock).empty()) << feed.name;
            EXPECT_EQ(feed.held(stock), feed.served(stock)) << feed.name << " " << Text(stock);
        }
    Rowed days;  // the ten days asked for, in the service's calendar
    for (int day = 1; day <= 10; ++day) days.push_back(Row(QString::asprintf("2024-03-%02d", day)));
    EXPECT_EQ(RowsOf(feeds_[3].served(L""), [](const std::string& row) { return row.substr(0, 11); }), days);
    std::printf("%d s: %d, %d, %d older pages, %zu edits folded, %zu telegraphs\n", seconds, olderPages[0].load(),
                olderPages[1].load(), olderPages[2].load(), truth.folded.size(), views_.telegraph.items().size());
}

class HealthyRunTest : public RunTest {};
class FaultRunTest : public RunTest {};

TEST_F(HealthyRunTest, EveryFeedEqualsTheServiceAndNothingIsLogged_Sim) { Run(news_sim::SimFaults(), 1, 12); }

TEST_F(FaultRunTest, EveryFaultLeavesItsLineAndEveryFeedEqualsTheServiceOnceFaultsStop_Sim) {
    news_sim::SimFaults faults;
    faults.failRate = faults.malformedRate = faults.errnoRate = 0.08;
    faults.stallRate = 0.03;
    faults.stallMs = 1500;
    faults.delayMs = 15;
    const char* seconds = std::getenv("LX_FAULT_RUN_SECONDS");
    Run(faults, seconds != nullptr && std::atoi(seconds) > 0 ? std::atoi(seconds) : 20, 1);
}

}  // namespace
