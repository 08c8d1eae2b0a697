#pragma once

// Helpers shared by the tests: waiting, recorders of callbacks and subscriber
// values, readers of what the host double recorded.

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include "news_center/common/subject.h"
#include "tests/host_double/host_double.h"

namespace testsupport {

// Polls `done` every millisecond; false once `timeout` has passed.
template <class Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Records every call of a callback taking `Args`, from any thread.
template <class... Args>
class Capture {
public:
    using Call = std::tuple<typename std::decay<Args>::type...>;

    auto callback() {
        return [this](Args... args) {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.emplace_back(args...);
        };
    }
    int calls() const { return static_cast<int>(count()); }
    std::size_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }
    std::vector<Call> all() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // Argument `I` of the last call; a default value before any call.
    template <std::size_t I = 0>
    typename std::tuple_element<I, Call>::type last() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.empty() ? typename std::tuple_element<I, Call>::type() : std::get<I>(calls_.back());
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// A subject subscriber that keeps every value it is handed, from any thread.
template <class T>
class Recorder : public IUpdate1<T> {
public:
    void Update(const T& value) override { capture_.callback()(value); }
    std::vector<T> values() const {
        std::vector<T> out;
        for (const auto& call : capture_.all())
            out.push_back(std::get<0>(call));
        return out;
    }
    std::size_t count() const { return capture_.count(); }
    T last() const { return capture_.last(); }

private:
    Capture<const T&> capture_;
};

// The recorded requests to `path`, in order.
inline std::vector<hostdouble::Request> RequestsTo(const std::string& path) {
    std::vector<hostdouble::Request> out;
    for (const hostdouble::Request& request : hostdouble::Requests()) {
        if (request.path == path)
            out.push_back(request);
    }
    return out;
}

// The telegraph parser traces every id to the Qt debug log: thousands of lines
// in a long test. Other messages still reach stderr.
inline void SilenceQtDebug() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
}

// The parser's error number for `body`, as the publishers log it.
inline int ParseErrorOf(const std::string& body) {
    QJsonParseError error;
    QJsonDocument::fromJson(QByteArray(body.data(), static_cast<int>(body.size())), &error);
    return static_cast<int>(error.error);
}

}  // namespace testsupport
