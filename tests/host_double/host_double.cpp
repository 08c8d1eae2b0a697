#include "tests/host_double/host_double.h"

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <boost/thread/thread.hpp>

#include <QString>
#include <QStringList>

#include "host/lx_base.h"
#include "host/lx_common.h"
#include "host/lx_qt_support.h"
#include "news_center/news_center.h"

namespace hostdouble {
namespace {

typedef std::pair<Request, HttpCompletion> Pending;

struct State {
    std::mutex mutex;
    std::condition_variable requestMade;
    std::vector<Request> requests;
    std::deque<Pending> pending;
    std::deque<Answer> syncAnswers;
    std::function<Answer(const Request&)> syncHandler;
    bool stallsReleased = false;
    std::deque<boost::function<void()> > tasks;
    unsigned int nextTaskId = 1;
    std::vector<LogLine> logs;
    int signCount = 0;
    std::map<std::wstring, int> symbolTypes;
};

State& state() {
    static State* instance = new State;  // outlives every static destructor
    return *instance;
}

// Runs `f` on the state under its mutex.
template <class F>
auto Locked(F f) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return f(state());
}

const wchar_t kScheme[] = L"double:";

std::wstring Widen(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()).toStdWString(); }
std::string Narrow(const std::wstring& text) { return QString::fromStdWString(text).toUtf8().toStdString(); }

// Keys and values are escaped so that "&", "=" and "%" in values survive.
std::string Escape(const std::string& text) {
    return QByteArray::fromStdString(text).toPercentEncoding(QByteArray(), "%&=?").toStdString();
}

std::string Unescape(const std::string& text) {
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
}

// Parses a URL made by the double's UrlHelper back into path and parameters.
Request DecodeUrl(const std::wstring& url) {
    Request request;
    const QString text = QString::fromStdWString(url.substr(url.find(kScheme) == 0 ? wcslen(kScheme) : 0));
    request.path = text.section(QLatin1Char('?'), 0, 0).toStdString();
    for (const QString& pair : text.section(QLatin1Char('?'), 1).split(QLatin1Char('&'), Qt::SkipEmptyParts))
        request.params[Unescape(pair.section(QLatin1Char('='), 0, 0).toStdString())] =
            Unescape(pair.section(QLatin1Char('='), 1).toStdString());
    return request;
}

// A completion, when given, is queued under the same hold, so that a test woken
// by WaitForRequests always finds it pending.
Request Record(const std::wstring& url, int timeout, bool sync, const HttpCompletion* completion = nullptr) {
    Request request = DecodeUrl(url);
    request.timeout = timeout;
    request.sync = sync;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().requests.push_back(request);
        if (completion)
            state().pending.push_back(Pending{request, *completion});
    }
    state().requestMade.notify_all();
    return request;
}

void AddLog(const LogLine& line) { Locked([&](State& s) { s.logs.push_back(line); }); }

}  // namespace

std::string Request::param(const std::string& key) const {
    std::map<std::string, std::string>::const_iterator it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

void Reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.requests.clear();
    s.pending.clear();
    s.syncAnswers.clear();
    s.syncHandler = nullptr;
    s.stallsReleased = false;
    s.tasks.clear();
    s.logs.clear();
    s.signCount = 0;
    s.symbolTypes.clear();
}

std::vector<Request> Requests() { return Locked([&](State& s) { return s.requests; }); }

std::size_t RequestCount() { return Locked([&](State& s) { return s.requests.size(); }); }

bool WaitForRequests(std::size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(state().mutex);
    return state().requestMade.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [count] { return state().requests.size() >= count; });
}

int SignCount() { return Locked([&](State& s) { return s.signCount; }); }

std::size_t PendingCount() { return Locked([&](State& s) { return s.pending.size(); }); }

HttpCompletion TakeNext(Request* request) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().pending.empty()) {
        ADD_FAILURE() << "no pending completion";
        return HttpCompletion();
    }
    Pending next = state().pending.front();
    state().pending.pop_front();
    if (request)
        *request = next.first;
    return next.second;
}

void CompleteNextRaw(bool success, const char* body, long long length) {
    HttpCompletion completion = TakeNext();
    if (completion)
        completion(success, body, length);
}

void CompleteNext(bool success, const std::string& body) {
    CompleteNextRaw(success, body.data(), static_cast<long long>(body.size()));
}

void CompleteNext(const Answer& answer) { CompleteNext(answer.success, answer.body); }

void QueueSyncAnswer(const Answer& answer) { Locked([&](State& s) { s.syncAnswers.push_back(answer); }); }

void SetSyncHandler(std::function<Answer(const Request&)> handler) {
    Locked([&](State& s) { s.syncHandler = std::move(handler); });
}

void ReleaseStalls() { Locked([&](State& s) { s.stallsReleased = true; }); }

std::size_t PendingTaskCount() { return Locked([&](State& s) { return s.tasks.size(); }); }

boost::function<void()> TakeTask() {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().tasks.empty())
        return boost::function<void()>();
    boost::function<void()> task = state().tasks.front();
    state().tasks.pop_front();
    return task;
}

void RunPendingTasks() {
    while (boost::function<void()> task = TakeTask())
        task();
}

std::vector<LogLine> Logs() { return Locked([&](State& s) { return s.logs; }); }

void SetSymbolType(const std::wstring& code, int type) { Locked([&](State& s) { s.symbolTypes[code] = type; }); }

long long TimeOf(unsigned int date, int hour, int minute, int second) {
    return static_cast<long long>(date) * 100000 + hour * 3600 + minute * 60 + second;
}

void HostDoubleTest::SetUp() { Reset(); }

void HostDoubleTest::TearDown() {
    ReleaseStalls();
    DestroyAllPublisher();
    Reset();
}

}  // namespace hostdouble

// --- the host operations -------------------------------------------------------

using hostdouble::state;

extern "C" void GetAsyn(const std::wstring& url, const HttpCompletion& completion, const HttpHeaderMap&,
                        int timeoutSeconds) {
    hostdouble::Record(url, timeoutSeconds, false, &completion);
}

extern "C" bool GetSync(const std::wstring& url, std::vector<char>& body, const HttpHeaderMap&, int timeoutSeconds) {
    const hostdouble::Request request = hostdouble::Record(url, timeoutSeconds, true);
    hostdouble::Answer answer;
    std::function<hostdouble::Answer(const hostdouble::Request&)> handler;
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().syncAnswers.empty()) {
            answer = state().syncAnswers.front();
            state().syncAnswers.pop_front();
            queued = true;
        } else {
            handler = state().syncHandler;
        }
    }
    if (!queued && handler)
        answer = handler(request);
    if (answer.stall) {
        // Like the real host: an interrupted boost::thread abandons the request
        // and leaves the interruption pending.
        for (;;) {
            if (boost::this_thread::interruption_requested())
                return false;
            {
                std::lock_guard<std::mutex> lock(state().mutex);
                if (state().stallsReleased)
                    return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    body.assign(answer.body.begin(), answer.body.end());
    return answer.success;
}

template <>
UrlHelper* pattern::CSingleton<UrlHelper>::GetInstance() {
    static UrlHelper helper;
    return &helper;
}

std::wstring UrlHelper::GetSigniture(const std::wstring& path, const std::map<std::string, std::string>& params) {
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        ++state().signCount;
    }
    std::string query;
    for (const auto& entry : params) {
        if (!query.empty())
            query += '&';
        query += hostdouble::Escape(entry.first) + '=' + hostdouble::Escape(entry.second);
    }
    return hostdouble::kScheme + path + L"?" + hostdouble::Widen(query);
}

unsigned int base::TaskManager::AddTask(boost::function<void()> task) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().tasks.push_back(task);
    return state().nextTaskId++;
}

base::TaskManager& base::TaskManagerInstance() {
    static base::TaskManager manager;
    return manager;
}

extern "C" void WriteProgramLogNoMask(const wchar_t* format, ...) {
    hostdouble::LogLine line;
    va_list args;
    va_start(args, format);
    for (const wchar_t* p = format; p && *p; ++p) {
        if (*p != L'%' || !p[1]) {
            line.text += *p;
            continue;
        }
        ++p;
        if (*p == L'd') {
            line.text += std::to_wstring(va_arg(args, int));
        } else if (*p == L's') {
            const wchar_t* text = va_arg(args, const wchar_t*);
            line.text += text ? text : L"(null)";
        } else {
            line.text += L'%';
            if (*p != L'%')
                line.text += *p;
        }
    }
    va_end(args);
    hostdouble::AddLog(line);
}

extern "C" void WriteProgramLogString(int level, const wchar_t* text) {
    hostdouble::LogLine line;
    line.viaString = true;
    line.level = level;
    line.text = text ? text : L"";
    hostdouble::AddLog(line);
}

std::string common::ws2s(const std::wstring& text, unsigned int) { return hostdouble::Narrow(text); }

long long common::DateToTime(unsigned int date, int hour, int minute, int second) {
    return hostdouble::TimeOf(date, hour, minute, second);
}

unsigned int common::GetCurrentServerDate() { return 20261206; }

stock::SymbolType stock::CheckSymbol(const wchar_t* code) {
    if (!code || !*code)
        return stock::SYMBOL_UNKNOWN;
    std::lock_guard<std::mutex> lock(state().mutex);
    std::map<std::wstring, int>::const_iterator it = state().symbolTypes.find(code);
    return static_cast<stock::SymbolType>(it == state().symbolTypes.end() ? stock::SYMBOL_STOCK : it->second);
}
