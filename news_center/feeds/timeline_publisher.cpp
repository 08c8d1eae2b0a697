#include "news_center/feeds/timeline_publisher.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "news_center/common/async_request.h"
#include "news_center/request/json_read.h"
#include "news_center/request/request_builder.h"
#include "news_center/request/response_envelope.h"

using namespace news_center::internal;

namespace {

const OperationTexts kReddotTexts = {
    L"TimelinePublisher::RequestReddot Code fail",
    L"TimelinePublisher::RequestReddot Json Parse Error Code: %d",
    L"TimelinePublisher::RequestReddot Response Error Code: %d",
};
const OperationTexts kEventListTexts = {
    L"TimelinePublisher::RequestEventList Code fail",
    L"TimelinePublisher::RequestEventList Json Parse Error Code: %d",
    L"TimelinePublisher::RequestEventList Response Error Code: %d",
};
const OperationTexts kEventDetailTexts = {
    L"TimelinePublisher::RequestEventDetail Code fail",
    L"TimelinePublisher::RequestEventDetail Json Parse Error Code: %d",
    L"TimelinePublisher::RequestEventDetail Response Error Code: %d",
};

TimelineReddot ParseReddot(const QJsonObject& object) {
    TimelineReddot reddot;
    reddot.date = ReadWide(object.value(QStringLiteral("date")));
    reddot.nums = ReadInt(object.value(QStringLiteral("nums")));
    return reddot;
}

TimelineEvent ParseEvent(const QJsonObject& object) {
    TimelineEvent event;
    event.id = ReadInt(object.value(QStringLiteral("id")));
    event.title = ReadWide(object.value(QStringLiteral("title")));
    event.brief = ReadWide(object.value(QStringLiteral("brief")));
    return event;
}

template <class Record, Record (*parse)(const QJsonObject&)>
std::list<Record> ReadEach(const Response& response) {
    std::list<Record> records;
    for (const QJsonValue& value : response.dataArray())
        records.push_back(parse(value.toObject()));
    return records;
}

TimelineEventDetail ReadDetail(const Response& response) {
    const QJsonObject object = response.dataObject();
    TimelineEventDetail detail;
    detail.id = ReadInt(object.value(QStringLiteral("id")));
    detail.title = ReadWide(object.value(QStringLiteral("title")));
    detail.content = ReadWide(object.value(QStringLiteral("content")));
    return detail;
}

// The completion holds the caller's callback and nothing of the publisher.
// Every failure delivers a default result after the envelope's log line.
template <class Result>
void Send(const std::wstring& url, const OperationTexts& texts, Result (*read)(const Response&),
          const boost::function<void(const Result&)>& callback) {
    SendAsync({url, &texts}, Liveness::Ptr(), [read, callback](bool, const Response& response) {
        const Result result = response.isParsed() ? read(response) : Result();
        if (callback)
            callback(result);
    });
}

}  // namespace

CTimelinePublisher::~CTimelinePublisher() {}

void CTimelinePublisher::RequestReddot(const wchar_t* startDate, const wchar_t* endDate,
                                       const ReddotCallback& callback) {
    Send(RequestBuilder::Instance().TimeAxisReddotUrl(startDate, endDate), kReddotTexts,
         &ReadEach<TimelineReddot, ParseReddot>, callback);
}

void CTimelinePublisher::RequestEventList(const wchar_t* date, const EventListCallback& callback) {
    Send(RequestBuilder::Instance().TimeAxisListByDayUrl(date), kEventListTexts, &ReadEach<TimelineEvent, ParseEvent>,
         callback);
}

void CTimelinePublisher::RequestEventDetail(unsigned int eventId, const EventDetailCallback& callback) {
    Send(RequestBuilder::Instance().TimeAxisInfoByIdUrl(eventId), kEventDetailTexts, &ReadDetail, callback);
}
