// newsboard: the feeds of lx_news_center in a window. By default it starts the
// news-service simulator in-process on a free loopback port; --service points
// it at a real service instead.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <QtGlobal>

#include "host/lx_qt_support.h"
#include "tools/news_service_sim/sim_server.h"
#include "tools/newsboard/board_window.h"

namespace {

struct Options {
    int seconds = 0;  // 0: until the window is closed
    std::string screenshot;
    std::string stock = "sh600519";
    std::string service;
    std::string key;
    bool simFlags = false;
    news_sim::SimOptions sim;
};

void PrintUsage() {
    std::printf("usage: newsboard [--seconds N] [--screenshot FILE] [--stock CODE] [--service URL [--key KEY]]\n"
                "                 [sim options]\n"
                "  --seconds N         close the window after N seconds\n"
                "  --screenshot FILE   write a PNG of the window just before it closes\n"
                "  --stock CODE        stock for the four per-stock feeds (default sh600519)\n"
                "  --service URL       a real news service (http:// or https://); no simulator is started\n"
                "  --key KEY           signing key of the service (and of the simulator)\n"
                "simulator options (without --service):\n%s",
                news_sim::SimFlagsHelp());
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "newsboard: %s (see --help)\n", message.c_str());
    return 2;
}

// Returns 0 to go on, -1 after --help, or the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            PrintUsage();
            return -1;
        }
        if (i + 1 >= argc) return Fail(flag + " needs a value");
        const std::string value = argv[++i];
        std::string error;
        if (flag == "--seconds") {
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || seconds < 1 || seconds > 86400)
                return Fail("bad value for --seconds: \"" + value + "\"");
            options.seconds = static_cast<int>(seconds);
        } else if (flag == "--screenshot") {
            const QFileInfo file(QString::fromStdString(value));
            if (value.empty() || !file.absoluteDir().exists())
                return Fail("no folder for --screenshot \"" + value + "\"");
            options.screenshot = value;
        } else if (flag == "--stock") {
            if (value.empty()) return Fail("--stock needs a code");
            options.stock = value;
        } else if (flag == "--service") {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0)
                return Fail("--service needs an http:// or https:// URL, not \"" + value + "\"");
            options.service = value;
        } else if (flag == "--key") {
            if (value.empty()) return Fail("--key needs a value");
            options.key = value;
            options.sim.key = value;
        } else if (news_sim::ApplySimFlag(flag, value, options.sim, error)) {
            options.simFlags = true;
        } else {
            return Fail(error);
        }
    }
    if (!options.service.empty() && options.simFlags) return Fail("simulator options do not go with --service");
    return 0;
}

std::wstring Wide(const std::string& text) { return QString::fromStdString(text).toStdWString(); }

// The library traces parsed ids on Qt's debug channel.
void QuietDebug(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;
    qInstallMessageHandler(QuietDebug);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // the embedded server writing to a client that gave up
#endif

    std::unique_ptr<news_sim::NewsServiceSim> sim;
    if (options.service.empty()) {
        sim.reset(new news_sim::NewsServiceSim(options.sim));
        if (!sim->Start(0)) {
            std::fprintf(stderr, "newsboard: cannot start the news-service simulator on loopback\n");
            return 1;
        }
        UrlHelper::SetServiceRoot(Wide(sim->root()));
        UrlHelper::SetServiceKey(options.sim.key);
        std::printf("news-service simulator on %s\n", sim->root().c_str());
    } else {
        UrlHelper::SetServiceRoot(Wide(options.service));
        if (!options.key.empty()) UrlHelper::SetServiceKey(options.key);
    }
    std::fflush(stdout);

    QApplication app(argc, argv);
    int exitCode = 0;
    {
        newsboard::BoardWindow window(QString::fromStdString(options.stock));
        std::chrono::steady_clock::time_point closeStart;
        QObject::connect(&window, &newsboard::BoardWindow::closing, [&] {
            if (!options.screenshot.empty() && !window.grab().save(QString::fromStdString(options.screenshot), "PNG")) {
                std::fprintf(stderr, "newsboard: cannot write the screenshot to %s\n", options.screenshot.c_str());
                exitCode = 1;
            }
            closeStart = std::chrono::steady_clock::now();
        });
        window.show();
        if (options.seconds > 0) QTimer::singleShot(options.seconds * 1000, &window, &QWidget::close);
        app.exec();
        const auto closeMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closeStart);
        std::printf("closed in %lld ms\n", static_cast<long long>(closeMs.count()));
    }
    if (sim) sim->Stop();
    return exitCode;
}
