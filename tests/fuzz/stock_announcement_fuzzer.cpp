// The stock announcement completion (/pc/rt/stock_notice).

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Round round;
    IStockAnnouncement* publisher = GetStockAnnouncement();
    fuzz::Subscriber<StockAnnouncement> subscriber;
    publisher->Attach(&subscriber);
    publisher->RequestStockAnnouncementList(L"600000", 1, 20);
    fuzz::CompleteWith(data, size);
    fuzz::Require(subscriber.updates <= 2, "one publish per response");
    fuzz::Require(subscriber.updates == 1 || subscriber.last.stock == L"600000", "tagged with the requested code");
    fuzz::Require(fuzz::LogCount() <= 1, "at most one log line per response");
    return 0;
}
