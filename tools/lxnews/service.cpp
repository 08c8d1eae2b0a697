#include "tools/lxnews/service.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "tools/news_service_sim/sim_server.h"

namespace lxnews {

namespace {

constexpr int kProbeTimeoutSeconds = 5;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// GetSync only says that a request failed; a connection of our own says why.
std::string WhyNoAnswer(const std::string& root) {
    const bool https = root.compare(0, 8, "https://") == 0;
    std::string host = root.substr(root.find("://") + 3);
    host = host.substr(0, host.find('/'));
    std::string port = https ? "443" : "80";
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        port = host.substr(colon + 1);
        host.erase(colon);
    }
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (const int failure = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses))
        return "cannot resolve \"" + host + "\": " + gai_strerror(failure);
    std::string why = "cannot connect to " + host + ":" + port;
    bool connected = false;
    int error = 0;
    for (addrinfo* a = addresses; a != nullptr && !connected; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd < 0) continue;
        timeval timeout{kProbeTimeoutSeconds, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        connected = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        error = errno;
        close(fd);
    }
    freeaddrinfo(addresses);
    if (!connected) return why + ": " + std::strerror(error);
    return host + ":" + port + " took the connection, but the request failed (an HTTP error status, "
                               "a TLS failure, or the connection was dropped)";
}

// Empty when the service answered the start-up request with errno 0.
std::string Probe(const std::string& root) {
    const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(
        L"/pc/exclusive/column_list", std::map<std::string, std::string>());
    std::vector<char> body;
    const auto start = std::chrono::steady_clock::now();
    if (!GetSync(url, body, HttpHeaderMap(), kProbeTimeoutSeconds)) {
        if (std::chrono::steady_clock::now() - start >= std::chrono::seconds(kProbeTimeoutSeconds))
            return "no answer within " + std::to_string(kProbeTimeoutSeconds) + " s";
        return WhyNoAnswer(root);
    }
    QJsonParseError parse{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<int>(body.size())), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        return "the answer is not JSON: is this the news service?";
    const QJsonObject envelope = document.object();
    const int code = envelope.value(QStringLiteral("errno")).toInt();
    if (code == 0) return std::string();
    const std::string message = envelope.value(QStringLiteral("msg")).toString().toStdString();
    std::string why = "the service refused the start-up request: \"" + message + "\" (errno " +
                      std::to_string(code) + ")";
    if (message.find("sign") != std::string::npos) why += "; is --key right?";
    return why;
}

}  // namespace

Service::Service(const Options& options) : options_(options) {}

Service::~Service() { Stop(); }

bool Service::Start(std::string& error) {
    if (!options_.service.empty()) {
        UrlHelper::SetServiceRoot(Wide(options_.service));
        if (!options_.key.empty()) UrlHelper::SetServiceKey(options_.key);
        const std::string why = Probe(options_.service);
        if (!why.empty()) error = "news service at " + options_.service + ": " + why;
        return why.empty();
    }
    sim_.reset(new news_sim::NewsServiceSim(options_.sim));
    if (!sim_->Start(0)) {
        error = "cannot start the news-service simulator on loopback";
        sim_.reset();
        return false;
    }
    UrlHelper::SetServiceRoot(Wide(sim_->root()));
    UrlHelper::SetServiceKey(options_.sim.key);
    return true;
}

void Service::Stop() {
    if (sim_) sim_->Stop();
}

std::string Service::description() const {
    if (!sim_) return "news service at " + options_.service;
    return "news-service simulator on " + sim_->root() + " (seed " + std::to_string(options_.sim.seed) +
           ", a tick every " + std::to_string(options_.sim.tickMs) + " ms)";
}

}  // namespace lxnews
