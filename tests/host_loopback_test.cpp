// The real host libraries through their exported calls, over loopback.

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <boost/function.hpp>
#include <gtest/gtest.h>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_net_work.h"
#include "host/lx_qt_support.h"
#include "host/url_signature.h"
#include "tests/raw_http_server.h"
#include "tests/stress_support.h"

#if defined(__SANITIZE_ADDRESS__)
// Freed buffers stay resident in the quarantine: a small one keeps the peak honest.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=4"; }
#endif

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;
const auto npos = std::string::npos;

// One network thread: a connection that one request spoilt is the next one's.
const bool g_oneNetworkThread = (netwk::SetNetworkThreadCount(1), true);

RawHttpServer& Server() {
    static RawHttpServer* const server = new RawHttpServer;
    return *server;
}
std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// What lasts for the rest of the process (a stop, exit) runs in a process of its own; its failures fail the test.
template <class F>
void InOwnProcess(F f) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [&f] {
        f();
        const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
        for (int i = 0; i < result.total_part_count(); ++i) std::cerr << result.GetTestPartResult(i) << "\n";
        std::exit(result.Failed() ? 1 : 0);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

// One GetAsyn: "ok|" or "failed|" and the body; "called again" after a second call.
std::string FetchAsync(const std::wstring& url, int timeoutSeconds, const HttpHeaderMap& headers = {}) {
    const auto calls = std::make_shared<std::atomic<int>>(0);
    const auto first = std::make_shared<std::promise<std::string>>();
    const auto caller = std::this_thread::get_id();
    const HttpCompletion done = [calls, first, caller](bool ok, const char* b, long long n) {
        EXPECT_NE(std::this_thread::get_id(), caller) << "completed on the caller's thread";
        EXPECT_EQ(b == nullptr, !ok) << "a body exactly on success";
        if ((*calls)++ == 0) first->set_value((ok ? "ok|" : "failed|") + std::string(b ? b : "", b ? n : 0));
    };
    GetAsyn(url, done, headers, timeoutSeconds);
    auto f = first->get_future();
    if (f.wait_for(seconds(timeoutSeconds + 10)) != std::future_status::ready) return "no completion";
    std::this_thread::sleep_for(milliseconds(50));
    return (*calls == 1 ? "" : "called again: ") + f.get();
}

// One GetSync: "ok|" or "failed|" and the body left.
std::string FetchSync(const std::wstring& url, int timeoutSeconds, const HttpHeaderMap& headers = {}) {
    std::vector<char> body(3, 'x');
    const bool ok = GetSync(url, body, headers, timeoutSeconds);
    return (ok ? "ok|" : "failed|") + std::string(body.begin(), body.end());
}

TEST(RequestsTest, TheServerSeesWhatWasAskedOnOneConnectionPerThread_Loopback) {
    const HttpCompletion throwing = [](bool, const char*, long long) { throw std::runtime_error("x"); };
    GetAsyn(Server().Url("/echo"), throwing, {}, 10);
    GetAsyn(Server().Url("/echo"), HttpCompletion(), {}, 10);  // nothing to tell
    const std::wstring url = Server().Url("/echo?id=42");
    const HttpHeaderMap headers = {{"X-Probe", "a value"},
                                   {"X-Empty", ""},
                                   {"X-Bad\r\nX-Evil", "1"},
                                   {"X-Other", "v\r\nX-Evil: 2"},
                                   {"Bad:Name", "1"}};
    std::set<std::string> connections;
    for (int round = 0; round < 2; ++round) {
        for (const std::string& head : {FetchAsync(url, 10, headers), FetchSync(url, 10, headers)}) {
            EXPECT_EQ(head.substr(0, 3), "ok|");  // also after a completion that threw
            for (const char* s : {"\nGET /echo?id=42 HTTP/1.1\r\n", "\r\nAccept-Encoding: gzip, deflate\r\n",
                                  "\r\nX-Probe: a value\r\n", "\r\nX-Empty:"})
                EXPECT_NE(head.find(s), npos) << s;
            for (const char* s : {"X-Evil", "X-Other", "Bad"}) EXPECT_EQ(head.find(s), npos) << s;
            connections.insert(head.substr(head.find('#'), head.find('\n') - head.find('#')));
        }
    }
    EXPECT_EQ(connections.size(), 2u);  // one per thread, kept
    std::string head;
    std::thread([&head] { head = FetchSync(Server().Url("/echo"), 10); }).join();
    EXPECT_TRUE(Server().WaitRequests(head.substr(3, head.find('\n') - 3) + " closed", 1, seconds(10)))
        << "a thread's connection goes with it";
}

// Each case completes once, on a network thread, well within its timeout and bounded memory,
// and leaves nothing behind on the connection that the next request takes.
TEST(RequestsTest, FailureKindsAndHostileServers_Loopback) {
    struct Case {
        std::wstring url;  // from "/": on the loopback server
        const char* body;  // null: fails
        int timeoutSeconds = 2;
    };
    std::vector<Case> cases = {
        {L"/status/201", "error page"}, {L"/empty", ""}, {L"/excess", "[]"}, {L"/stall", nullptr, 1}};
    for (const wchar_t* url :
         {L"/status/300", L"/status/302", L"/status/404", L"/status/503", L"http://127.0.0.1:1/echo", L"", L"not a url",
          L"ftp://127.0.0.1/x", L"\xD800", L"/gzip-bomb", L"/endless", L"/huge-length", L"/headers", L"/drip", L"/cut",
          L"/bad-chunk", L"/bad-gzip", L"/redirect-loop", L"/redirect-file"})
        cases.push_back({url, nullptr});
    const auto peakResidentBytes = [] {
        rusage usage{};
        return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss * 1024LL : -1;
    };
    [[maybe_unused]] const long long baseline = peakResidentBytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.url));
        const std::wstring url = c.url[0] == L'/' ? Server().Url(Narrow(c.url)) : c.url;
        const auto start = Clock::now();
        for (const std::string& got : {FetchAsync(url, c.timeoutSeconds), FetchSync(url, c.timeoutSeconds)})
            EXPECT_EQ(got, c.body ? "ok|" + std::string(c.body) : "failed|");
        EXPECT_LT(SecondsSince(start), 2 * c.timeoutSeconds + 2);
        for (const std::string& echo : {FetchAsync(Server().Url("/echo"), 5), FetchSync(Server().Url("/echo"), 5)})
            EXPECT_NE(echo.find("\nGET /echo HTTP"), npos);
#if !defined(__SANITIZE_THREAD__)
        // A body growing to the limit briefly holds 1.5 times it, on two threads.
        EXPECT_LT(peakResidentBytes() - baseline, 5 * netwk::kMaxResponseBytes);
#endif
    }
}

// Exit with a transfer in flight, queued requests and a task, then with every thread idle: no crash, no
// completion, and no pool waits out its grace period.
TEST(HostStopTest, ExitWithTransfersInFlightOrIdle_Loopback) {
    for (const std::string path : {"/stall", "/echo"}) {
        const auto start = Clock::now();
        InOwnProcess([&] {
            const HttpCompletion completion = [path](bool, const char*, long long) {
                if (path == "/stall") std::_Exit(4);
            };
            for (int i = 0; i < 4; ++i) GetAsyn(Server().Url(path), completion, {}, 60);
            base::TaskManagerInstance().AddTask([path] { FetchSync(Server().Url(path), 60); });
            ASSERT_TRUE(Server().WaitRequests(path, path == "/echo" ? 5 : 2, seconds(10)));
            std::this_thread::sleep_for(milliseconds(100));
            std::exit(0);
        });
        EXPECT_LT(SecondsSince(start), 3.5) << path;  // both pools' grace periods: 4 s
    }
}

// Tasks that throw or are empty cost no thread: the next two run at once. Stop, from another thread or from a
// task, destroys the queued tasks unrun and waits for the running ones (not for itself); later ones are dropped.
TEST(HostStopTest, TasksRunOnceOffTheAddersThreadUntilStop) {
    for (const bool fromTask : {false, true}) {
        InOwnProcess([fromTask] {
            base::TaskManager& tasks = base::TaskManagerInstance();
            tasks.AddTask([] { throw std::runtime_error("task failed"); });
            tasks.AddTask(boost::function<void()>());
            std::promise<void> running[2];
            std::promise<int> doneWhenStopReturned;
            std::atomic<int> done{0};
            unsigned int ids[2];
            // A (i == 0) and B hold both task threads at once; B ends first, calling Stop when a task is to.
            for (int i = 0; i < 2; ++i)
                ids[i] = tasks.AddTask([&, i] {
                    running[i].set_value();
                    std::this_thread::sleep_for(milliseconds(i == 0 ? 400 : 100));
                    if (i == 1 && fromTask) tasks.Stop();
                    if (i == 1 && fromTask) doneWhenStopReturned.set_value(done);
                    ++done;
                });
            EXPECT_GT(ids[1], ids[0]);
            for (auto& r : running) ASSERT_EQ(r.get_future().wait_for(seconds(10)), std::future_status::ready);
            const auto token = std::make_shared<int>(0);  // held by every task that must be dropped
            for (int i = 0; i < 3; ++i) tasks.AddTask([token] { ADD_FAILURE() << "a dropped task ran"; });
            if (!fromTask) tasks.Stop();
            // It waited for A, and for B unless B called it.
            EXPECT_EQ(fromTask ? doneWhenStopReturned.get_future().get() : done.load(), fromTask ? 1 : 2);
            tasks.Stop();  // again; from here B, which may have been on its way out, has returned
            tasks.AddTask([token] { ADD_FAILURE() << "a task added after Stop ran"; });
            std::this_thread::sleep_for(milliseconds(200));
            EXPECT_EQ(token.use_count(), 1);  // the dropped tasks were destroyed
            EXPECT_EQ(done.load(), 2);
        });
    }
}

// A client closing while every publisher waits on a server that never answers: the host stop and
// DestroyAllPublisher end at once, not after a network timeout, and call nothing afterwards.
TEST(HostStopTest, ThenTeardownEndsAtOnceWithEveryPublisherBusy_Loopback) {
    InOwnProcess([] {
        testsupport::SilenceQtDebug();
        UrlHelper::SetServiceRoot(Server().Url("/stall"));
        stress::Watchers watchers;
        stress::CallbackGates gates;
        const stress::Publishers publishers;
        watchers.Subscribe(publishers);
        for (int serial = 1; serial <= 2; ++serial) stress::RequestEverything(publishers, gates, serial);
        // Both refresh cycles have begun (and stalled) once their observers heard so.
        ASSERT_TRUE(testsupport::WaitUntil([&] { return watchers.telegraph.calls() && watchers.depth.calls(); }));
        std::this_thread::sleep_for(milliseconds(200));  // the rest reach the server
        const auto start = Clock::now();
        netwk::Stop();
        base::TaskManagerInstance().Stop();
        DestroyAllPublisher();
        EXPECT_LT(SecondsSince(start), 5);  // a prompt teardown takes milliseconds; one 30 s timeout fails
        watchers.Close();
        gates.callbacks.Close();
        gates.timeline.Close();
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_EQ(watchers.strays() + gates.callbacks.strays() + gates.timeline.strays(), 0);
        // Later requests fail at once, without reaching the server.
        for (const std::string& got : {FetchAsync(Server().Url("/echo"), 60), FetchSync(Server().Url("/echo"), 60)})
            EXPECT_EQ(got, "failed|");
        EXPECT_FALSE(Server().WaitRequests("/echo", 1, milliseconds(100)));
    });
}

TEST(UrlHelperTest, SignsPercentEncodedParametersInMapOrder) {
    // Signatures: printf '%s' PATH?QUERY | openssl dgst -sha256 -hmac KEY
    UrlHelper& helper = *pattern::CSingleton<UrlHelper>::GetInstance();
    UrlHelper::SetServiceRoot(L"http://news.example.test:8080");
    UrlHelper::SetServiceKey("test-key");
    EXPECT_EQ(
        helper.GetSigniture(L"/api/news/list", {{"c", "x y&z=/?+~._-"}, {"a", "1"}, {"b", "\xE4\xB8\xAD\xE6\x96\x87"}}),
        L"http://news.example.test:8080/api/news/list?a=1&b=%E4%B8%AD%E6%96%87&c=x%20y%26z%3D%2F%3F%2B~._-"
        L"&sign=10ca9b9453aff584c7f12334ad65c87caf847aaef125d665db9251e71c518bf1");
    UrlHelper::SetServiceRoot(L"http://other.test/");  // a trailing "/" is dropped
    UrlHelper::SetServiceKey("other-key");
    EXPECT_EQ(helper.GetSigniture(L"/api/ping", {}),
              L"http://other.test/api/ping?sign=88f88e4c884a03f9d4ec7c7f1a03706681338eb3d9adf64c8545166920598a39");
    EXPECT_EQ(urlsign::PercentEncode(std::string("AZaz09-._~ !\"#$%&'()*+,/:;=?@[]\0\xff", 33)),
              "AZaz09-._~%20%21%22%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3D%3F%40%5B%5D%00%FF");
}

// Program log: "YYYY-MM-DDTHH:MM:SS.mmmZ [thread] [level] text", one line per call.
TEST(ProgramLogTest, FormatsOneWholeLinePerCallFromAnyThread) {
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
    };
    const std::string path = ::testing::TempDir() + "lx_program_log_" + std::to_string(::getpid());
    std::remove(path.c_str());  // a run killed before its cleanup may have left one under a reused pid
    base::SetProgramLogFile(std::wstring(path.begin(), path.end()));
    for (const auto& c : cases) c.first();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) WriteProgramLogNoMask(L"worker %d line %d %s", t, i, L"\x4E2D");
        });
    for (auto& th : threads) th.join();
    base::SetProgramLogFile(L"/nonexistent-dir/x.log");  // cannot be opened: standard error
    ::testing::internal::CaptureStderr();
    WriteProgramLogString(0, L"to stderr");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("] [0] to stderr\n"), npos);
    base::SetProgramLogFile(std::wstring(path.begin(), path.end()));  // reopened: appends
    WriteProgramLogString(0, L"again");
    base::SetProgramLogFile(L"");

    static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+\] )");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) {
        const std::size_t end = line.find("] ") + 2;
        texts.push_back(std::regex_match(line.substr(0, end), stamp) ? line.substr(end) : "unstamped: " + line);
    }
    std::remove(path.c_str());
    const std::size_t n = std::size(cases);
    ASSERT_EQ(texts.size(), n + 2001);
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(texts[i], cases[i].second);
    std::set<std::string> lines(texts.begin() + n, texts.end() - 1);
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 250; ++i)
            lines.erase("[-] worker " + std::to_string(t) + " line " + std::to_string(i) + " \xE4\xB8\xAD");
    EXPECT_TRUE(lines.empty()) << *lines.begin();
    EXPECT_EQ(texts.back(), "[0] again");
}

// Calendar (UTC+8)
TEST(CalendarTest, DatesAndTimesBothWays) {
    // Midnight: date -u -d 'YYYY-MM-DD 00:00:00 +0800' +%s
    const std::pair<unsigned, long long> midnights[] = {
        {19700101, -28800},      {19691231, -115200},      {229, -62162150400},      {301, -62162064000},
        {10101, -62135625600},   {16000229, -11671027200}, {16000301, -11670940800}, {19000228, -2204006400},
        {19000301, -2203920000}, {20000229, 951753600},    {20000301, 951840000},    {20040229, 1077984000},
        {20080229, 1204214400},  {20240229, 1709136000},   {21000228, 4107427200},   {21000301, 4107513600},
        {20230131, 1675094400},  {20230228, 1677513600},   {20230331, 1680192000},   {20230430, 1682784000},
        {20230531, 1685462400},  {20230630, 1688054400},   {20230731, 1690732800},   {20230831, 1693411200},
        {20230930, 1696003200},  {20231031, 1698681600},   {20231130, 1701273600},   {20231231, 1703952000},
    };
    for (const auto& [date, time] : midnights) {
        SCOPED_TRACE(date);
        const long long day = common::ServerDayOf(time);
        EXPECT_EQ(common::DateToTime(date, 0, 0, 0), time);
        EXPECT_EQ(common::ServerDayOf(time + 86399), day);
        EXPECT_EQ(common::ServerDateOfDay(day), date);
        EXPECT_EQ(common::DayOfCivil(date / 10000, date / 100 % 100, date % 100), day);
        EXPECT_EQ(common::ServerDayStart(day), time);
    }
    // Past the month's end or the day's hours is plain arithmetic.
    const struct {
        unsigned date;
        int h, m, s;
        long long time;
    } times[] = {{19700101, 8, 0, 0, 0},          {19691231, 23, 59, 59, -28801},  {20240229, 12, 30, 45, 1709181045},
                 {20230229, 0, 0, 0, 1677600000}, {20240231, 0, 0, 0, 1709308800}, {20240101, 24, 0, 0, 1704124800},
                 {20240101, -1, 0, 0, 1704034800}};
    for (const auto& t : times) EXPECT_EQ(common::DateToTime(t.date, t.h, t.m, t.s), t.time) << t.date;
    for (const unsigned notADate : {0u, 20241301u, 20240001u, 20240100u, 20240132u, 4294967295u})
        EXPECT_EQ(common::DateToTime(notADate, 12, 0, 0), 0) << notADate;
}

TEST(SymbolTest, IndicesStocksAndTheRest) {
    const std::pair<stock::SymbolType, std::vector<const wchar_t*>> kinds[] = {
        {stock::SYMBOL_INDEX, {L"sh000001", L"SZ399001", L"Sh000300"}},
        {stock::SYMBOL_STOCK, {L"sh600000", L"sz000001", L"sh399001", L"bj830799", L"SZ300750"}},
        {stock::SYMBOL_UNKNOWN, {L"", L"sh", L"sh60000", L"sh6000001", L"sh60000a", L"hk00700", L"600000"}},
    };
    for (const auto& [type, symbols] : kinds)
        for (const wchar_t* symbol : symbols) EXPECT_EQ(stock::CheckSymbol(symbol), type) << Narrow(symbol);
    EXPECT_EQ(stock::CheckSymbol(nullptr), stock::SYMBOL_UNKNOWN);
}

}  // namespace
