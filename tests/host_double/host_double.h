#pragma once

// A test double of the four host libraries: linked into a test, its GetAsyn, GetSync, UrlHelper, task manager,
// program log and calendar come before the real ones. Nothing touches the network: completions and tasks wait
// until the test runs them, on a thread of its choosing; GetSync takes scripted answers or a handler's.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <boost/function.hpp>
#include <gtest/gtest.h>

#include "host/lx_net_work.h"

namespace hostdouble {

struct Request {
    std::string path;
    std::map<std::string, std::string> params;
    int timeout = 0;
    bool sync = false;

    // The parameter's value; empty when absent.
    std::string param(const std::string& key) const;
};

struct Answer {
    bool success = false;
    std::string body;
    bool stall = false;  // GetSync blocks until its thread is interrupted or ReleaseStalls()

    static Answer Ok(const std::string& body) { return Answer{true, body, false}; }
    static Answer Fail() { return Answer{false, std::string(), false}; }
    static Answer Stall() { return Answer{false, std::string(), true}; }
};

struct LogLine {
    bool viaString = false;  // WriteProgramLogString rather than WriteProgramLogNoMask
    int level = 0;           // WriteProgramLogString's first argument
    std::wstring text;       // formatted
};

// Forgets every request, completion, task, answer and log line; every non-empty code is a stock again.
void Reset();

// --- requests -------------------------------------------------------------
std::vector<Request> Requests();  // GetAsyn and GetSync calls, in order
std::size_t RequestCount();
// Waits until at least `count` requests were made; false after `timeoutMs`.
bool WaitForRequests(std::size_t count, int timeoutMs = 5000);
int SignCount();  // calls of UrlHelper::GetSigniture

// --- asynchronous completions ----------------------------------------------
std::size_t PendingCount();
// Runs the oldest pending completion on the calling thread.
void CompleteNext(bool success, const std::string& body);
void CompleteNext(const Answer& answer);
// Runs it with a null body pointer and the given length (hostile host).
void CompleteNextRaw(bool success, const char* body, long long length);
// Removes the oldest pending completion and hands it to the test.
HttpCompletion TakeNext(Request* request = nullptr);

// --- synchronous requests ----------------------------------------------------
// GetSync answers from the queue first, then from the handler; with neither it fails with an empty body.
void QueueSyncAnswer(const Answer& answer);
void SetSyncHandler(std::function<Answer(const Request&)> handler);
void ReleaseStalls();

// --- tasks ---------------------------------------------------------------------
std::size_t PendingTaskCount();
void RunPendingTasks();  // on the calling thread, including tasks they add
boost::function<void()> TakeTask();

// --- program log, calendar and symbols -----------------------------------------
std::vector<LogLine> Logs();
void SetSymbolType(const std::wstring& code, int type);
// The double's calendar: date * 100000 + seconds of the day, ordered like the real one and easy to read.
long long TimeOf(unsigned int date, int hour, int minute, int second);

// Fixture: a clean double before each test, every publisher destroyed after it.
class HostDoubleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace hostdouble
