#pragma once

// Builders of the news service's requests: each makes the parameter map of its
// endpoint and returns the URL that UrlHelper signs. Numbers are written in
// plain decimal, text as UTF-8. Reentrant; no builder fails or logs.

#include <string>

namespace news_center {
namespace internal {

// Whether a list request is a refresh (newest page) or asks for an older page.
enum class FetchKind { Refresh, OlderPage };

class RequestBuilder {
public:
    // The process's one builder, created on first use and never destroyed.
    static RequestBuilder& Instance();

    // "/pc/roll/batch_show". An older page (with lastTime != 0) asks for 10
    // telegraphs with "refresh_type" 1; otherwise 15 with "refresh_type" 0.
    std::wstring BatchShowUrl(unsigned long long lastTime, unsigned long long time, FetchKind kind) const;
    // "/pc/information/get_count_by_ids"; `ids` may be empty or null.
    std::wstring CountByIdsUrl(const wchar_t* ids, unsigned long long time) const;
    // "/pc/information/get_depth". An older page (with lastTime != 0) sends
    // "refresh_type" 1 and "last_is_stickies" from `lastIsStickies`; otherwise
    // "refresh_type" 0 and "last_is_stickies" 1.
    std::wstring DepthUrl(FetchKind kind, unsigned long long lastTime, bool lastIsStickies) const;
    // "/pc/exclusive/column_article_list"; lastTime 0 asks for the newest 15.
    std::wstring ColumnArticleListUrl(unsigned int columnId, unsigned long long lastTime) const;
    std::wstring ColumnListUrl() const;
    std::wstring InformModifyUrl(unsigned long long lastTime, unsigned long long time) const;
    std::wstring SumArticleListUrl(unsigned long long lastTime, unsigned int refreshType, unsigned int rn) const;
    std::wstring StockNoticeUrl(const std::wstring& stock, unsigned int page, unsigned int rn) const;
    // Dates are YYYYMMDD; endDate 0 means the service's today.
    std::wstring StockLandmineUrl(const std::wstring& stock, unsigned int startDate, unsigned int endDate) const;
    // Only types 1 and 2 exist; any other type gives an empty URL, unsigned.
    std::wstring MarketListUrl(unsigned int type, const std::wstring& uniqueKey, unsigned long long lastTime,
                               unsigned int refreshType, unsigned int rn, unsigned long long time) const;
    std::wstring StockDragonUrl(const std::wstring& stock) const;
    std::wstring TimeAxisInfoByIdUrl(unsigned int id) const;
    std::wstring TimeAxisListByDayUrl(const wchar_t* date) const;
    std::wstring TimeAxisReddotUrl(const wchar_t* startDate, const wchar_t* endDate) const;
};

}  // namespace internal
}  // namespace news_center
