#include "bench/bench_support.h"

#include <malloc.h>

#include <cstdlib>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QtGlobal>

#include "news_center/request/json_read.h"

// --- allocation counting ---------------------------------------------------------
// The executable's malloc family comes first in symbol lookup, so Qt, the
// standard library and the library under test all allocate through these.

namespace {
thread_local unsigned long long t_allocations = 0;
}

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) {
    ++t_allocations;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    ++t_allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    ++t_allocations;
    return __libc_realloc(pointer, size);
}
}

namespace benchsupport {

unsigned long long ThreadAllocations() { return t_allocations; }

std::size_t LiveHeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void InstallQuietMessageHandler() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

void ResetDouble(const std::function<hostdouble::Answer(const hostdouble::Request&)>& handler) {
    hostdouble::Reset();
    if (handler)
        hostdouble::SetSyncHandler(handler);
}

namespace {

// Every string value of `value` as a std::wstring, made and dropped one at a
// time (`kept` null) or appended to `kept`.
std::size_t ConvertStrings(const QJsonValue& value, std::vector<std::wstring>* kept) {
    if (value.isString()) {
        if (!kept)
            return news_center::internal::ReadWide(value).size();
        kept->push_back(news_center::internal::ReadWide(value));
        return kept->back().size();
    }
    std::size_t characters = 0;
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray())
            characters += ConvertStrings(element, kept);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (QJsonObject::const_iterator it = object.begin(); it != object.end(); ++it)
            characters += ConvertStrings(it.value(), kept);
    }
    return characters;
}

}  // namespace

void FloorComparison::ParseFloor(const std::string& body) {
    const unsigned long long allocations = ThreadAllocations();
    const Clock::time_point start = Clock::now();
    {
        QJsonParseError error;
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), static_cast<int>(body.size())), &error);
        benchmark::DoNotOptimize(document);
        if (error.error != QJsonParseError::NoError)
            std::abort();  // a generator fault: the comparison would mean nothing
    }
    floorSeconds_ += Seconds(Clock::now() - start);
    floorAllocations_ += ThreadAllocations() - allocations;
    bytes_ += body.size();

    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), static_cast<int>(body.size())));
    const QJsonValue root = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    const Clock::time_point converting = Clock::now();
    benchmark::DoNotOptimize(ConvertStrings(root, nullptr));
    stringSeconds_ += Seconds(Clock::now() - converting);

    // The strings kept until the next response, whose own replace them, as
    // records are; the first body of an iteration drops the last iteration's.
    const Clock::time_point keeping = Clock::now();
    if (firstBody_)
        std::vector<std::wstring>().swap(kept_);
    benchmark::DoNotOptimize(ConvertStrings(root, &kept_));
    keptSeconds_ += Seconds(Clock::now() - keeping);
    firstBody_ = false;
}

void FloorComparison::Report(benchmark::State& state) const {
    if (iterations_ == 0 || floorSeconds_ <= 0)
        return;
    const double n = static_cast<double>(iterations_);
    state.counters["floor_us"] = benchmark::Counter(floorSeconds_ / n * 1e6);
    state.counters["ratio"] = benchmark::Counter(handleSeconds_ / floorSeconds_);
    state.counters["strings_ratio"] = benchmark::Counter((floorSeconds_ + stringSeconds_) / floorSeconds_);
    state.counters["kept_ratio"] = benchmark::Counter((floorSeconds_ + keptSeconds_) / floorSeconds_);
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(handleAllocations_) / n);
    state.counters["floor_allocs"] = benchmark::Counter(static_cast<double>(floorAllocations_) / n);
    state.counters["body_kB"] = benchmark::Counter(static_cast<double>(bytes_) / n / 1024);
}

void NullTelegraphObserver::OnTelegraphUpdate(bool, const TelegraphUpdate& changes) {
    benchmark::DoNotOptimize(&changes);
    if (std::this_thread::get_id() == owner_)
        ++ownUpdates_;
}

void NullDepthObserver::OnDepthUpdate(bool, const DepthUpdate& changes) {
    benchmark::DoNotOptimize(&changes);
    if (std::this_thread::get_id() == owner_)
        ++ownUpdates_;
}

}  // namespace benchsupport
