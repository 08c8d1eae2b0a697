// The stock land-mine completion (/pc/rt/stock_landmine). One body answers a
// run of requests for one stock whose ranges grow the cache at its start, at
// its end and over all of it; a request inside a cached range is answered from
// the cache and must hold only items of its days.

#include "tests/fuzz/fuzz_support.h"

namespace {

struct Range {
    unsigned long start;
    unsigned long end;
};

const Range kRanges[] = {
    {20261203, 20261205}, {20261204, 20261208}, {20261201, 20261206}, {20261202, 20261207}, {20261101, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    hostdouble::SetServerDate(20261210);
    IStockLandMine* publisher = GetStockLandMine();
    fuzz::Subscriber<StockLandMine> subscriber;
    publisher->Attach(&subscriber);
    for (const Range& range : kRanges) {
        const std::size_t logs = fuzz::LogCount();
        const int before = subscriber.updates;
        publisher->RequestStockLandMineList(L"600000", range.start, range.end);
        if (hostdouble::PendingCount() == 0) {
            fuzz::Require(subscriber.updates == before + 2, "a cached answer follows the reset");
            const unsigned long last = range.end ? range.end : 20261210;
            const unsigned long long from = hostdouble::TimeOf(range.start, 0, 0, 0);
            const unsigned long long to = hostdouble::TimeOf(last, 23, 59, 59);
            for (const StockLandMineItem& item : subscriber.last.items)
                fuzz::Require(from <= item.publish_time && item.publish_time <= to, "a cached answer holds only its days");
        } else {
            fuzz::CompleteWith(data, size);
            fuzz::Require(subscriber.updates <= before + 2, "one publish per response");
            fuzz::Require(fuzz::LogCount() <= logs + 1, "at most one log line per response");
        }
        fuzz::Require(subscriber.last.stock == L"600000", "tagged with the requested code");
    }
    return 0;
}
