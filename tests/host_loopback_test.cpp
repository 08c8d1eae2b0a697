// The real host libraries through their exported calls, over loopback.

#include <gtest/gtest.h>

#include <boost/thread/thread.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "host/url_signature.h"
#include "tests/raw_http_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;
const auto npos = std::string::npos;
const char kChinese[] = "\xE4\xB8\xAD\xE6\x96\x87";

// One network thread: a connection that one request spoilt is the next one's.
const bool g_oneNetworkThread = (netwk::SetNetworkThreadCount(1), true);

// Never freed: a death test's process exits with its threads blocked.
RawHttpServer& Server() {
    static RawHttpServer* const server = new RawHttpServer;
    return *server;
}
std::string Text(const std::vector<char>& v) { return std::string(v.begin(), v.end()); }
std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

struct Outcome {
    int calls = 0;
    bool success = false, onCaller = false;
    std::string body;  // "<null>" for a null body
};

// One GetAsyn: its completion, and a little later a stray second one.
Outcome FetchAsync(const std::wstring& url, int timeoutSeconds, const HttpHeaderMap& headers = {}) {
    struct Shared {
        std::mutex mu;
        std::condition_variable cv;
        Outcome o;
    };
    const auto shared = std::make_shared<Shared>();
    const auto caller = std::this_thread::get_id();
    GetAsyn(
        url,
        [shared, caller](bool success, const char* body, long long n) {
            std::lock_guard<std::mutex> lock(shared->mu);
            shared->o = {shared->o.calls + 1, success, std::this_thread::get_id() == caller,
                         body != nullptr ? std::string(body, std::size_t(n)) : "<null>"};
            shared->cv.notify_all();
        },
        headers, timeoutSeconds);
    std::unique_lock<std::mutex> lock(shared->mu);
    shared->cv.wait_for(lock, seconds(timeoutSeconds + 10), [&] { return shared->o.calls > 0; });
    shared->cv.wait_for(lock, milliseconds(50), [&] { return shared->o.calls > 1; });
    return shared->o;
}

long long PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    long long kb = -1;
    for (std::string key; status >> key && key != "VmHWM:";) status.ignore(1 << 10, '\n');
    status >> kb;
    return kb * 1024;
}

// ---------------------------------------------------------------------------
// GetAsyn and GetSync

TEST(RequestsTest, TheServerSeesWhatWasAskedOnOneConnectionPerThread_Loopback) {
    UrlHelper::SetServiceRoot(Server().Url(""));
    UrlHelper::SetServiceKey("loop-key");
    const std::wstring signedUrl = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(
        L"/echo/news", {{"symbol", "sh600000"}, {"title", kChinese}, {"q", "a&b=c d"}});
    const struct {
        std::wstring url;
        HttpHeaderMap headers;
        std::vector<std::string> seen, unseen;  // in the head the server received
    } cases[] = {
        {Server().Url("/echo?id=42"), {}, {"\r\nAccept-Encoding: gzip, deflate\r\n"}, {}},
        {Server().Url("/echo"),
         {{"X-Probe", "probe value"},
          {"X-Empty", ""},
          {"X-Bad\r\nX-Evil", "1"},
          {"X-Other", "v\r\nX-Evil: 2"},
          {"Bad:Name", "1"},
          {"Bad Name", "1"}},
         {"\r\nX-Probe: probe value\r\n", "\r\nX-Empty:"},
         {"X-Evil", "X-Other", "Bad"}},
        {signedUrl, {}, {"/echo/news?q=a%26b%3Dc%20d&symbol=sh600000&title=%E4%B8%AD%E6%96%87&sign="}, {}},
    };
    std::set<std::string> syncConnections, asyncConnections;
    for (const auto& c : cases) {
        const std::string line = "\nGET " + Narrow(c.url).substr(Narrow(Server().Url("")).size()) + " HTTP/1.1\r\n";
        SCOPED_TRACE(line);
        const Outcome async = FetchAsync(c.url, 10, c.headers);
        EXPECT_TRUE(async.success && async.calls == 1 && !async.onCaller);
        std::vector<char> body;
        ASSERT_TRUE(GetSync(c.url, body, c.headers, 10));
        for (const std::string& head : {async.body, Text(body)}) {
            EXPECT_NE(head.find(line), npos) << head;
            for (const std::string& s : c.seen) EXPECT_NE(head.find(s), npos) << s;
            for (const std::string& s : c.unseen) EXPECT_EQ(head.find(s), npos) << s;
        }
        syncConnections.insert(Text(body).substr(0, Text(body).find('\n')));
        asyncConnections.insert(async.body.substr(0, async.body.find('\n')));
    }
    EXPECT_EQ(syncConnections.size(), 1u);
    EXPECT_EQ(asyncConnections.size(), 1u);
    // A thread's connection goes with the thread.
    std::vector<char> body;
    std::thread([&body] { GetSync(Server().Url("/echo"), body, {}, 10); }).join();
    EXPECT_TRUE(Server().WaitClosed(std::atoi(Text(body).c_str() + 1), seconds(10))) << Text(body);
}

struct FailureCase {
    const char* what;
    const wchar_t* url;  // from "/": on the loopback server
    int timeoutSeconds;
    bool success;
    const char* body;
};

// Each case completes once, off the caller's thread, well within its timeout and
// bounded memory, and leaves nothing behind on the connection the next request takes.
void ExpectEachCase(std::initializer_list<FailureCase> cases) {
    const long long baseline = PeakResidentBytes();
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring url = c.url[0] == L'/' ? Server().Url(Narrow(c.url)) : c.url;
        const auto start = Clock::now();
        const Outcome async = FetchAsync(url, c.timeoutSeconds);
        std::vector<char> body(3, 'x');
        EXPECT_EQ(GetSync(url, body, {}, c.timeoutSeconds), c.success);
        EXPECT_LT(Clock::now() - start, seconds(2 * c.timeoutSeconds + 2));
        EXPECT_TRUE(async.calls == 1 && async.success == c.success && !async.onCaller);
        EXPECT_EQ(async.body, c.success ? c.body : "<null>");
        EXPECT_EQ(Text(body), c.body);
        EXPECT_NE(FetchAsync(Server().Url("/echo"), 5).body.find("\nGET /echo HTTP"), npos);
        EXPECT_TRUE(GetSync(Server().Url("/echo"), body, {}, 5) && Text(body).find("\nGET /echo HTTP") != npos);
        // A body growing to the limit briefly holds 1.5 times it, on two threads.
        EXPECT_LT(PeakResidentBytes() - baseline, 5 * netwk::kMaxResponseBytes);
    }
}

// clang-format off
TEST(RequestsTest, FailureKinds_Loopback) {
    ExpectEachCase({
        {"201", L"/status/201", 10, true, "error page"}, {"empty body", L"/empty", 10, true, ""},
        {"300", L"/status/300", 10, false, ""},          {"302 going nowhere", L"/status/302", 10, false, ""},
        {"404", L"/status/404", 10, false, ""},          {"503", L"/status/503", 10, false, ""},
        {"timeout", L"/stall", 1, false, ""},            {"refused", L"http://127.0.0.1:1/echo", 10, false, ""},
        {"empty url", L"", 2, false, ""},                {"not a url", L"not a url", 2, false, ""},
        {"ftp", L"ftp://127.0.0.1/x", 2, false, ""},     {"lone surrogate", L"\xD800", 2, false, ""},
    });
}

TEST(RequestsTest, HostileServer_Loopback) {
    ExpectEachCase({
        {"gzip bomb", L"/gzip-bomb", 2, false, ""},         {"endless chunks", L"/endless", 2, false, ""},
        {"huge length", L"/huge-length", 2, false, ""},     {"endless headers", L"/headers", 2, false, ""},
        {"drip", L"/drip", 2, false, ""},                   {"cut", L"/cut", 2, false, ""},
        {"bad chunk", L"/bad-chunk", 2, false, ""},         {"bad gzip", L"/bad-gzip", 2, false, ""},
        {"redirect loop", L"/redirect-loop", 2, false, ""}, {"redirect to a file", L"/redirect-file", 2, false, ""},
        {"excess", L"/excess", 2, true, "[]"},
    });
}
// clang-format on

// A completion that throws costs only itself; one may start another request.
TEST(RequestsTest, ThrowingAndNestedCompletions_Loopback) {
    GetAsyn(
        Server().Url("/echo"), [](bool, const char*, long long) { throw std::runtime_error("failed"); }, {}, 10);
    GetAsyn(Server().Url("/echo"), HttpCompletion(), {}, 10);  // nothing to tell
    std::promise<std::string> nested;
    GetAsyn(
        Server().Url("/echo"),
        [&nested](bool, const char*, long long) {
            GetAsyn(
                Server().Url("/echo?nested"),
                [&nested](bool, const char* b, long long n) { nested.set_value(std::string(b, std::size_t(n))); }, {},
                10);
            throw 42;
        },
        {}, 10);
    auto f = nested.get_future();
    ASSERT_EQ(f.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_NE(f.get().find("\nGET /echo?nested HTTP"), npos);
}

// GetSync on an interrupted boost::thread gives up at once and leaves the interruption pending.
TEST(RequestsTest, InterruptedGetSync_Loopback) {
    for (const std::string path : {"/echo/interrupted", "/stall/interrupted"}) {
        const bool before = path == "/echo/interrupted";
        std::promise<void> go;
        std::promise<std::pair<bool, bool>> result;  // GetSync's, and whether the next point threw
        boost::thread worker([&, goSignal = go.get_future().share()] {
            goSignal.wait();  // not an interruption point
            std::vector<char> body;
            const bool ok = GetSync(Server().Url(path), body, {}, 60);
            try {
                boost::this_thread::interruption_point();
                result.set_value({ok, false});
            } catch (const boost::thread_interrupted&) {
                result.set_value({ok, true});
            }
        });
        if (before) worker.interrupt();
        go.set_value();
        ASSERT_TRUE(before || Server().WaitRequests(path, 1, seconds(10)));
        worker.interrupt();
        auto f = result.get_future();
        ASSERT_EQ(f.wait_for(seconds(5)), std::future_status::ready) << path;  // not the 60 s timeout
        EXPECT_EQ(f.get(), std::make_pair(false, true)) << path;
        worker.join();
        EXPECT_EQ(Server().requests(path), before ? 0 : 1);
    }
    std::vector<char> body;
    EXPECT_TRUE(GetSync(Server().Url("/echo"), body, {}, 10));  // a plain thread is never taken for one
}

// Exit with a transfer in flight, queued requests and a task, then with every
// thread idle: no crash, no completion, and no pool waits out its grace period.
TEST(HostExitTest, ExitWithTransfersInFlightOrIdle_Loopback) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const std::string path : {"/stall", "/echo"}) {
        const auto start = Clock::now();
        EXPECT_EXIT(
            {
                const HttpCompletion mustNotRun = [](bool, const char*, long long) { std::_Exit(4); };
                for (int i = 0; i < 4; ++i)
                    GetAsyn(Server().Url(path),
                            path == "/echo" ? HttpCompletion([](bool, const char*, long long) {}) : mustNotRun, {}, 60);
                base::TaskManagerInstance().AddTask([path] {
                    std::vector<char> body;
                    GetSync(Server().Url(path), body, {}, 60);
                });
                if (!Server().WaitRequests(path, path == "/echo" ? 5 : 2, seconds(10))) std::_Exit(3);
                std::this_thread::sleep_for(milliseconds(100));
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "");
        EXPECT_LT(Clock::now() - start, seconds(3)) << path;  // idle pools' grace periods: 4 s
    }
}

// ---------------------------------------------------------------------------
// UrlHelper

TEST(UrlHelperTest, SignsPercentEncodedParametersInMapOrder) {
    // Signatures: printf '%s' PATH?QUERY | openssl dgst -sha256 -hmac KEY
    const struct {
        const wchar_t* root;
        const char* key;
        const wchar_t* path;
        std::map<std::string, std::string> params;
        const wchar_t* url;
    } cases[] = {
        {L"http://news.example.test:8080",
         "test-key",
         L"/api/news/list",
         {{"c", "x y&z=/?+~._-"}, {"a", "1"}, {"b", kChinese}},
         L"http://news.example.test:8080/api/news/list?a=1&b=%E4%B8%AD%E6%96%87&c=x%20y%26z%3D%2F%3F%2B~._-"
         L"&sign=10ca9b9453aff584c7f12334ad65c87caf847aaef125d665db9251e71c518bf1"},
        {L"http://news.example.test:8080",
         "test-key",
         L"/api/ping",
         {},
         L"http://news.example.test:8080/api/"
         L"ping?sign=61482b3aa9b8545904a91150de222049ffd871f66434aae58f45156b9a873d3b"},
        {L"http://other.test/",
         "other-key",
         L"/api/ping",
         {},  // a trailing "/" is dropped
         L"http://other.test/api/ping?sign=88f88e4c884a03f9d4ec7c7f1a03706681338eb3d9adf64c8545166920598a39"},
    };
    for (const auto& c : cases) {
        UrlHelper::SetServiceRoot(c.root);
        UrlHelper::SetServiceKey(c.key);
        EXPECT_EQ(pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(c.path, c.params), c.url);
    }
    EXPECT_EQ(urlsign::PercentEncode(std::string("AZaz09-._~ !\"#$%&'()*+,/:;=?@[]\0\xff", 33)),
              "AZaz09-._~%20%21%22%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3D%3F%40%5B%5D%00%FF");
}

// The environment is read once, so each case runs in a process of its own.
TEST(UrlHelperTest, RootAndKeyFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::wstring envSign = L"/env/check?sign=13265fe1795a7b3aa2c1f1e004f002ed318633a86e13079e30eeb10a4670ce1d";
    const struct {
        const char *root, *key;
        const wchar_t* hostRoot;
        std::wstring url;
    } cases[] = {
        {"http://env.test:9000", "env-key", nullptr, L"http://env.test:9000" + envSign},
        {nullptr, nullptr, nullptr,
         L"http://127.0.0.1:8765/env/check?sign=a284a0d2f2906f135e95997478b8bd06e63007fd45d613ecaab4b16fec611430"},
        {"http://env.test:9000", "env-key", L"http://host.test", L"http://host.test" + envSign},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                c.root != nullptr ? setenv("LX_NEWS_SERVICE_ROOT", c.root, 1) : unsetenv("LX_NEWS_SERVICE_ROOT");
                c.key != nullptr ? setenv("LX_NEWS_SERVICE_KEY", c.key, 1) : unsetenv("LX_NEWS_SERVICE_KEY");
                if (c.hostRoot != nullptr) UrlHelper::SetServiceRoot(c.hostRoot);
                std::exit(pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(L"/env/check", {}) == c.url);
            },
            ::testing::ExitedWithCode(1), "");
    }
}

// ---------------------------------------------------------------------------
// Program log: "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] [level] text", one line per call.

std::vector<std::string> LoggedTexts(const std::string& path) {
    static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+\] )");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) {
        const std::size_t end = line.find("] ") + 2;
        texts.push_back(std::regex_match(line.substr(0, end), stamp) ? line.substr(end) : "<unstamped> " + line);
    }
    return texts;
}

TEST(ProgramLogTest, FormatsOneWholeLinePerCallFromAnyThread) {
    const std::string path = ::testing::TempDir() + "lx_program_log_" + std::to_string(::getpid());
    base::SetProgramLogFile(std::wstring(path.begin(), path.end()));
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { WriteProgramLogNoMask(L"%s=%d, 100%% [%-4s] [%5d] %c", L"count", -7, L"ab", 42, L'\x6587'); },
         "[-] count=-7, 100% [ab  ] [   42] \xE6\x96\x87"},
        {[] { WriteProgramLogNoMask(L"no arguments"); }, "[-] no arguments"},
        {[] { WriteProgramLogNoMask(L"null %s", static_cast<const wchar_t*>(nullptr)); }, "[-] null (null)"},
        {[] { WriteProgramLogNoMask(nullptr); }, "[-] (null)"},
        {[] { WriteProgramLogNoMask(L"unfinished %-5"); }, "[-] unfinished %-5"},
        {[] { WriteProgramLogString(3, L"raw %s %d 100% \x4E2D"); }, "[3] raw %s %d 100% \xE4\xB8\xAD"},
        {[] { WriteProgramLogString(-1, L"first\nsecond\r\n"); }, "[-1] first\\nsecond\\r\\n"},
        {[] { WriteProgramLogString(2, nullptr); }, "[2] (null)"},
        {[] { WriteProgramLogNoMask(L"%s", std::wstring(300000, L'x').c_str()); }, ""},  // cut, not lost
    };
    for (const auto& c : cases) c.first();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) WriteProgramLogNoMask(L"worker %d line %d %s end", t, i, L"\x4E2D");
        });
    for (auto& th : threads) th.join();
    base::SetProgramLogFile(L"");
    ::testing::internal::CaptureStderr();
    WriteProgramLogString(0, L"to stderr");
    base::SetProgramLogFile(L"/nonexistent-dir/x.log");  // cannot be opened: still standard error
    WriteProgramLogString(0, L"still written");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(err.find("] [0] to stderr\n") != npos && err.find("] [0] still written\n") != npos) << err;
    base::SetProgramLogFile(std::wstring(path.begin(), path.end()));  // reopened: appends
    WriteProgramLogString(0, L"again");
    base::SetProgramLogFile(L"");

    std::vector<std::string> texts = LoggedTexts(path);
    std::remove(path.c_str());
    ASSERT_EQ(texts.size(), std::size(cases) + 2001);
    for (std::size_t i = 0; i + 1 < std::size(cases); ++i) EXPECT_EQ(texts[i], cases[i].second);
    const std::string& cut = texts[std::size(cases) - 1];
    EXPECT_TRUE(cut.size() > 1000 && cut.find_first_not_of('x', 4) == npos) << cut.substr(0, 80);
    EXPECT_EQ(texts.back(), "[0] again");
    const std::set<std::string> workers(texts.begin() + std::size(cases), texts.end() - 1);
    EXPECT_EQ(workers.size(), 2000u);
    for (const std::string& text : workers)
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(\[-\] worker \d line \d+ \xE4\xB8\xAD end)"))) << text;
}

// ---------------------------------------------------------------------------
// Task manager

TEST(TaskManagerTest, RunsEachTaskOnceOffTheAddersThreadWhateverTheTasksDo) {
    base::TaskManager& tasks = base::TaskManagerInstance();
    EXPECT_EQ(&tasks, &base::TaskManagerInstance());
    tasks.AddTask([] { throw std::runtime_error("task failed"); });
    tasks.AddTask([] { throw 1; });
    tasks.AddTask(boost::function<void()>());
    std::mutex mu;
    std::condition_variable cv;
    std::map<int, int> runs;
    std::set<std::thread::id> workers;
    std::pair<std::thread::id, std::thread::id> adderAndAdded;
    unsigned int lastId = 0;
    for (int i = 0; i < 200; ++i) {
        const unsigned int id = tasks.AddTask([&, i] {
            if (i == 0)
                tasks.AddTask([&, adder = std::this_thread::get_id()] {
                    std::lock_guard<std::mutex> lock(mu);
                    adderAndAdded = {adder, std::this_thread::get_id()};
                    cv.notify_all();
                });
            std::lock_guard<std::mutex> lock(mu);
            ++runs[i];
            workers.insert(std::this_thread::get_id());
            cv.notify_all();
        });
        EXPECT_GT(id, lastId);
        lastId = id;
    }
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, seconds(60),
                            [&] { return runs.size() == 200 && adderAndAdded.second != std::thread::id(); }));
    cv.wait_for(lock, milliseconds(100), [] { return false; });  // room for a stray second run
    for (const auto& r : runs) EXPECT_EQ(r.second, 1) << "task " << r.first;
    EXPECT_EQ(workers.count(std::this_thread::get_id()), 0u);
    EXPECT_LE(workers.size(), 2u);
    EXPECT_NE(adderAndAdded.first, adderAndAdded.second);
}

// ---------------------------------------------------------------------------
// Calendar (UTC+8), symbols, text

TEST(CalendarTest, DatesAndTimesBothWays) {
    // clang-format off
    const struct {
        unsigned date;
        int h, m, s;
        long long time;  // date -u -d 'YYYY-MM-DD HH:MM:SS +0800' +%s
        unsigned day;    // the day it falls on; 0: not a date
    } cases[] = {
        {19700101, 8, 0, 0, 0, 19700101},             {19700101, 0, 0, 0, -28800, 19700101},
        {19691231, 23, 59, 59, -28801, 19691231},     {229, 0, 0, 0, -62162150400, 229},
        {301, 0, 0, 0, -62162064000, 301},            {10101, 12, 0, 0, -62135582400, 10101},
        {16000229, 0, 0, 0, -11671027200, 16000229},  {16000301, 0, 0, 0, -11670940800, 16000301},
        {19000228, 0, 0, 0, -2204006400, 19000228},   {19000301, 0, 0, 0, -2203920000, 19000301},
        {20000229, 0, 0, 0, 951753600, 20000229},     {20000301, 0, 0, 0, 951840000, 20000301},
        {20040229, 0, 0, 0, 1077984000, 20040229},    {20080229, 0, 0, 0, 1204214400, 20080229},
        {20240229, 12, 30, 45, 1709181045, 20240229}, {21000228, 23, 59, 59, 4107513599, 21000228},
        {21000301, 0, 0, 0, 4107513600, 21000301},    {20230131, 0, 0, 1, 1675094401, 20230131},
        {20230228, 1, 0, 0, 1677517200, 20230228},    {20230331, 0, 1, 0, 1680192060, 20230331},
        {20230430, 0, 0, 0, 1682784000, 20230430},    {20230531, 0, 0, 0, 1685462400, 20230531},
        {20230630, 0, 0, 0, 1688054400, 20230630},    {20230731, 0, 0, 0, 1690732800, 20230731},
        {20230831, 0, 0, 0, 1693411200, 20230831},    {20230930, 0, 0, 0, 1696003200, 20230930},
        {20231031, 0, 0, 0, 1698681600, 20231031},    {20231130, 0, 0, 0, 1701273600, 20231130},
        {20231231, 23, 59, 59, 1704038399, 20231231},
        // Past the month's end or the day's hours is plain arithmetic.
        {20230229, 0, 0, 0, 1677600000, 20230301},    {20240231, 0, 0, 0, 1709308800, 20240302},
        {20240101, 24, 0, 0, 1704124800, 20240102},   {20240101, -1, 0, 0, 1704034800, 20231231},
        {0, 12, 0, 0, 0, 0}, {20241301, 0, 0, 0, 0, 0}, {20240001, 0, 0, 0, 0, 0}, {20240100, 0, 0, 0, 0, 0},
        {20240132, 0, 0, 0, 0, 0}, {4294967295u, 12, 0, 0, 0, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(common::DateToTime(c.date, c.h, c.m, c.s), c.time);
        if (c.day == 0) continue;
        const long long day = common::ServerDayOf(c.time);
        EXPECT_EQ(common::ServerDateOfDay(day), c.day);
        EXPECT_EQ(common::DayOfCivil(c.day / 10000, c.day / 100 % 100, c.day % 100), day);
        EXPECT_EQ(common::ServerDayStart(day), common::DateToTime(c.day, 0, 0, 0));
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        const unsigned today = common::GetCurrentServerDate();
        const long long now = static_cast<long long>(std::time(nullptr));
        if (today != common::GetCurrentServerDate()) continue;  // midnight passed in between
        EXPECT_TRUE(common::DateToTime(today, 0, 0, 0) <= now && now < common::DateToTime(today, 24, 0, 0));
        return;
    }
    FAIL() << "the date kept changing";
}

TEST(SymbolAndTextTest, CheckSymbolAndWs2s) {
    using namespace stock;
    // clang-format off
    const std::pair<const wchar_t*, SymbolType> symbols[] = {
        {L"sh000001", SYMBOL_INDEX},   {L"SZ399001", SYMBOL_INDEX},  {L"Sh000300", SYMBOL_INDEX},
        {L"sh600000", SYMBOL_STOCK},   {L"sz000001", SYMBOL_STOCK},  {L"sh399001", SYMBOL_STOCK},
        {L"bj830799", SYMBOL_STOCK},   {L"SZ300750", SYMBOL_STOCK},  {nullptr, SYMBOL_UNKNOWN},
        {L"", SYMBOL_UNKNOWN},         {L"sh", SYMBOL_UNKNOWN},      {L"sh60000", SYMBOL_UNKNOWN},
        {L"sh6000001", SYMBOL_UNKNOWN}, {L"sh60000a", SYMBOL_UNKNOWN}, {L"hk00700", SYMBOL_UNKNOWN},
        {L"600000", SYMBOL_UNKNOWN},   {L"\x4E2D\x6587", SYMBOL_UNKNOWN},
    };
    // clang-format on
    for (const auto& s : symbols) EXPECT_EQ(CheckSymbol(s.first), s.second) << (s.first ? Narrow(s.first) : "null");
    std::wstring invalid = L"a";
    for (const wchar_t c : {wchar_t(0xD800), L'b', wchar_t(0x110000), L'c', wchar_t(-1)}) invalid += c;
    const std::pair<std::wstring, std::string> texts[] = {
        {L"\x4E2D\x6587", kChinese},
        {L"abc \xE9", "abc \xC3\xA9"},
        {std::wstring(1, wchar_t(0x1F600)), "\xF0\x9F\x98\x80"},
        {L"", ""},
        {invalid, "abc"},  // invalid code points are dropped
    };
    for (const auto& t : texts) {
        EXPECT_EQ(common::ws2s(t.first, 65001), t.second);
        EXPECT_EQ(common::ws2s(t.first, 936), t.second);  // whatever the code page
    }
}

}  // namespace
