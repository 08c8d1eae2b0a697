#pragma once

#include <list>
#include <string>

#include <boost/function.hpp>

struct TimelineReddot {
    std::wstring date;
    int nums = 0;
};

struct TimelineEvent {
    int id = 0;
    std::wstring title;
    std::wstring brief;
};

struct TimelineEventDetail {
    int id = 0;
    std::wstring title;
    std::wstring content;
};

typedef boost::function<void(const std::list<TimelineReddot>&)> ReddotCallback;
typedef boost::function<void(const std::list<TimelineEvent>&)> EventListCallback;
typedef boost::function<void(const TimelineEventDetail&)> EventDetailCallback;

// The event timeline. Each request calls its callback once on a network thread;
// a failure delivers an empty list or an empty record. Stateless and
// thread-safe; a request pending at teardown still completes.
class ITimelinePublisher {
public:
    // Counts per date from `startDate` to `endDate`, passed through as given.
    virtual void RequestReddot(const wchar_t* startDate, const wchar_t* endDate, const ReddotCallback& callback) = 0;
    // The events of `date` (at most 50).
    virtual void RequestEventList(const wchar_t* date, const EventListCallback& callback) = 0;
    virtual void RequestEventDetail(unsigned int eventId, const EventDetailCallback& callback) = 0;
};
