// lxnews: the ten feeds of lx_news_center on the console. By default it starts
// the news-service simulator in-process on a free loopback port; --service
// points it at a real service instead. docs/lxnews.md describes the output.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include <QString>
#include <QtGlobal>

#include "host/lx_base.h"
#include "host/lx_net_work.h"
#include "news_center/news_center.h"
#include "tools/lxnews/console.h"
#include "tools/lxnews/feed_requests.h"
#include "tools/lxnews/log_tally.h"
#include "tools/lxnews/options.h"
#include "tools/lxnews/run_folder.h"
#include "tools/lxnews/service.h"
#include "tools/lxnews/summary.h"

namespace {

std::atomic<bool> g_interrupted{false};
void OnSignal(int) { g_interrupted.store(true); }

// The library traces parsed ids on Qt's debug channel; the console shows events only.
void QuietDebug(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lxnews: %s\n", message.c_str());
    return lxnews::kExitFailed;
}

void WatchUntilDeadline(lxnews::FeedRequests& feeds, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline && !g_interrupted.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        feeds.FollowUp();
    }
}

}  // namespace

int main(int argc, char** argv) {
    lxnews::Options options;
    int status = lxnews::kExitOk;
    if (!lxnews::ParseOptions(argc, argv, options, status)) return status;

    lxnews::RunFolder folder;  // removed on every return below
    std::string error;
    lxnews::LogInfo log;
    log.path = folder.LogPath(options.log, error);
    if (log.path.empty()) return Fail(error);
    log.start = lxnews::FileSize(log.path);
    log.kept = !folder.isTemporary(log.path);
    base::SetProgramLogFile(std::wstring(log.path.begin(), log.path.end()));
    qInstallMessageHandler(QuietDebug);

    lxnews::Service service(options);
    if (!service.Start(error)) return Fail(error);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);  // the embedded server writing to a client that gave up

    lxnews::Console console(options.json, lxnews::OutputColumns());
    console.Intro(service.description());
    console.Intro("watching for " + std::to_string(options.seconds) + " s, stock " + options.stock + "\n");
    console.Header();
    lxnews::FeedRequests feeds(console, options.stock);
    feeds.Start();
    WatchUntilDeadline(feeds, options.seconds);

    // The host stop first: the teardown then waits for no request in flight.
    console.Close();
    log.end = lxnews::FileSize(log.path);
    netwk::Stop();
    base::TaskManagerInstance().Stop();
    DestroyAllPublisher();
    service.Stop();
    return lxnews::Summarise(console, log);
}
