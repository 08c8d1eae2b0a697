#pragma once

#include <list>

#include "news_center/common/refresh_thread.h"
#include "news_center/common/subject_publisher.h"
#include "news_center/feeds/essence_interface.h"

// The essence list. A worker thread fetches 50 entries at creation and every
// 600 s; the client may fetch too. Thread-safe; subscribers are called on the
// network thread with both subject locks held. Destruction ends the worker at
// once, also in the middle of its wait.
// Lock order: subscriber lock, then value lock.
class CInformationEssence
    : public news_center::internal::CSubjectPublisher<IInformationEssence, std::list<InformationEssence> > {
public:
    CInformationEssence();
    void FetchInformationEssence(unsigned long long last_time, unsigned int refresh_type, unsigned int rn) override;
    ~CInformationEssence() override;

private:
    news_center::internal::RefreshThread worker_;
};
