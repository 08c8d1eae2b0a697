#pragma once

// What every benchmark of the library shares: allocation counting, observers
// that do nothing, the parse floor beside each per-response figure, and small
// helpers around the host double.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"

namespace benchsupport {

// malloc, calloc and realloc calls made by the calling thread so far (operator
// new and Qt's containers included: the bench binary interposes malloc).
unsigned long long ThreadAllocations();
// Bytes held by live heap blocks, all threads (mallinfo2).
std::size_t LiveHeapBytes();

// Drops Qt debug messages, as a host that logs elsewhere would.
void InstallQuietMessageHandler();

// The double records every request and keeps every completion; a long run
// resets it now and then (untimed) and puts the sync handler back.
void ResetDouble(const std::function<hostdouble::Answer(const hostdouble::Request&)>& handler = nullptr);

typedef std::chrono::steady_clock Clock;
inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One per-response benchmark: each iteration first parses the response's bodies
// with QJsonDocument::fromJson alone (the floor), then times the library's
// handling of the same bytes. Reports the handling as the iteration time and,
// as counters, the floor, their ratio and the heap allocations of each. Also
// reported, as a second reference: what turning every string of the parsed
// bodies into a std::wstring (the records' text type) costs on top of the
// floor, through the library's ReadWide (strings_ratio); and the same with the
// strings kept until the next iteration's replace them, as records are kept
// (kept_ratio).
class FloorComparison {
public:
    // Parses one body of this iteration's response; a response of two requests
    // (a refresh and its follow-up page) calls it once per body.
    void ParseFloor(const std::string& body);
    template <class Handle>
    void Time(benchmark::State& state, Handle handle) {
        const unsigned long long allocations = ThreadAllocations();
        const Clock::time_point start = Clock::now();
        handle();
        const Clock::duration took = Clock::now() - start;
        handleAllocations_ += ThreadAllocations() - allocations;
        handleSeconds_ += Seconds(took);
        ++iterations_;
        firstBody_ = true;
        state.SetIterationTime(Seconds(took));
    }
    void Report(benchmark::State& state) const;

private:
    double floorSeconds_ = 0;
    double stringSeconds_ = 0;
    double keptSeconds_ = 0;
    double handleSeconds_ = 0;
    unsigned long long floorAllocations_ = 0;
    unsigned long long handleAllocations_ = 0;
    unsigned long long bytes_ = 0;
    unsigned long long iterations_ = 0;
    std::vector<std::wstring> kept_;
    bool firstBody_ = true;
};

// --- observers and subscribers that only count ----------------------------------

class NullTelegraphObserver : public ITelegraphObserver {
public:
    void OnTelegraphRefreshBegin() override {}
    void OnTelegraphUpdate(bool, const TelegraphUpdate& changes) override;
    void OnTelegraphCountersUpdate(CountInfoMap) override {}
    // Updates delivered on the thread that built this observer.
    unsigned long long ownUpdates() const { return ownUpdates_.load(); }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::atomic<unsigned long long> ownUpdates_{0};
};

class NullDepthObserver : public IDepthObserver {
public:
    void OnDepthRefreshBegin() override {}
    void OnDepthUpdate(bool, const DepthUpdate& changes) override;
    void OnDepthCountersUpdate(CountInfoMap) override {}
    unsigned long long ownUpdates() const { return ownUpdates_.load(); }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
    std::atomic<unsigned long long> ownUpdates_{0};
};

template <class T>
class NullSubscriber : public IUpdate1<T> {
public:
    void Update(const T& value) override {
        benchmark::DoNotOptimize(&value);
        ++updates;
    }
    unsigned long long updates = 0;
};

}  // namespace benchsupport
