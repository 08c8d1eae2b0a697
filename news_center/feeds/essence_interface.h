#pragma once

#include <list>
#include <string>

#include "news_center/common/subject.h"

struct InformationEssence {
    int id = 0;
    int type = 0;
    std::wstring img;
    std::wstring brief;
    std::wstring content;
    long long sort_score = 0;
    long long ctime = 0;
    std::wstring title;
    std::wstring showurl;
};

// The digest list: fetched at creation and every 600 s, and on request. Each
// response replaces the whole list and is pushed to every subscriber on the
// network thread. Thread-safe.
struct IInformationEssence : ISubject<IUpdate1<std::list<InformationEssence> > > {
    virtual void FetchInformationEssence(unsigned long long last_time, unsigned int refresh_type,
                                         unsigned int rn) = 0;
};
