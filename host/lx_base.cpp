#include "host/lx_base.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/chrono.hpp>
#include <boost/locale/encoding_utf.hpp>
#include <boost/thread/thread.hpp>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// Task pool. Its state is allocated once and never freed: a worker that is
// still busy when the process exits must not find it destroyed.

struct QueuedTask {
    boost::function<void()> fn;
    std::thread::id adder;
};

struct Pool {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<QueuedTask> queue;
    std::vector<std::unique_ptr<boost::thread>> workers;
    std::size_t wanted = 0;  // fixed when the first task arrives
    bool stopping = false;
};

std::atomic<int> g_taskThreadCount{2};
std::atomic<unsigned int> g_lastTaskId{0};
std::atomic<Pool*> g_pool{nullptr};

Pool& ThePool() {
    static Pool* const pool = [] {
        Pool* p = new Pool;
        g_pool.store(p);
        return p;
    }();
    return *pool;
}

// With more than one worker a task never runs on the worker that added it; a
// single worker has no choice.
std::deque<QueuedTask>::iterator FindRunnable(Pool& pool, std::thread::id self) {
    if (pool.workers.size() <= 1) return pool.queue.begin();
    return std::find_if(pool.queue.begin(), pool.queue.end(),
                        [self](const QueuedTask& t) { return t.adder != self; });
}

void WorkerLoop(Pool* pool) {
    const std::thread::id self = std::this_thread::get_id();
    for (;;) {
        boost::function<void()> fn;
        {
            std::unique_lock<std::mutex> lock(pool->mu);
            auto it = pool->queue.end();
            pool->cv.wait(lock, [&] {
                if (pool->stopping) return true;
                it = FindRunnable(*pool, self);
                return it != pool->queue.end();
            });
            if (pool->stopping) return;
            fn.swap(it->fn);
            pool->queue.erase(it);
        }
        try {
            fn();
        } catch (...) {
            // A failing task must not take the worker with it.
        }
    }
}

void StartWorkersLocked(Pool& pool) {
    if (pool.stopping) return;
    if (pool.wanted == 0) pool.wanted = static_cast<std::size_t>(std::clamp(g_taskThreadCount.load(), 1, 64));
    while (pool.workers.size() < pool.wanted) {
        try {
            pool.workers.emplace_back(new boost::thread([p = &pool] { WorkerLoop(p); }));
        } catch (...) {
            break;  // try again with the next task
        }
    }
}

// Stops the workers when the library is unloaded or the process exits. Queued
// tasks are left alone, neither run nor destroyed: what they hold may belong to
// code that has already been torn down. A worker still busy after the grace
// period is detached; it only ever touches the never-freed pool.
struct PoolReaper {
    ~PoolReaper() {
        Pool* pool = g_pool.load();
        if (pool == nullptr) return;
        std::vector<std::unique_ptr<boost::thread>> workers;
        {
            std::lock_guard<std::mutex> lock(pool->mu);
            pool->stopping = true;
            workers.swap(pool->workers);
        }
        pool->cv.notify_all();
        for (auto& w : workers) {
            try {
                w->interrupt();
            } catch (...) {
            }
        }
        const auto deadline = boost::chrono::steady_clock::now() + boost::chrono::seconds(2);
        for (auto& w : workers) {
            try {
                if (w->get_id() == boost::this_thread::get_id() || !w->try_join_until(deadline)) w->detach();
            } catch (...) {
                try {
                    w->detach();
                } catch (...) {
                }
            }
        }
    }
};
PoolReaper g_poolReaper;

// ---------------------------------------------------------------------------
// Program log. Never freed either, so that late writers at exit still work.

struct Log {
    std::mutex mu;
    std::FILE* file = nullptr;  // null: standard error
};

Log& TheLog() {
    static Log* const log = new Log;
    return *log;
}

std::string ToUtf8(const std::wstring& text) {
    return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

unsigned long long CurrentThreadNumber() {
#if defined(__linux__)
    return static_cast<unsigned long long>(::syscall(SYS_gettid));
#else
    return static_cast<unsigned long long>(std::hash<std::thread::id>()(std::this_thread::get_id()));
#endif
}

std::string TimeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const long long ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    std::time_t secs = static_cast<std::time_t>(ms / 1000);
    long long frac = ms % 1000;
    if (frac < 0) {
        frac += 1000;
        --secs;
    }
    std::tm tm{};
#if defined(_WIN32)
    gmtime_s(&tm, &secs);
#else
    gmtime_r(&secs, &tm);
#endif
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(frac));
    return buf;
}

void WriteLine(const std::string& level, const std::wstring& text) {
    std::wstring oneLine;
    oneLine.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\n')
            oneLine += L"\\n";
        else if (c == L'\r')
            oneLine += L"\\r";
        else
            oneLine += c;
    }
    std::string line = TimeStamp();
    line += " [";
    line += std::to_string(CurrentThreadNumber());
    line += "] [";
    line += level;
    line += "] ";
    line += ToUtf8(oneLine);
    line += '\n';

    Log& log = TheLog();
    std::lock_guard<std::mutex> lock(log.mu);
    std::FILE* out = log.file != nullptr ? log.file : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

// Callers write "%s" for a wide string, as wide printf does elsewhere; here a
// wide string needs "%ls" (and a wide character "%lc").
std::wstring PortableFormat(const wchar_t* format) {
    std::wstring out;
    const std::size_t n = std::wcslen(format);
    out.reserve(n + 8);
    std::size_t i = 0;
    while (i < n) {
        const wchar_t c = format[i];
        out += c;
        ++i;
        if (c != L'%') continue;
        if (i < n && format[i] == L'%') {
            out += format[i++];
            continue;
        }
        bool sized = false;
        while (i < n && std::wcschr(L"0123456789$.*-+ #'hlLqjzt", format[i]) != nullptr) {
            if (std::wcschr(L"hlLqjzt", format[i]) != nullptr) sized = true;
            out += format[i++];
        }
        if (i < n && !sized && (format[i] == L's' || format[i] == L'c')) out += L'l';
    }
    return out;
}

std::wstring Format(const wchar_t* format, va_list args) {
    const std::wstring fmt = PortableFormat(format);
    constexpr std::size_t kMaxChars = std::size_t(1) << 20;
    std::vector<wchar_t> buf(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int n = std::vswprintf(buf.data(), buf.size(), fmt.c_str(), copy);
        va_end(copy);
        if (n >= 0 && static_cast<std::size_t>(n) < buf.size()) return std::wstring(buf.data(), static_cast<std::size_t>(n));
        if (buf.size() >= kMaxChars) break;
        buf.assign(buf.size() * 4, L'\0');
    }
    // Too long, or a conversion vswprintf refuses: keep what it produced, or the
    // format itself.
    buf.back() = L'\0';
    std::wstring partial(buf.data());
    return partial.empty() ? std::wstring(format) : partial;
}

}  // namespace

namespace base {

unsigned int TaskManager::AddTask(boost::function<void()> task) {
    unsigned int id = ++g_lastTaskId;
    if (id == 0) id = ++g_lastTaskId;
    if (task.empty()) return id;
    try {
        Pool& pool = ThePool();
        {
            std::lock_guard<std::mutex> lock(pool.mu);
            pool.queue.push_back(QueuedTask{std::move(task), std::this_thread::get_id()});
            StartWorkersLocked(pool);
        }
        // Every worker: the one that wakes first may be the adder, which must not take it.
        pool.cv.notify_all();
    } catch (...) {
    }
    return id;
}

TaskManager& TaskManagerInstance() {
    static TaskManager manager;
    return manager;
}

void SetTaskThreadCount(int count) { g_taskThreadCount.store(count); }

void SetProgramLogFile(const std::wstring& path) {
    try {
        std::FILE* file = nullptr;
        const std::string narrow = ToUtf8(path);
        if (!narrow.empty()) {
#if defined(__GLIBC__)
            file = std::fopen(narrow.c_str(), "abe");
#else
            file = std::fopen(narrow.c_str(), "ab");
#endif
        }
        Log& log = TheLog();
        std::lock_guard<std::mutex> lock(log.mu);
        if (log.file != nullptr) std::fclose(log.file);
        log.file = file;  // an unopenable file falls back to standard error
    } catch (...) {
    }
}

}  // namespace base

extern "C" void WriteProgramLogNoMask(const wchar_t* format, ...) {
    try {
        std::wstring text;
        if (format == nullptr) {
            text = L"(null)";
        } else {
            va_list args;
            va_start(args, format);
            try {
                text = Format(format, args);
            } catch (...) {
                va_end(args);
                throw;
            }
            va_end(args);
        }
        WriteLine("-", text);
    } catch (...) {
    }
}

extern "C" void WriteProgramLogString(int level, const wchar_t* text) {
    try {
        WriteLine(std::to_string(level), text != nullptr ? std::wstring(text) : std::wstring(L"(null)"));
    } catch (...) {
    }
}
