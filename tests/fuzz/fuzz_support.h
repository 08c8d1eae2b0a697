#pragma once

// Shared by the libFuzzer targets: each input is a response body handed to a
// publisher through the host double, on a clean double and fresh publishers.
// A broken invariant aborts, which libFuzzer reports like a sanitizer finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <set>
#include <string>
#include <thread>

#include <QString>
#include <QtGlobal>

#include "news_center/news_center.h"
#include "tests/host_double/host_double.h"

namespace fuzz {

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

// The telegraph parser traces every id to the Qt debug log; at millions of
// inputs that output would be most of the run.
inline void SilenceQtDebug() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
}

// One input's world: a reset double before, every publisher destroyed and the
// double reset again after, so inputs do not leak state into each other.
class Round {
public:
    Round() { hostdouble::Reset(); }
    ~Round() {
        hostdouble::ReleaseStalls();
        DestroyAllPublisher();
        hostdouble::Reset();
    }
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;
};

// The body bytes exactly as libFuzzer holds them, so AddressSanitizer sees any
// read past the end.
inline void CompleteWith(const std::uint8_t* data, std::size_t size) {
    hostdouble::CompleteNextRaw(true, reinterpret_cast<const char*>(data), static_cast<long long>(size));
}

inline std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

inline std::size_t LogCount() { return hostdouble::Logs().size(); }

// The refresh threads run their first cycle at once; with nobody subscribed it
// does nothing and the thread then sleeps for minutes. Waiting for it keeps the
// cycles of an input on the fuzzing thread.
template <class Publisher>
void WaitForIdleCycle(const Publisher* publisher) {
    while (publisher->threadCycleCount() == 0)
        std::this_thread::yield();
}

// Newest sort_score first, each id at most once: the rule of every article and
// telegraph list the library hands out.
template <class Record>
bool SortedAndUnique(const std::list<Record>& records) {
    std::set<int> ids;
    const Record* previous = nullptr;
    for (const Record& record : records) {
        if (!ids.insert(record.id).second)
            return false;
        if (previous && previous->sort_score < record.sort_score)
            return false;
        previous = &record;
    }
    return true;
}

// A cache may leave that order: an edit overwrites a telegraph where it stands.
template <class Record>
bool UniqueIds(const std::list<Record>& records) {
    std::set<int> ids;
    for (const Record& record : records) {
        if (!ids.insert(record.id).second)
            return false;
    }
    return true;
}

inline bool Unique(const std::list<int>& ids) {
    return std::set<int>(ids.begin(), ids.end()).size() == ids.size();
}

// A subject subscriber that keeps the last value; called on the fuzzing thread.
template <class T>
struct Subscriber : IUpdate1<T> {
    int updates = 0;
    T last;
    void Update(const T& value) override {
        ++updates;
        last = value;
    }
};

}  // namespace fuzz
