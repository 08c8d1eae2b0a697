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
// that added them.
class LX_BASE_API TaskManager {
public:
    unsigned int AddTask(boost::function<void()> task);  // returns a new task id
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
