#pragma once

// Helpers shared by the tests of the subject-based publishers.

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <gtest/gtest.h>

#include "news_center/common/subject.h"
#include "tests/host_double/host_double.h"

namespace subjecttest {

// Keeps every value it is handed, from any thread.
template <class T>
class Recorder : public IUpdate1<T> {
public:
    void Update(const T& value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        values_.push_back(value);
    }
    std::vector<T> values() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }
    std::size_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.size();
    }
    T last() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.empty() ? T() : values_.back();
    }

private:
    mutable std::mutex mutex_;
    std::vector<T> values_;
};

// The parser's error number for `body`, as the publishers log it.
inline int ParseErrorOf(const std::string& body) {
    QJsonParseError error;
    QJsonDocument::fromJson(QByteArray(body.data(), static_cast<int>(body.size())), &error);
    return static_cast<int>(error.error);
}

// Sends three requests with `send` and fails them in turn (transfer, JSON,
// "errno"); the log must then hold exactly `operation`'s three lines.
inline void ExpectFailureTexts(const std::function<void()>& send, const std::wstring& operation) {
    const std::string cut = "{\"errno\":0,\"data\":{\"list\":[{\"tit";
    send();
    hostdouble::CompleteNext(false, "");
    send();
    hostdouble::CompleteNext(true, cut);
    send();
    hostdouble::CompleteNext(true, "{\"errno\":9}");

    const std::vector<hostdouble::LogLine> logs = hostdouble::Logs();
    ASSERT_EQ(3u, logs.size());
    EXPECT_TRUE(logs[0].viaString);
    EXPECT_EQ(-1, logs[0].level);
    EXPECT_EQ(operation + L" Code fail", logs[0].text);
    EXPECT_FALSE(logs[1].viaString);
    EXPECT_EQ(operation + L" Json Parse Error Code: " + std::to_wstring(ParseErrorOf(cut)), logs[1].text);
    EXPECT_FALSE(logs[2].viaString);
    EXPECT_EQ(operation + L" Error Code: 9", logs[2].text);
}

}  // namespace subjecttest
