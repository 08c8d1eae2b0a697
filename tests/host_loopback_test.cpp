// The real host libraries against a loopback HTTP server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>
#include <httplib.h>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "host/url_signature.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr char kLoopKey[] = "loop-key";
const char kChineseUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文

// ---------------------------------------------------------------------------
// One loopback server for the whole executable.

class LoopbackServer {
public:
    void Start() {
        server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
        server_.set_keep_alive_max_count(100000);
        server_.set_keep_alive_timeout(2);
        server_.set_tcp_nodelay(true);  // headers and body go out in separate writes

        server_.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("echo:" + req.get_param_value("id"), "text/plain");
        });
        server_.Get("/empty", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "text/plain");
        });
        server_.Get("/header", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("X-Lx-Probe") + "|" + req.get_header_value("X-Evil"),
                            "text/plain");
        });
        server_.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content("error page", "text/plain");
        });
        server_.Get("/port", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::to_string(req.remote_port), "text/plain");
        });
        server_.Get("/count", [this](const httplib::Request&, httplib::Response& res) {
            ++counted_;
            res.set_content("counted", "text/plain");
        });
        server_.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
            Hold(milliseconds(std::stoi(req.get_param_value("ms"))));
            res.set_content("late", "text/plain");
        });
        server_.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(mu_);
                ++stalled_;
            }
            cv_.notify_all();
            Hold(seconds(20));
            res.set_content("stalled", "text/plain");
        });
        server_.Get(R"(/signed/.*)", [](const httplib::Request& req, httplib::Response& res) {
            // Everything before "sign" is what was signed, "?" included.
            const std::string& target = req.target;
            std::size_t at = target.rfind("&sign=");
            std::size_t signedEnd = at;
            if (at == std::string::npos) {
                at = target.rfind("?sign=");
                signedEnd = at + 1;
            }
            if (at == std::string::npos ||
                target.substr(at + 6) != urlsign::SignatureOf(kLoopKey, target.substr(0, signedEnd))) {
                res.status = 403;
                return;
            }
            std::string decoded;
            for (const auto& p : req.params) {
                if (p.first != "sign") decoded += p.first + "=" + p.second + ";";
            }
            res.set_content(decoded, "text/plain");
        });

        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        const auto deadline = Clock::now() + seconds(10);
        while (!server_.is_running() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
    }

    void Stop() {
        ReleaseHeld();
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }

    int port() const { return port_; }
    std::wstring Url(const std::string& pathAndQuery) const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
        return std::wstring(url.begin(), url.end());
    }
    std::wstring Root() const { return Url(""); }

    int counted() const { return counted_.load(); }

    // Waits until `count` /stall requests have arrived in total.
    bool WaitStalled(int count, milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return stalled_ >= count; });
    }
    int stalled() {
        std::lock_guard<std::mutex> lock(mu_);
        return stalled_;
    }

    // Lets every handler that holds a request go on at once.
    void ReleaseHeld() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            ++generation_;
        }
        cv_.notify_all();
    }

private:
    template <class Duration>
    void Hold(Duration d) {
        std::unique_lock<std::mutex> lock(mu_);
        const int generation = generation_;
        cv_.wait_for(lock, d, [&] { return generation_ != generation; });
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    std::atomic<int> counted_{0};
    std::mutex mu_;
    std::condition_variable cv_;
    int stalled_ = 0;
    int generation_ = 0;
};

LoopbackServer* g_server = nullptr;

class LoopbackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_server = new LoopbackServer;
        g_server->Start();
        ASSERT_GT(g_server->port(), 0);
    }
    void TearDown() override {
        g_server->Stop();
        delete g_server;
        g_server = nullptr;
    }
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new LoopbackEnvironment);

// A port with a bound socket that never listens: connecting to it is refused.
class RefusingPort {
public:
    RefusingPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~RefusingPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }
    std::wstring Url() const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/echo";
        return std::wstring(url.begin(), url.end());
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A listener that never accepts on its own: the kernel completes connections
// into the backlog, requests go out and no answer ever comes back. Unlike a
// stalled handler it needs no server thread, so a process may exit under it.
class BlackHole {
public:
    BlackHole() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(fd_, 16) == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~BlackHole() {
        for (int fd : accepted_) ::close(fd);
        if (fd_ >= 0) ::close(fd_);
    }
    std::wstring Url() const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/void";
        return std::wstring(url.begin(), url.end());
    }
    // Takes connections off the backlog (without reading them) until `count`.
    bool WaitConnections(std::size_t count, milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (accepted_.size() < count && Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) == 1) {
                const int fd = ::accept(fd_, nullptr, nullptr);
                if (fd >= 0) accepted_.push_back(fd);
            }
        }
        return accepted_.size() >= count;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> accepted_;
};

// What one GetAsyn completion saw.
struct Outcome {
    bool success = false;
    bool bodyWasNull = false;
    std::string body;
    long long length = -1;
    std::thread::id thread;
};

// Collects completions; each request gets its own slot so that a second call
// for the same request is noticed.
class Completions {
public:
    HttpCompletion For(int slot) {
        return [this, slot](bool success, const char* body, long long length) {
            Outcome o;
            o.success = success;
            o.bodyWasNull = body == nullptr;
            if (body != nullptr && length > 0) o.body.assign(body, static_cast<std::size_t>(length));
            o.length = length;
            o.thread = std::this_thread::get_id();
            {
                std::lock_guard<std::mutex> lock(mu_);
                outcomes_[slot].push_back(o);
                ++total_;
                cv_.notify_all();  // under the lock: the waiter may destroy us right after
            }
        };
    }
    bool WaitTotal(int count, milliseconds timeout = milliseconds(60000)) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return total_ >= count; });
    }
    std::vector<Outcome> Of(int slot) {
        std::lock_guard<std::mutex> lock(mu_);
        return outcomes_[slot];
    }
    int total() {
        std::lock_guard<std::mutex> lock(mu_);
        return total_;
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::map<int, std::vector<Outcome>> outcomes_;
    int total_ = 0;
};

// Runs one GetAsyn and waits for its single completion.
Outcome FetchAsync(const std::wstring& url, int timeoutSeconds = 10, const HttpHeaderMap& headers = {}) {
    Completions completions;
    GetAsyn(url, completions.For(0), headers, timeoutSeconds);
    EXPECT_TRUE(completions.WaitTotal(1));
    const auto outcomes = completions.Of(0);
    return outcomes.empty() ? Outcome{} : outcomes.front();
}

std::string AsString(const std::vector<char>& body) { return std::string(body.begin(), body.end()); }

// ---------------------------------------------------------------------------
// GetAsyn

// One request each, through GetAsyn and GetSync alike.
struct Case {
    const char* what;
    std::function<std::wstring()> url;
    bool success;
    const char* body;  // expected on success
    int timeoutSeconds;
    HttpHeaderMap headers;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"body", [] { return g_server->Url("/echo?id=42"); }, true, "echo:42", 10, {}},
        {"empty body", [] { return g_server->Url("/empty"); }, true, "", 10, {}},
        // Headers go out, but not ones that would inject more.
        {"headers", [] { return g_server->Url("/header"); }, true, "probe-value|", 10,
         {{"X-Lx-Probe", "probe-value"}, {"X-Bad\r\nX-Evil", "1"}, {"X-Other", "v\r\nX-Evil: 2"}}},
        {"404", [] { return g_server->Url("/status/404"); }, false, "", 10, {}},
        {"500", [] { return g_server->Url("/status/500"); }, false, "", 10, {}},
        {"503", [] { return g_server->Url("/status/503"); }, false, "", 10, {}},
        {"302", [] { return g_server->Url("/status/302"); }, false, "", 10, {}},
        // The server answers after 6 s: a failure before that is the timeout's.
        {"timeout", [] { return g_server->Url("/slow?ms=6000"); }, false, "", 1, {}},
        {"empty url", [] { return std::wstring(); }, false, "", 2, {}},
        {"not a url", [] { return std::wstring(L"not a url"); }, false, "", 2, {}},
        {"colons", [] { return std::wstring(L"::"); }, false, "", 2, {}},
        {"ftp", [] { return std::wstring(L"ftp://127.0.0.1/x"); }, false, "", 2, {}},
        {"wide path", [] { return std::wstring(L"http://127.0.0.1:1/\x4E2D\x6587"); }, false, "", 2, {}},
        {"lone surrogate", [] { return std::wstring(1, wchar_t(0xD800)); }, false, "", 2, {}},
    };
    return cases;
}

TEST(GetAsynTest, EachCaseCompletesOnceOnANetworkThread_Loopback) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const auto start = Clock::now();
        const Outcome o = FetchAsync(c.url(), c.timeoutSeconds, c.headers);
        EXPECT_LT(Clock::now() - start, seconds(5));
        EXPECT_EQ(o.success, c.success);
        EXPECT_EQ(o.body, c.body);
        EXPECT_EQ(o.length, static_cast<long long>(std::string(c.body).size()));
        EXPECT_EQ(o.bodyWasNull, !c.success);
        EXPECT_NE(o.thread, std::this_thread::get_id());
    }
    g_server->ReleaseHeld();
    RefusingPort refusing;
    ASSERT_GT(refusing.port(), 0);
    const Outcome refused = FetchAsync(refusing.Url());
    EXPECT_FALSE(refused.success);
    EXPECT_TRUE(refused.bodyWasNull);
    // Without a completion there is nothing to tell; it must simply not crash.
    GetAsyn(g_server->Url("/echo"), HttpCompletion(), {}, 5);
}

TEST(GetSyncTest, EachCaseAnswersOnItsOwnThread_Loopback) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        std::vector<char> body(5, 'x');
        const auto start = Clock::now();
        EXPECT_EQ(GetSync(c.url(), body, c.headers, c.timeoutSeconds), c.success);
        EXPECT_LT(Clock::now() - start, seconds(5));
        EXPECT_EQ(AsString(body), c.body);
    }
    g_server->ReleaseHeld();
    RefusingPort refusing;
    std::vector<char> body;
    EXPECT_FALSE(GetSync(refusing.Url(), body, {}, 10));
}

TEST(GetAsynTest, EachCompletionRunsExactlyOnceUnderLoad_Loopback) {
    constexpr int kCallers = 4;
    constexpr int kPerCaller = 50;
    Completions completions;
    std::set<std::thread::id> callers;
    std::mutex callersMu;
    std::vector<std::thread> threads;
    for (int t = 0; t < kCallers; ++t) {
        threads.emplace_back([&, t] {
            {
                std::lock_guard<std::mutex> lock(callersMu);
                callers.insert(std::this_thread::get_id());
            }
            for (int i = 0; i < kPerCaller; ++i) {
                const int id = t * kPerCaller + i;
                GetAsyn(g_server->Url("/echo?id=" + std::to_string(id)), completions.For(id), {}, 20);
            }
        });
    }
    for (auto& th : threads) th.join();
    ASSERT_TRUE(completions.WaitTotal(kCallers * kPerCaller));
    std::this_thread::sleep_for(milliseconds(200));  // room for a stray second call
    EXPECT_EQ(completions.total(), kCallers * kPerCaller);

    std::set<std::thread::id> networkThreads;
    for (int id = 0; id < kCallers * kPerCaller; ++id) {
        const auto outcomes = completions.Of(id);
        ASSERT_EQ(outcomes.size(), 1u) << "request " << id;
        EXPECT_TRUE(outcomes[0].success) << "request " << id;
        EXPECT_EQ(outcomes[0].body, "echo:" + std::to_string(id));
        EXPECT_EQ(callers.count(outcomes[0].thread), 0u);
        EXPECT_NE(outcomes[0].thread, std::this_thread::get_id());
        networkThreads.insert(outcomes[0].thread);
    }
    EXPECT_LE(networkThreads.size(), 2u);  // the default pool size
}

TEST(GetAsynTest, ThrowingCompletionsDoNotStopTheNetworkThreads_Loopback) {
    for (int i = 0; i < 6; ++i) {
        GetAsyn(g_server->Url("/echo?id=t"), [i](bool, const char*, long long) {
            if (i % 2 == 0) throw std::runtime_error("completion failed");
            throw 42;
        }, {}, 10);
    }
    Completions completions;
    for (int i = 0; i < 6; ++i) GetAsyn(g_server->Url("/echo?id=" + std::to_string(i)), completions.For(i), {}, 10);
    ASSERT_TRUE(completions.WaitTotal(6));
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(completions.Of(i).at(0).success);
}

TEST(GetAsynTest, CompletionMayStartAnotherRequest_Loopback) {
    Completions completions;
    const std::wstring second = g_server->Url("/echo?id=second");
    HttpCompletion inner = completions.For(1);
    GetAsyn(g_server->Url("/echo?id=first"), [&, second, inner](bool success, const char* body, long long length) {
        completions.For(0)(success, body, length);
        GetAsyn(second, inner, {}, 10);
    }, {}, 10);
    ASSERT_TRUE(completions.WaitTotal(2));
    EXPECT_EQ(completions.Of(0).at(0).body, "echo:first");
    EXPECT_EQ(completions.Of(1).at(0).body, "echo:second");
}

TEST(GetAsynTest, ReusesConnectionsAcrossRequests_Loopback) {
    std::set<std::string> ports;
    for (int i = 0; i < 12; ++i) {
        const Outcome o = FetchAsync(g_server->Url("/port"));
        ASSERT_TRUE(o.success);
        ports.insert(o.body);
    }
    // One connection per network thread at most, not one per request.
    EXPECT_LE(ports.size(), 2u);
}

// ---------------------------------------------------------------------------
// GetSync

TEST(GetSyncTest, ReusesTheConnectionOfItsThread_Loopback) {
    std::set<std::string> ports;
    std::vector<char> body;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(GetSync(g_server->Url("/port"), body, {}, 10));
        ports.insert(AsString(body));
    }
    EXPECT_EQ(ports.size(), 1u);
}

TEST(GetSyncTest, ManyThreadsAtOnce_Loopback) {
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::vector<char> body;
            for (int i = 0; i < 20; ++i) {
                const std::string id = std::to_string(t) + "-" + std::to_string(i);
                if (GetSync(g_server->Url("/echo?id=" + id), body, {}, 20) && AsString(body) == "echo:" + id) ++good;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), 160);
}

TEST(GetSyncTest, InterruptionAbandonsTheRequestAndStaysPending_Loopback) {
    const int stalledBefore = g_server->stalled();
    std::promise<bool> result;
    std::promise<bool> stillRequested;
    std::promise<bool> pointThrew;
    boost::thread worker([&] {
        std::vector<char> body;
        result.set_value(GetSync(g_server->Url("/stall"), body, {}, 60));
        stillRequested.set_value(boost::this_thread::interruption_requested());
        try {
            boost::this_thread::interruption_point();
            pointThrew.set_value(false);
        } catch (const boost::thread_interrupted&) {
            pointThrew.set_value(true);
        }
    });
    ASSERT_TRUE(g_server->WaitStalled(stalledBefore + 1, milliseconds(10000)));
    const auto start = Clock::now();
    worker.interrupt();
    auto done = result.get_future();
    // Only a bound against a hang; the server would hold the answer for 20 s.
    if (done.wait_for(seconds(3)) != std::future_status::ready) {
        g_server->ReleaseHeld();
        worker.join();
        FAIL() << "GetSync ignored the interruption";
    }
    EXPECT_LT(Clock::now() - start, seconds(3));
    EXPECT_FALSE(done.get());
    EXPECT_TRUE(stillRequested.get_future().get());
    EXPECT_TRUE(pointThrew.get_future().get());
    worker.join();
    g_server->ReleaseHeld();
}

TEST(GetSyncTest, AlreadyInterruptedThreadDoesNotContactServer_Loopback) {
    const int countedBefore = g_server->counted();
    std::promise<void> go;
    std::shared_future<void> goFuture = go.get_future().share();
    std::promise<bool> result;
    boost::thread worker([&] {
        goFuture.wait();  // not an interruption point
        std::vector<char> body;
        result.set_value(GetSync(g_server->Url("/count"), body, {}, 10));
    });
    worker.interrupt();
    go.set_value();
    EXPECT_FALSE(result.get_future().get());
    worker.join();
    EXPECT_EQ(g_server->counted(), countedBefore);

    // A plain thread is never taken for an interrupted one.
    std::vector<char> body;
    EXPECT_TRUE(GetSync(g_server->Url("/count"), body, {}, 10));
    EXPECT_EQ(g_server->counted(), countedBefore + 1);
}

// The process exits while a network thread, a task thread and queued requests
// all wait on a server that never answers: exit must neither crash, hang, run a
// completion nor leak.
TEST(HostExitTest, ExitWithTransfersInFlight_Loopback) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BlackHole hole;
            const HttpCompletion mustNotRun = [](bool, const char*, long long) { std::_Exit(4); };
            GetAsyn(hole.Url(), mustNotRun, {}, 60);
            base::TaskManagerInstance().AddTask([&hole] {
                std::vector<char> body;
                GetSync(hole.Url(), body, {}, 60);
            });
            if (!hole.WaitConnections(2, milliseconds(10000))) std::_Exit(3);
            for (int i = 0; i < 5; ++i) GetAsyn(hole.Url(), mustNotRun, {}, 60);
            for (int i = 0; i < 3; ++i) base::TaskManagerInstance().AddTask([] {});
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// UrlHelper

class UrlHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        UrlHelper::SetServiceRoot(L"http://news.example.test:8080");
        UrlHelper::SetServiceKey("test-key");
    }
    UrlHelper& helper() { return *pattern::CSingleton<UrlHelper>::GetInstance(); }
};

TEST_F(UrlHelperTest, SignsEncodedParametersInMapOrder) {
    const std::map<std::string, std::string> params = {
        {"c", "x y&z=/?+~._-"}, {"a", "1"}, {"b", kChineseUtf8}};
    // Signature from: printf '%s' '/api/news/list?a=1&b=...' | openssl dgst -sha256 -hmac test-key
    EXPECT_EQ(helper().GetSigniture(L"/api/news/list", params),
              L"http://news.example.test:8080/api/news/list?a=1&b=%E4%B8%AD%E6%96%87&c=x%20y%26z%3D%2F%3F%2B~._-"
              L"&sign=10ca9b9453aff584c7f12334ad65c87caf847aaef125d665db9251e71c518bf1");
}

TEST_F(UrlHelperTest, WithoutParametersOnlySignIsAppended) {
    EXPECT_EQ(helper().GetSigniture(L"/api/ping", {}),
              L"http://news.example.test:8080/api/ping?"
              L"sign=61482b3aa9b8545904a91150de222049ffd871f66434aae58f45156b9a873d3b");
}

TEST_F(UrlHelperTest, KeyAndRootChangesApply) {
    UrlHelper::SetServiceKey("other-key");
    UrlHelper::SetServiceRoot(L"http://other.test/");  // a trailing "/" is dropped
    const std::string sign = urlsign::SignatureOf("other-key", "/api/ping?");
    EXPECT_NE(sign, urlsign::SignatureOf("test-key", "/api/ping?"));
    EXPECT_EQ(helper().GetSigniture(L"/api/ping", {}),
              L"http://other.test/api/ping?sign=" + std::wstring(sign.begin(), sign.end()));
}

TEST_F(UrlHelperTest, OneInstanceForAllThreads) {
    UrlHelper* mine = pattern::CSingleton<UrlHelper>::GetInstance();
    UrlHelper* theirs = nullptr;
    std::thread([&] { theirs = pattern::CSingleton<UrlHelper>::GetInstance(); }).join();
    EXPECT_NE(mine, nullptr);
    EXPECT_EQ(mine, theirs);
}

TEST(UrlSignTest, HmacSha256KnownAnswer) {
    EXPECT_EQ(urlsign::SignatureOf("key", "The quick brown fox jumps over the lazy dog"),
              "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8");
    EXPECT_NE(urlsign::SignatureOf("key", "The quick brown fox jumps over the lazy dog."),
              urlsign::SignatureOf("key", "The quick brown fox jumps over the lazy dog"));
}

TEST(UrlSignTest, PercentEncodingKeepsOnlyUnreserved) {
    EXPECT_EQ(urlsign::PercentEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(urlsign::PercentEncode(kChineseUtf8), "%E4%B8%AD%E6%96%87");
    EXPECT_EQ(urlsign::PercentEncode(" !\"#$%&'()*+,/:;=?@[]"),
              "%20%21%22%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3D%3F%40%5B%5D");
    EXPECT_EQ(urlsign::PercentEncode(std::string("\0\xff", 2)), "%00%FF");
    EXPECT_EQ(urlsign::PercentEncode(""), "");
}

TEST(UrlSignTest, SignedUrlIsAcceptedByTheServer_Loopback) {
    UrlHelper::SetServiceRoot(g_server->Root());
    UrlHelper::SetServiceKey(kLoopKey);
    UrlHelper* helper = pattern::CSingleton<UrlHelper>::GetInstance();
    const std::map<std::string, std::string> params = {{"symbol", "sh600000"}, {"title", kChineseUtf8},
                                                       {"q", "a&b=c d"}};
    std::vector<char> body;
    ASSERT_TRUE(GetSync(helper->GetSigniture(L"/signed/news", params), body, {}, 10));
    EXPECT_EQ(AsString(body), std::string("q=a&b=c d;symbol=sh600000;title=") + kChineseUtf8 + ";");

    ASSERT_TRUE(GetSync(helper->GetSigniture(L"/signed/ping", {}), body, {}, 10));

    // The same URL with a parameter changed no longer matches its signature.
    std::wstring tampered = helper->GetSigniture(L"/signed/news", params);
    tampered.replace(tampered.find(L"sh600000"), 8, L"sh600001");
    EXPECT_FALSE(GetSync(tampered, body, {}, 10));

    UrlHelper::SetServiceKey("wrong-key");
    EXPECT_FALSE(GetSync(helper->GetSigniture(L"/signed/news", params), body, {}, 10));
}

// Configuration from the environment is read once, so each case runs in a
// fresh process.
TEST(UrlHelperEnvironmentTest, RootAndKeyComeFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("LX_NEWS_SERVICE_ROOT", "http://env.test:9000", 1);
            setenv("LX_NEWS_SERVICE_KEY", "env-key", 1);
            const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(L"/env/check", {});
            std::exit(url == L"http://env.test:9000/env/check?"
                             L"sign=13265fe1795a7b3aa2c1f1e004f002ed318633a86e13079e30eeb10a4670ce1d"
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            unsetenv("LX_NEWS_SERVICE_ROOT");
            unsetenv("LX_NEWS_SERVICE_KEY");
            const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(L"/env/check", {});
            std::exit(url == L"http://127.0.0.1:8765/env/check?"
                             L"sign=a284a0d2f2906f135e95997478b8bd06e63007fd45d613ecaab4b16fec611430"
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("LX_NEWS_SERVICE_ROOT", "http://env.test:9000", 1);
            UrlHelper::SetServiceRoot(L"http://host.test");
            const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(L"/env/check", {});
            std::exit(url.rfind(L"http://host.test/env/check?sign=", 0) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// Program log

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/" + name + "." +
           std::to_string(::getpid()) + ".log";
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool AllDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Everything after "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] [level] ".
std::string TextOf(const std::string& line, std::string* level = nullptr) {
    const std::string malformed = "<malformed: " + line + ">";
    static const std::string stampShape = "dddd-dd-ddTdd:dd:dd.dddZ [";
    if (line.size() < stampShape.size()) return malformed;
    for (std::size_t i = 0; i < stampShape.size(); ++i) {
        const bool ok = stampShape[i] == 'd' ? (line[i] >= '0' && line[i] <= '9') : line[i] == stampShape[i];
        if (!ok) return malformed;
    }
    const std::size_t threadEnd = line.find("] [", stampShape.size());
    if (threadEnd == std::string::npos || !AllDigits(line.substr(stampShape.size(), threadEnd - stampShape.size())))
        return malformed;
    const std::size_t levelStart = threadEnd + 3;
    const std::size_t levelEnd = line.find("] ", levelStart);
    if (levelEnd == std::string::npos) return malformed;
    const std::string lv = line.substr(levelStart, levelEnd - levelStart);
    if (lv != "-" && !AllDigits(lv[0] == '-' ? lv.substr(1) : lv)) return malformed;
    if (level != nullptr) *level = lv;
    return line.substr(levelEnd + 2);
}

class ProgramLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::remove(path_.c_str());
        base::SetProgramLogFile(std::wstring(path_.begin(), path_.end()));
    }
    void TearDown() override {
        base::SetProgramLogFile(L"");
        std::remove(path_.c_str());
    }
    std::string path_;
};

TEST_F(ProgramLogTest, WholeLinesFromManyThreads) {
    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                WriteProgramLogNoMask(L"worker %d line %d name=%s end", t, i, L"\x4E2D\x6587\x540D");
        });
    }
    for (auto& th : threads) th.join();

    const std::vector<std::string> lines = ReadLines(path_);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : lines) {
        std::istringstream text(TextOf(line));
        std::string worker, lineWord, rest;
        int t = -1, i = -1;
        text >> worker >> t >> lineWord >> i;
        std::getline(text, rest);
        ASSERT_TRUE(text.eof() && worker == "worker" && lineWord == "line") << line;
        ASSERT_EQ(rest, " name=\xE4\xB8\xAD\xE6\x96\x87\xE5\x90\x8D end") << line;
        seen.emplace(t, i);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(ProgramLogTest, FormatsWideStringsIntsAndPercent) {
    WriteProgramLogNoMask(L"%s=%d, 100%% [%-4s] [%5d] %c", L"count", -7, L"ab", 42, L'\x6587');
    WriteProgramLogNoMask(L"no arguments");
    WriteProgramLogNoMask(L"null string %s", static_cast<const wchar_t*>(nullptr));
    WriteProgramLogNoMask(nullptr);
    WriteProgramLogNoMask(L"unfinished %-5");
    WriteProgramLogNoMask(L"%s", std::wstring(300000, L'x').c_str());
    const auto lines = ReadLines(path_);
    ASSERT_EQ(lines.size(), 6u);
    std::string level;
    EXPECT_EQ(TextOf(lines[0], &level), "count=-7, 100% [ab  ] [   42] \xE6\x96\x87");
    EXPECT_EQ(level, "-");
    EXPECT_EQ(TextOf(lines[1]), "no arguments");
    EXPECT_EQ(TextOf(lines[2]), "null string (null)");
    EXPECT_EQ(TextOf(lines[3]), "(null)");
    EXPECT_EQ(TextOf(lines[4]), "unfinished %-5");
    // An oversized line is cut, not lost.
    EXPECT_GT(TextOf(lines[5]).size(), 1000u);
    EXPECT_EQ(TextOf(lines[5]).find_first_not_of('x'), std::string::npos);
}

TEST_F(ProgramLogTest, StringIsWrittenAsItStandsOnOneLine) {
    WriteProgramLogString(3, L"raw %s %d 100% \x4E2D");
    WriteProgramLogString(1, L"first\nsecond\r\n");
    WriteProgramLogString(2, nullptr);
    const auto lines = ReadLines(path_);
    ASSERT_EQ(lines.size(), 3u);
    std::string level;
    EXPECT_EQ(TextOf(lines[0], &level), "raw %s %d 100% \xE4\xB8\xAD");
    EXPECT_EQ(level, "3");
    EXPECT_EQ(TextOf(lines[1], &level), "first\\nsecond\\r\\n");
    EXPECT_EQ(level, "1");
    EXPECT_EQ(TextOf(lines[2]), "(null)");
}

TEST_F(ProgramLogTest, AppendsAndFallsBackToStandardError) {
    WriteProgramLogString(0, L"to the file");
    base::SetProgramLogFile(L"");
    ::testing::internal::CaptureStderr();
    WriteProgramLogString(0, L"to stderr");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("to stderr\n"), std::string::npos);

    // Reopening appends rather than truncating.
    base::SetProgramLogFile(std::wstring(path_.begin(), path_.end()));
    WriteProgramLogString(0, L"again");
    const auto lines = ReadLines(path_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(TextOf(lines[0]), "to the file");
    EXPECT_EQ(TextOf(lines[1]), "again");

    // A file that cannot be opened leaves the log on standard error.
    base::SetProgramLogFile(L"/nonexistent-dir/x/y.log");
    ::testing::internal::CaptureStderr();
    WriteProgramLogString(0, L"still written");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("still written"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Task manager

TEST(TaskManagerTest, RunsEachTaskOnceOffTheCallersThread) {
    constexpr int kTasks = 200;
    std::mutex mu;
    std::condition_variable cv;
    std::map<int, int> runs;
    std::set<std::thread::id> workers;
    int done = 0;
    const auto caller = std::this_thread::get_id();
    unsigned int lastId = 0;
    for (int i = 0; i < kTasks; ++i) {
        const unsigned int id = base::TaskManagerInstance().AddTask([&, i] {
            std::lock_guard<std::mutex> lock(mu);
            ++runs[i];
            workers.insert(std::this_thread::get_id());
            ++done;
            cv.notify_all();
        });
        EXPECT_GT(id, lastId);
        lastId = id;
    }
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, seconds(60), [&] { return done == kTasks; }));
    lock.unlock();
    std::this_thread::sleep_for(milliseconds(100));
    lock.lock();
    EXPECT_EQ(done, kTasks);
    for (int i = 0; i < kTasks; ++i) EXPECT_EQ(runs[i], 1) << "task " << i;
    EXPECT_EQ(workers.count(caller), 0u);
    EXPECT_LE(workers.size(), 2u);
    EXPECT_EQ(&base::TaskManagerInstance(), &base::TaskManagerInstance());
}

TEST(TaskManagerTest, ThrowingTasksAndEmptyTasksAreHarmless) {
    for (int i = 0; i < 4; ++i) base::TaskManagerInstance().AddTask([] { throw std::runtime_error("task failed"); });
    base::TaskManagerInstance().AddTask([] { throw 1; });
    base::TaskManagerInstance().AddTask(boost::function<void()>());
    std::promise<void> ran[4];
    for (auto& p : ran) base::TaskManagerInstance().AddTask([&p] { p.set_value(); });
    for (auto& p : ran) EXPECT_EQ(p.get_future().wait_for(seconds(30)), std::future_status::ready);
}

TEST(TaskManagerTest, TaskAddedByAWorkerRunsOnAnotherThread) {
    std::promise<std::pair<std::thread::id, std::thread::id>> threads;
    base::TaskManagerInstance().AddTask([&threads] {
        const auto adder = std::this_thread::get_id();
        base::TaskManagerInstance().AddTask(
            [&threads, adder] { threads.set_value({adder, std::this_thread::get_id()}); });
    });
    auto f = threads.get_future();
    ASSERT_EQ(f.wait_for(seconds(30)), std::future_status::ready);
    const auto ids = f.get();
    EXPECT_NE(ids.first, ids.second);
}

// ---------------------------------------------------------------------------
// Text, calendar, symbols

TEST(Ws2sTest, ConvertsToUtf8WhateverTheCodePage) {
    EXPECT_EQ(common::ws2s(L"\x4E2D\x6587", 65001), kChineseUtf8);
    EXPECT_EQ(common::ws2s(L"\x4E2D\x6587", 936), kChineseUtf8);
    EXPECT_EQ(common::ws2s(L"abc \xE9", 65001), "abc \xC3\xA9");
    EXPECT_EQ(common::ws2s(std::wstring(1, wchar_t(0x1F600)), 65001), "\xF0\x9F\x98\x80");
    EXPECT_EQ(common::ws2s(L"", 65001), "");
}

TEST(Ws2sTest, InvalidCodePointsAreDropped) {
    std::wstring text = L"a";
    text += wchar_t(0xD800);
    text += L"b";
    text += static_cast<wchar_t>(0x110000);
    text += L"c";
    text += static_cast<wchar_t>(-1);
    EXPECT_EQ(common::ws2s(text, 65001), "abc");
}

TEST(DateToTimeTest, WallClockOfTheServiceCalendar) {
    EXPECT_EQ(common::DateToTime(20240101, 0, 0, 0), 1704038400LL);
    EXPECT_EQ(common::DateToTime(20240101, 23, 59, 59), 1704038400LL + 86399);
    EXPECT_EQ(common::DateToTime(19700101, 8, 0, 0), 0LL);
    // Reference values: date -u -d '... +0800' +%s
    EXPECT_EQ(common::DateToTime(20240229, 0, 0, 0), 1709136000LL);
    EXPECT_EQ(common::DateToTime(20000301, 12, 30, 45), 951885045LL);
    EXPECT_EQ(common::DateToTime(19691231, 0, 0, 0), -115200LL);
    EXPECT_EQ(common::DateToTime(20231231, 23, 59, 59), 1704038399LL);
}

TEST(DateToTimeTest, OutOfRangeDatesAreArithmeticOrZero) {
    EXPECT_EQ(common::DateToTime(0, 0, 0, 0), 0LL);
    EXPECT_EQ(common::DateToTime(20241301, 0, 0, 0), 0LL);
    EXPECT_EQ(common::DateToTime(20240100, 0, 0, 0), 0LL);
    EXPECT_EQ(common::DateToTime(20240132, 0, 0, 0), 0LL);
    EXPECT_EQ(common::DateToTime(4294967295u, 12, 0, 0), 0LL);
    // Past the month's end and past 24 h simply add up.
    EXPECT_EQ(common::DateToTime(20230229, 0, 0, 0), common::DateToTime(20230301, 0, 0, 0));
    EXPECT_EQ(common::DateToTime(20240101, 24, 0, 0), common::DateToTime(20240102, 0, 0, 0));
}

TEST(ServerDateTest, AgreesWithDateToTimeAroundNow) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const unsigned int before = common::GetCurrentServerDate();
        const long long now = static_cast<long long>(std::time(nullptr));
        const unsigned int after = common::GetCurrentServerDate();
        if (before != after) continue;  // midnight passed in between
        EXPECT_GE(before, 20240101u);
        EXPECT_LE(common::DateToTime(before, 0, 0, 0), now);
        EXPECT_GT(common::DateToTime(before, 24, 0, 0), now);
        return;
    }
    FAIL() << "the date kept changing";
}

TEST(CheckSymbolTest, IndicesStocksAndTheRest) {
    EXPECT_EQ(stock::CheckSymbol(L"sh000001"), stock::SYMBOL_INDEX);
    EXPECT_EQ(stock::CheckSymbol(L"SZ399001"), stock::SYMBOL_INDEX);
    EXPECT_EQ(stock::CheckSymbol(L"Sh000300"), stock::SYMBOL_INDEX);

    EXPECT_EQ(stock::CheckSymbol(L"sh600000"), stock::SYMBOL_STOCK);
    EXPECT_EQ(stock::CheckSymbol(L"sz000001"), stock::SYMBOL_STOCK);  // "sz000" is not an index prefix
    EXPECT_EQ(stock::CheckSymbol(L"sh399001"), stock::SYMBOL_STOCK);
    EXPECT_EQ(stock::CheckSymbol(L"bj830799"), stock::SYMBOL_STOCK);
    EXPECT_EQ(stock::CheckSymbol(L"SZ300750"), stock::SYMBOL_STOCK);

    EXPECT_EQ(stock::CheckSymbol(nullptr), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L""), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"sh"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"sh60000"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"sh6000001"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"sh60000a"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"hk00700"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"600000"), stock::SYMBOL_UNKNOWN);
    EXPECT_EQ(stock::CheckSymbol(L"\x4E2D\x6587"), stock::SYMBOL_UNKNOWN);
}

}  // namespace
