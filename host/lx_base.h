#pragma once

// Background tasks and the program log.

#include <string>

#include <boost/function.hpp>

#include "host/lx_host_export.h"

#if defined(LX_BUILDING_BASE)
#define LX_BASE_API LX_HOST_EXPORT
#else
#define LX_BASE_API LX_HOST_IMPORT
#endif

namespace base {

// A small pool of worker threads. Tasks run once each, never on the thread
// that added them. Thread-safe.
//
// Without Stop, tasks already added still run, also those added while the
// host closes; a task that waits on a slow server holds up whoever waits for
// it.
class LX_BASE_API TaskManager {
public:
    // Returns a new task id. After Stop the task is destroyed unrun, at once.
    unsigned int AddTask(boost::function<void()> task);

    // The host program's stop, when it closes. Destroys the tasks not yet
    // started, unrun, and returns once every task already running has
    // returned (and its function object is destroyed). Every later task is
    // dropped. It waits for no server itself; call netwk::Stop first so that
    // a running task waiting for a request returns promptly.
    //
    // May be called more than once, from any thread. Called from a task, it
    // waits for the other running tasks but not for that one.
    void Stop();
};

LX_BASE_API TaskManager& TaskManagerInstance();

// Host configuration. Pool size (default 2), before the first task.
LX_BASE_API void SetTaskThreadCount(int count);
// Program log file; an empty path (the default) writes to standard error.
LX_BASE_API void SetProgramLogFile(const std::wstring& path);

}  // namespace base

// One whole line per call, with a time stamp and the calling thread, from any
// thread at once. In the format, "%s" takes a const wchar_t* and "%d" an int.
extern "C" LX_BASE_API void WriteProgramLogNoMask(const wchar_t* format, ...);
extern "C" LX_BASE_API void WriteProgramLogString(int level, const wchar_t* text);
