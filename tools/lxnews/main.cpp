// lxnews: the ten feeds of lx_news_center on the console. By default it starts
// the news-service simulator in-process on a free loopback port; --service
// points it at a real service instead.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QtGlobal>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "news_center/news_center.h"
#include "tools/lxnews/console.h"
#include "tools/lxnews/feed_watchers.h"
#include "tools/lxnews/log_tally.h"
#include "tools/news_service_sim/sim_calendar.h"
#include "tools/news_service_sim/sim_server.h"

namespace {

// Observers live to the end of the process, and stay reachable from here so
// that leak checkers do not count them.
std::vector<std::shared_ptr<void> >* g_forever = new std::vector<std::shared_ptr<void> >;

template <class T>
T& Forever(T* object) {
    g_forever->push_back(std::shared_ptr<void>(object, [](void*) {}));
    return *object;
}

using Clock = std::chrono::steady_clock;

const char* const kFeeds[] = {"telegraph",     "depth",      "exclusive",  "essence",        "timeline",
                              "counters",      "announcements", "land-mines", "stock-news", "unusual-trading"};
constexpr int kProbeTimeoutSeconds = 5;
constexpr int kPeriodSeconds = 10;       // depth refresh and column update, as often as the telegraph polls
constexpr int kPageBackAfterSeconds = 3;

std::atomic<bool> g_interrupted{false};
void OnSignal(int) { g_interrupted.store(true); }

// The library traces parsed ids on Qt's debug channel; the console shows events only.
void QuietDebug(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

struct Options {
    int seconds = 30;
    std::string stock = "sh600519";
    std::string service;
    std::string key;
    std::string log;
    news_sim::SimOptions sim;
};

void PrintUsage() {
    std::printf("usage: lxnews [--seconds N] [--stock CODE] [--service URL [--key KEY]] [--log FILE] [sim options]\n"
                "  --seconds N         how long to watch the feeds (default 30)\n"
                "  --stock CODE        stock for the four per-stock feeds (default sh600519)\n"
                "  --service URL       a real news service; no simulator is started\n"
                "  --key KEY           signing key of the service (and of the simulator)\n"
                "  --log FILE          program log (default: a new file in a temporary folder)\n"
                "simulator options (without --service):\n%s",
                news_sim::SimFlagsHelp());
}

// Returns 0 to go on, or the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            PrintUsage();
            return -1;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "lxnews: %s needs a value\n", flag.c_str());
            return 2;
        }
        const std::string value = argv[++i];
        std::string error;
        if (flag == "--seconds") {
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || seconds < 1 || seconds > 86400) {
                std::fprintf(stderr, "lxnews: bad value for --seconds: \"%s\"\n", value.c_str());
                return 2;
            }
            options.seconds = static_cast<int>(seconds);
        } else if (flag == "--stock") {
            options.stock = value;
        } else if (flag == "--service") {
            options.service = value;
        } else if (flag == "--log") {
            options.log = value;
        } else if (flag == "--key") {
            options.key = value;
            options.sim.key = value;
        } else if (!news_sim::ApplySimFlag(flag, value, options.sim, error)) {
            std::fprintf(stderr, "lxnews: %s (see --help)\n", error.c_str());
            return 2;
        }
    }
    return 0;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string DefaultLogPath() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lxnews-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) return (std::filesystem::temp_directory_path() / "lxnews.log").string();
    return pattern + "/program.log";
}

bool ServiceAnswers() {
    const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(
        L"/pc/exclusive/column_list", std::map<std::string, std::string>());
    std::vector<char> body;
    return GetSync(url, body, HttpHeaderMap(), kProbeTimeoutSeconds);
}

std::wstring DateText(unsigned int date) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%04u-%02u-%02u", date / 10000, date / 100 % 100, date % 100);
    return buf;
}

unsigned int DaysBefore(unsigned int date, int days) {
    const long long day = news_sim::ServiceDayOf(common::DateToTime(date, 12, 0, 0)) - days;
    return news_sim::ServiceDateNumber(day);
}

void PrintSummary(const lxnews::Console& console, const std::string& logPath, long long logStart) {
    const std::map<std::string, int> failures = lxnews::CountLogLinesPerFeed(logPath, logStart);
    std::printf("\n%-16s %8s %6s %16s\n", "feed", "updates", "held", "failures logged");
    for (const char* feed : kFeeds) {
        const lxnews::FeedCounts counts = console.counts(feed);
        const auto failed = failures.find(feed);
        std::printf("%-16s %8d %6d %16d\n", feed, counts.updates, counts.held,
                    failed == failures.end() ? 0 : failed->second);
    }
    std::printf("program log: %s\n", logPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;

    const std::string logPath = options.log.empty() ? DefaultLogPath() : options.log;
    const long long logStart = lxnews::FileSize(logPath);
    base::SetProgramLogFile(Wide(logPath));
    qInstallMessageHandler(QuietDebug);

    // Observers outlive everything: a completion that the library lets run after
    // teardown (the timeline's) may still call one at exit.
    lxnews::Console& console = Forever(new lxnews::Console);
    std::unique_ptr<news_sim::NewsServiceSim> sim;
    if (options.service.empty()) {
        sim.reset(new news_sim::NewsServiceSim(options.sim));
        if (!sim->Start(0)) {
            std::fprintf(stderr, "lxnews: cannot start the news-service simulator on loopback\n");
            return 1;
        }
        UrlHelper::SetServiceRoot(Wide(sim->root()));
        UrlHelper::SetServiceKey(options.sim.key);
        std::printf("news-service simulator on %s (seed %llu, a tick every %d ms)\n", sim->root().c_str(),
                    static_cast<unsigned long long>(options.sim.seed), options.sim.tickMs);
    } else {
        UrlHelper::SetServiceRoot(Wide(options.service));
        if (!options.key.empty()) UrlHelper::SetServiceKey(options.key);
        if (!ServiceAnswers()) {
            std::fprintf(stderr, "lxnews: cannot reach the news service at %s (no answer within %d s)\n",
                         options.service.c_str(), kProbeTimeoutSeconds);
            return 2;
        }
        std::printf("news service at %s\n", options.service.c_str());
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // the embedded server writing to a client that gave up
#endif
    std::printf("watching for %d s, stock %s\n\n", options.seconds, options.stock.c_str());
    console.Header();

    auto& telegraph = Forever(new lxnews::TelegraphWatcher(console));
    auto& depth = Forever(new lxnews::DepthWatcher(console));
    auto& exclusive = Forever(new lxnews::ExclusiveWatcher(console));
    auto& timeline = Forever(new lxnews::TimelineWatcher(console));
    auto& essence = Forever(new lxnews::EssenceWatcher(console));
    auto& announcements = Forever(new lxnews::StockWatcher<StockAnnouncement>(console, "announcements"));
    auto& landMines = Forever(new lxnews::StockWatcher<StockLandMine>(console, "land-mines"));
    auto& stockNews = Forever(new lxnews::StockWatcher<StockNewsInfo>(console, "stock-news"));
    auto& unusual = Forever(new lxnews::StockWatcher<StockUnusualTradingInfo>(console, "unusual-trading"));
    const auto missing = [&console](const char* feed) { console.Note(feed, "feed not available"); };
    const std::wstring stock = Wide(options.stock);
    const unsigned int today = common::GetCurrentServerDate();

    ITelegraphPublisher* telegraphs = GetTelegraphPublisher();
    if (telegraphs) {
        telegraphs->Subscribe(&telegraph);
        telegraphs->Refresh();  // the thread's own poll would wait up to 10 s
    } else {
        missing("telegraph");
    }
    IDepthPublisher* depths = GetDepthPublisher();
    if (depths) {
        depths->Subscribe(&depth);
        depths->Refresh();
    } else {
        missing("depth");
    }
    IExclusivePublisher* columns = GetExclusivePublisher();
    if (columns)
        columns->RequestColumnList([&exclusive](const std::list<ExclusiveColumn>& list) { exclusive.OnColumns(list); });
    else
        missing("exclusive");
    ITimelinePublisher* timelines = GetTimelinePublisher();
    if (timelines) {
        const std::wstring first = DateText(today / 100 * 100 + 1), last = DateText(today);
        timelines->RequestReddot(first.c_str(), last.c_str(),
                                 [&timeline](const std::list<TimelineReddot>& dates) { timeline.OnReddot(dates); });
        timelines->RequestEventList(last.c_str(),
                                    [&timeline](const std::list<TimelineEvent>& events) { timeline.OnEvents(events); });
    } else {
        missing("timeline");
    }
    ICommonPublisher* counters = GetCommonPublisher();
    if (!counters) missing("counters");
    IInformationEssence* essences = GetInformationEssence();
    if (essences) {
        essences->Attach(&essence);
        essences->FetchInformationEssence(0, 0, 20);
    } else {
        missing("essence");
    }
    IStockAnnouncement* notices = GetStockAnnouncement();
    if (notices) {
        notices->Attach(&announcements);
        notices->RequestStockAnnouncementList(stock, 1, 20);
    } else {
        missing("announcements");
    }
    IStockLandMine* mines = GetStockLandMine();
    if (mines) {
        mines->Attach(&landMines);
        mines->RequestStockLandMineList(stock, DaysBefore(today, 180), 0);
    } else {
        missing("land-mines");
    }
    IStockNews* news = GetStockNews();
    if (news) {
        news->Attach(&stockNews);
        news->RequestStockNewsList(1, stock, 0, 0, 20);
    } else {
        missing("stock-news");
    }
    IStockUnusualTrading* dragons = GetStockUnusualTrading();
    if (dragons) {
        dragons->Attach(&unusual);
        dragons->FetchStockUnusualTrading(stock);
    } else {
        missing("unusual-trading");
    }

    // Follow-ups run here, not in the callbacks, which hold the library's locks.
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(options.seconds);
    Clock::time_point nextPeriod = start + std::chrono::seconds(kPeriodSeconds);
    bool pageRequested = false, detailRequested = false, telegraphPaged = false, depthPaged = false;
    while (Clock::now() < deadline && !g_interrupted.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const bool pageBackTime = Clock::now() >= start + std::chrono::seconds(kPageBackAfterSeconds);
        const int column = exclusive.firstColumn();
        if (columns && column != 0 && !pageRequested) {
            pageRequested = true;
            columns->RequestArticleList(column, [&exclusive](int id, const std::list<ExclusiveArticle>& page) {
                exclusive.OnPage(id, page);
            });
        }
        const std::vector<unsigned int> pageIds = exclusive.TakePageIds();
        if (counters && !pageIds.empty())
            counters->RequestCountInfo(pageIds, [&exclusive](const CountInfoMap& map) { exclusive.OnCounters(map); });
        if (timelines && timeline.firstEvent() != 0 && !detailRequested) {
            detailRequested = true;
            timelines->RequestEventDetail(static_cast<unsigned int>(timeline.firstEvent()),
                                          [&timeline](const TimelineEventDetail& detail) { timeline.OnDetail(detail); });
        }
        if (telegraphs && pageBackTime && !telegraphPaged && telegraph.hasItems()) {
            telegraphPaged = true;
            telegraphs->RequestEarlierTelegraph(telegraph.floor(),
                                                [&telegraph](bool failed, const std::list<TelegraphInfo>& page) {
                                                    telegraph.OnOlderPage(failed, page);
                                                });
        }
        if (depths && pageBackTime && !depthPaged && depth.hasItems()) {
            depthPaged = true;
            depths->RequestEarlierDepth([&depth](const std::list<DepthArticle>& page) { depth.OnOlderPage(page); });
        }
        if (Clock::now() >= nextPeriod) {
            nextPeriod += std::chrono::seconds(kPeriodSeconds);
            if (depths) depths->Refresh();
            if (columns && column != 0)
                columns->RequestArticleListOperation(column, [&exclusive](int id, const ExclusiveUpdate& update) {
                    exclusive.OnUpdate(id, update);
                });
        }
    }

    DestroyAllPublisher();
    if (sim) sim->Stop();
    PrintSummary(console, logPath, logStart);
    return 0;
}
