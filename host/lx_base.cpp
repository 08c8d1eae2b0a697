#include "host/lx_base.h"
#include "host/worker_pool.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/locale/encoding_utf.hpp>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// Task pool.

struct TaskWorker {
    using Item = boost::function<void()>;
    static constexpr int kMaxThreads = 64;
    static constexpr bool kNeverOnAdder = true;
    bool Serve(Item& task) {
        task();
        return true;
    }
};
using TaskPool = lx_host::internal::WorkerPool<TaskWorker>;

std::atomic<unsigned int> g_lastTaskId{0};
TaskPool::Reaper g_poolReaper;

// ---------------------------------------------------------------------------
// Program log. Never freed, so that late writers at exit still work.

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
        TaskPool::Instance().Add(std::move(task));
    } catch (...) {
    }
    return id;
}

void TaskManager::Stop() { TaskPool::Instance().Close(); }

TaskManager& TaskManagerInstance() {
    static TaskManager manager;
    return manager;
}

void SetTaskThreadCount(int count) { TaskPool::SetThreadCount(count); }

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
