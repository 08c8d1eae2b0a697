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
    std::size_t running = 0;  // worker loops not yet left
    std::condition_variable left;
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

struct LeaveGuard {
    Pool* pool;
    ~LeaveGuard() {
        std::lock_guard<std::mutex> lock(pool->mu);
        --pool->running;
        pool->left.notify_all();
    }
};

void WorkerLoop(Pool* pool) {
    LeaveGuard guard{pool};
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
    try {
        pool.workers.reserve(pool.wanted);  // so that keeping a started thread cannot fail
        while (pool.workers.size() < pool.wanted) {
            pool.workers.emplace_back(new boost::thread([p = &pool] { WorkerLoop(p); }));
            ++pool.running;
        }
    } catch (...) {
        // No thread this time; the next task tries again.
    }
}

// Stops the workers when the library is unloaded or the process exits. Queued
// tasks are left alone, neither run nor destroyed: what they hold may belong to
// code that has already been torn down. Workers still busy after a grace period
// are detached; they only ever touch the never-freed pool.
struct PoolReaper {
    ~PoolReaper() {
        Pool* pool = g_pool.load();
        if (pool == nullptr) return;
        std::vector<std::unique_ptr<boost::thread>> workers;
        bool allLeft = false;
        bool selfIsWorker = false;
        {
            std::unique_lock<std::mutex> lock(pool->mu);
            pool->stopping = true;
            workers.swap(pool->workers);
            for (auto& w : workers) {
                selfIsWorker = selfIsWorker || w->get_id() == boost::this_thread::get_id();
                try {
                    w->interrupt();  // a task waiting at an interruption point gives up
                } catch (...) {
                }
            }
            pool->cv.notify_all();
            const std::size_t remaining = selfIsWorker ? 1 : 0;  // exit() called from a task
            allLeft = pool->left.wait_for(lock, std::chrono::seconds(2),
                                          [&] { return pool->running <= remaining; });
        }
        for (auto& w : workers) {
            try {
                if (allLeft && w->get_id() != boost::this_thread::get_id())
                    w->join();
                else
                    w->detach();
            } catch (...) {
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
    char buf[96];
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
        const std::size_t percentAt = out.size() - 1;
        bool sized = false;
        while (i < n && std::wcschr(L"0123456789$.*-+ #'hlLqjzt", format[i]) != nullptr) {
            if (std::wcschr(L"hlLqjzt", format[i]) != nullptr) sized = true;
            out += format[i++];
        }
        if (i == n)
            out.insert(percentAt, 1, L'%');  // an unfinished conversion at the end is shown as it is
        else if (!sized && (format[i] == L's' || format[i] == L'c'))
            out += L'l';
    }
    return out;
}

std::wstring Format(const wchar_t* format, va_list args) {
    const std::wstring fmt = PortableFormat(format);
    constexpr std::size_t kMaxChars = std::size_t(1) << 17;
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
