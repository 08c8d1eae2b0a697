#pragma once

#include "news_center/feeds/timeline_interface.h"

// The event timeline. Stateless: a completion carries only the caller's
// callback, so a request pending at teardown still completes and delivers.
class CTimelinePublisher : public ITimelinePublisher {
public:
    void RequestReddot(const wchar_t* startDate, const wchar_t* endDate, const ReddotCallback& callback) override;
    void RequestEventList(const wchar_t* date, const EventListCallback& callback) override;
    void RequestEventDetail(unsigned int eventId, const EventDetailCallback& callback) override;
    virtual ~CTimelinePublisher();
};
