// The eleven exports: lazily created process-wide publishers and their
// teardown. No locks, by design: the host makes first calls and the teardown
// from one thread at a time.

#include "news_center/news_center.h"

#include "news_center/feeds/common_publisher.h"

namespace {

CCommonPublisher* g_commonPublisher = nullptr;

template <class T>
T* Instance(T*& pointer) {
    if (!pointer)
        pointer = new T;
    return pointer;
}

// Deletes through `Base`'s virtual destructor, then empties the pointer.
template <class Base, class T>
void Destroy(T*& pointer) {
    if (!pointer)
        return;
    delete static_cast<Base*>(pointer);
    pointer = nullptr;
}

}  // namespace

extern "C" {

ITelegraphPublisher* GetTelegraphPublisher() { return nullptr; }
IDepthPublisher* GetDepthPublisher() { return nullptr; }
ITimelinePublisher* GetTimelinePublisher() { return nullptr; }
IExclusivePublisher* GetExclusivePublisher() { return nullptr; }
ICommonPublisher* GetCommonPublisher() { return Instance(g_commonPublisher); }
IStockNews* GetStockNews() { return nullptr; }
IStockAnnouncement* GetStockAnnouncement() { return nullptr; }
IStockUnusualTrading* GetStockUnusualTrading() { return nullptr; }
IInformationEssence* GetInformationEssence() { return nullptr; }
IStockLandMine* GetStockLandMine() { return nullptr; }

void DestroyAllPublisher() {
    // Fixed order: telegraph, depth, timeline, exclusive, counters, stock news,
    // announcements, unusual trading, essence, land-mines.
    Destroy<CCommonPublisher>(g_commonPublisher);
}

}  // extern "C"
