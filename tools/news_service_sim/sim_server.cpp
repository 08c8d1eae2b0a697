#include "tools/news_service_sim/sim_server.h"

#include <chrono>
#include <cstdlib>
#include <functional>

#include <httplib.h>

#include <QJsonDocument>

#include "host/url_signature.h"

namespace news_sim {

namespace {

constexpr int kServerThreads = 24;

enum class DataKind { Object, Array };

unsigned long long U64(const httplib::Request& request, const char* key) {
    const std::string text = request.get_param_value(key);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && text[0] != '-' ? value : 0;
}

unsigned int U32(const httplib::Request& request, const char* key) {
    const unsigned long long value = U64(request, key);
    return value > 0xffffffffULL ? 0 : static_cast<unsigned int>(value);
}

long long S64(const httplib::Request& request, const char* key) {
    const std::string text = request.get_param_value(key);
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' ? value : 0;
}

std::string Envelope(int errnoValue, const QJsonValue& data, long long time) {
    QJsonObject envelope;
    envelope.insert(QStringLiteral("errno"), errnoValue);
    envelope.insert(QStringLiteral("msg"), errnoValue == 0 ? QStringLiteral("ok")
                                           : errnoValue == kBadSignatureErrno ? QStringLiteral("sign error")
                                                                               : QStringLiteral("service busy"));
    envelope.insert(QStringLiteral("data"), data);
    envelope.insert(QStringLiteral("time"), static_cast<qint64>(time));
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact).toStdString();
}

// Headers go out with a Content-Length, then the connection closes before the
// body: the client sees a failed transfer.
void DropConnection(httplib::Response& response) {
    response.set_content_provider(64, "application/json",
                                  [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
}

}  // namespace

struct NewsServiceSim::Endpoint {
    std::string path;
    DataKind kind;
    std::function<QJsonValue(const httplib::Request&)> data;
    // Told of each answer that goes out intact (an errno included); may be empty.
    std::function<void(const httplib::Request&, const QJsonValue&)> delivered;
};

struct NewsServiceSim::FaultPlan {
    bool stall = false;
    bool fail = false;
    bool malformed = false;
    bool errnoSet = false;
    bool firstVariant = false;
};

NewsServiceSim::NewsServiceSim(const SimOptions& options)
    : options_(options),
      state_(options.seed, options.startTime != 0
                               ? options.startTime
                               : std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count()),
      catalog_(options.seed, state_.now()),
      faults_(options.faults) {
    AddEndpoints();
}

NewsServiceSim::~NewsServiceSim() { Stop(); }

void NewsServiceSim::AddEndpoints() {
    const auto add = [this](const std::string& path, DataKind kind,
                            std::function<QJsonValue(const httplib::Request&)> data) {
        endpoints_[path].reset(new Endpoint{path, kind, std::move(data), nullptr});
    };
    add("/pc/roll/batch_show", DataKind::Object, [this](const httplib::Request& r) {
        return state_.RollPage(U64(r, "last_time"), U32(r, "refresh_type"), U32(r, "rn"));
    });
    add("/pc/information/get_count_by_ids", DataKind::Object,
        [this](const httplib::Request& r) { return state_.Counters(r.get_param_value("ids")); });
    add("/pc/information/get_depth", DataKind::Object, [this](const httplib::Request& r) {
        return state_.DepthPage(U64(r, "last_time"), U32(r, "refresh_type"), U32(r, "last_is_stickies") != 0);
    });
    add("/pc/exclusive/column_article_list", DataKind::Object, [this](const httplib::Request& r) {
        return state_.ColumnArticlePage(static_cast<int>(U32(r, "column_id")), U64(r, "last_time"),
                                        U32(r, "refresh_type"), U32(r, "rn"));
    });
    add("/pc/exclusive/column_list", DataKind::Object,
        [this](const httplib::Request&) { return state_.ColumnList(); });
    add("/pc/inform/modify", DataKind::Array,
        [this](const httplib::Request& r) { return state_.InformModifyPage(U64(r, "last_time")); });
    add("/pc/information/sum_article_list", DataKind::Object, [this](const httplib::Request& r) {
        return state_.EssencePage(U64(r, "last_time"), U32(r, "refresh_type"), U32(r, "rn"));
    });
    add("/pc/rt/stock_notice", DataKind::Object, [this](const httplib::Request& r) {
        return catalog_.Announcements(r.get_param_value("stock"), U32(r, "page"), U32(r, "rn"));
    });
    add("/pc/rt/stock_landmine", DataKind::Object, [this](const httplib::Request& r) {
        return catalog_.LandMines(r.get_param_value("stock"), S64(r, "start"), U64(r, "end"));
    });
    add("/v1/market/get_list", DataKind::Array, [this](const httplib::Request& r) {
        return catalog_.MarketNews(r.get_param_value("unique_key"), U32(r, "type"), U64(r, "last_time"),
                                   U32(r, "refresh_type"), U32(r, "rn"), state_.now());
    });
    add("/pc/rt/stock_dragon", DataKind::Object,
        [this](const httplib::Request& r) { return catalog_.Dragon(r.get_param_value("stock_arr")); });
    add("/pc/time_axis/get_info_by_id", DataKind::Object,
        [this](const httplib::Request& r) { return catalog_.EventDetail(static_cast<long long>(U32(r, "id"))); });
    add("/pc/time_axis/get_list_by_day", DataKind::Array, [this](const httplib::Request& r) {
        return catalog_.EventsOfDay(r.get_param_value("date"), U32(r, "rn"));
    });
    add("/pc/time_axis/reddot", DataKind::Array, [this](const httplib::Request& r) {
        return catalog_.Reddot(r.get_param_value("start_date"), r.get_param_value("end_date"));
    });

    // What a client has received intact, for the ground truth's notes.
    endpoints_["/pc/roll/batch_show"]->delivered = [this](const httplib::Request& r, const QJsonValue& data) {
        if (U32(r, "refresh_type") == 0 && U64(r, "last_time") != 0) state_.NoteDeliveredRoll(data.toObject());
    };
    endpoints_["/pc/information/get_depth"]->delivered = [this](const httplib::Request& r, const QJsonValue& data) {
        if (U32(r, "refresh_type") != 1) state_.NoteDeliveredDepth(data.toObject());
    };
    endpoints_["/pc/inform/modify"]->delivered = [this](const httplib::Request&, const QJsonValue& data) {
        state_.NoteDeliveredInform(data.toArray());
    };
}

bool NewsServiceSim::Start(int port, const std::string& host) {
    if (http_) return false;
    http_.reset(new httplib::Server);
    http_->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    // One request per connection: a connection waiting for its next request
    // would hold Stop for the whole keep-alive time.
    http_->set_keep_alive_max_count(1);

    for (const auto& entry : endpoints_) {
        const Endpoint* endpoint = entry.second.get();
        http_->Get(entry.first, [this, endpoint](const httplib::Request& request, httplib::Response& response) {
            Serve(*endpoint, request, response);
        });
    }
    const auto truth = [this](const httplib::Request& r, httplib::Response& response) {
        TruthQuery query;
        query.telegraphFloor = U64(r, "telegraph_floor");
        query.depthFloor = U64(r, "depth_floor");
        query.columnId = static_cast<int>(U32(r, "column"));
        query.columnFloor = U64(r, "column_floor");
        response.set_content(Envelope(0, state_.GroundTruth(query), state_.now()), "application/json; charset=utf-8");
    };
    const auto advance = [this](const httplib::Request& r, httplib::Response& response) {
        const unsigned int ticks = r.has_param("ticks") ? U32(r, "ticks") : 1;
        state_.Advance(static_cast<int>(ticks > 10000 ? 10000 : ticks));
        QJsonObject data;
        data.insert(QStringLiteral("tick"), state_.tick());
        response.set_content(Envelope(0, data, state_.now()), "application/json; charset=utf-8");
    };
    http_->Get("/_sim/state", truth);
    http_->Get("/_sim/advance", advance);
    http_->Post("/_sim/advance", advance);

    host_ = host;
    port_ = port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
    if (port_ <= 0) {
        http_.reset();
        port_ = 0;
        return false;
    }
    listener_ = std::thread([this] { http_->listen_after_bind(); });
    // stop() before the loop runs would be lost, so Start returns once it runs.
    for (int i = 0; i < 2000 && !http_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (options_.tickMs > 0) {
        ticker_ = std::thread([this] {
            while (!WaitOrStop(options_.tickMs)) state_.Advance(1);
        });
    }
    return true;
}

void NewsServiceSim::Stop() {
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (http_) http_->stop();
    if (listener_.joinable()) listener_.join();
    if (ticker_.joinable()) ticker_.join();
}

std::string NewsServiceSim::root() const { return "http://" + host_ + ":" + std::to_string(port_); }

long long NewsServiceSim::requestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    const auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
}

FaultTally NewsServiceSim::faultTally(const std::string& route) const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    const auto it = tallies_.find(route);
    return it == tallies_.end() ? FaultTally() : it->second;
}

void NewsServiceSim::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard<std::mutex> lock(faultsMutex_);
        faults_ = faults;
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        ++faultChanges_;
    }
    stopCv_.notify_all();
}

SimFaults NewsServiceSim::faults() const {
    std::lock_guard<std::mutex> lock(faultsMutex_);
    return faults_;
}

bool NewsServiceSim::WaitOrStop(int ms) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    return stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void NewsServiceSim::Stall(int ms) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    const long long changes = faultChanges_;
    stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_ || faultChanges_ != changes; });
}

// Drawn per endpoint and request number: requests of one endpoint that a client
// sends one after another meet the same faults in every run.
NewsServiceSim::FaultPlan NewsServiceSim::PlanFaults(const SimFaults& faults, const std::string& path,
                                                     long long number) const {
    SimRandom random(HashOf(options_.seed, HashText(path), static_cast<std::uint64_t>(number), 0xfa17));
    FaultPlan plan;
    plan.stall = random.Chance(faults.stallRate);
    plan.fail = random.Chance(faults.failRate);
    plan.malformed = random.Chance(faults.malformedRate);
    plan.errnoSet = random.Chance(faults.errnoRate);
    plan.firstVariant = random.Chance(0.5);
    return plan;
}

// The signature covers path + "?" + the encoded query before "&sign=", exactly
// as sent, so the raw request target is checked rather than the decoded one.
bool NewsServiceSim::isSigned(const httplib::Request& request) const {
    const std::string& target = request.target;
    const std::size_t question = target.find('?');
    if (question == std::string::npos) return false;
    const std::string path = target.substr(0, question);
    const std::string query = target.substr(question + 1);
    std::string signedQuery, sign;
    if (query.compare(0, 5, "sign=") == 0) {
        sign = query.substr(5);
    } else {
        const std::size_t at = query.rfind("&sign=");
        if (at == std::string::npos) return false;
        signedQuery = query.substr(0, at);
        sign = query.substr(at + 6);
    }
    return !sign.empty() && sign == urlsign::SignatureOf(options_.key, path + "?" + signedQuery);
}

NewsServiceSim::FaultPlan NewsServiceSim::CountRequest(const Endpoint& endpoint, const httplib::Request& request,
                                                       const SimFaults& faults, bool signedRequest) {
    std::string route = endpoint.path;
    if (request.has_param("refresh_type")) route += "?refresh_type=" + request.get_param_value("refresh_type");
    std::lock_guard<std::mutex> lock(statsMutex_);
    const long long number = ++requests_[endpoint.path];
    const FaultPlan plan = PlanFaults(faults, endpoint.path, number);
    FaultTally& tally = tallies_[route];
    ++tally.requests;
    if (plan.stall)
        ++tally.stalls;
    else if (plan.fail)
        ++tally.failures;
    else if (plan.malformed)
        ++tally.malformed;
    else if (plan.errnoSet && signedRequest)
        ++tally.errnos;
    return plan;
}

void NewsServiceSim::Serve(const Endpoint& endpoint, const httplib::Request& request, httplib::Response& response) {
    const SimFaults faults = this->faults();
    const bool signedRequest = isSigned(request);
    const FaultPlan plan = CountRequest(endpoint, request, faults, signedRequest);
    if (faults.delayMs > 0 && WaitOrStop(faults.delayMs)) {
        DropConnection(response);
        return;
    }
    if (plan.stall) {
        ++stalled_;
        Stall(faults.stallMs);
        --stalled_;
        DropConnection(response);
        return;
    }

    int errnoValue = 0;
    QJsonValue data;
    if (!signedRequest) {
        ++badSignatures_;
        errnoValue = kBadSignatureErrno;
        data = endpoint.kind == DataKind::Array ? QJsonValue(QJsonArray()) : QJsonValue(QJsonObject());
    } else {
        data = endpoint.data(request);
        if (plan.errnoSet) errnoValue = kInjectedErrno;
    }
    std::string body = Envelope(errnoValue, data, state_.now());

    if (plan.fail) {
        if (plan.firstVariant) {
            response.status = 500;
            response.set_content("Internal Server Error", "text/plain");
        } else {
            DropConnection(response);
        }
        return;
    }
    if (plan.malformed) {
        if (plan.firstVariant)
            body.resize(body.size() / 2);
        else
            body = "<html><head><title>502 Bad Gateway</title></head><body>\xff\xfe upstream</body></html>";
    } else if (signedRequest && endpoint.delivered) {
        endpoint.delivered(request, data);
    }
    response.set_content(body, "application/json; charset=utf-8");
}

}  // namespace news_sim
