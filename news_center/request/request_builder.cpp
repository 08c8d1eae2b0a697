#include "news_center/request/request_builder.h"

#include <atomic>
#include <map>
#include <string>

#include "host/lx_common.h"
#include "host/lx_qt_support.h"

namespace news_center {
namespace internal {
namespace {

typedef std::map<std::string, std::string> ParameterMap;

const unsigned int kUtf8 = 65001;

std::string Utf8(const wchar_t* text) { return common::ws2s(text ? std::wstring(text) : std::wstring(), kUtf8); }
std::string Utf8(const std::wstring& text) { return common::ws2s(text, kUtf8); }

template <class Number>
std::string Decimal(Number value) {
    return std::to_string(value);
}

std::wstring Sign(const wchar_t* path, const ParameterMap& params) {
    return pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(path, params);
}

}  // namespace

RequestBuilder& RequestBuilder::Instance() {
    // Stateless, so a second instance made by a racing first call is harmless;
    // the atomic only keeps the race defined.
    static std::atomic<RequestBuilder*> instance(nullptr);
    RequestBuilder* current = instance.load(std::memory_order_acquire);
    if (!current) {
        RequestBuilder* created = new RequestBuilder;
        if (instance.compare_exchange_strong(current, created, std::memory_order_acq_rel))
            current = created;
        else
            delete created;
    }
    return *current;
}

std::wstring RequestBuilder::BatchShowUrl(unsigned long long lastTime, unsigned long long time, FetchKind kind) const {
    const bool paging = kind == FetchKind::OlderPage && lastTime != 0;
    ParameterMap params;
    params["time"] = Decimal(time);
    params["last_time"] = Decimal(lastTime);
    params["refresh_type"] = Decimal(paging ? 1 : 0);
    params["rn"] = Decimal(paging ? 10 : 15);
    return Sign(L"/pc/roll/batch_show", params);
}

std::wstring RequestBuilder::CountByIdsUrl(const wchar_t* ids, unsigned long long time) const {
    ParameterMap params;
    params["ids"] = Utf8(ids);
    params["time"] = Decimal(time);
    return Sign(L"/pc/information/get_count_by_ids", params);
}

std::wstring RequestBuilder::DepthUrl(FetchKind kind, unsigned long long lastTime, bool lastIsStickies) const {
    const bool paging = kind == FetchKind::OlderPage && lastTime != 0;
    ParameterMap params;
    params["last_time"] = Decimal(lastTime);
    params["refresh_type"] = Decimal(paging ? 1 : 0);
    params["last_is_stickies"] = Decimal(!paging || lastIsStickies ? 1 : 0);
    return Sign(L"/pc/information/get_depth", params);
}

std::wstring RequestBuilder::ColumnArticleListUrl(unsigned int columnId, unsigned long long lastTime) const {
    ParameterMap params;
    params["column_id"] = Decimal(columnId);
    if (lastTime == 0) {
        params["rn"] = Decimal(15);
    } else {
        params["last_time"] = Decimal(lastTime);
        params["refresh_type"] = Decimal(1);
        params["rn"] = Decimal(10);
    }
    return Sign(L"/pc/exclusive/column_article_list", params);
}

std::wstring RequestBuilder::ColumnListUrl() const { return Sign(L"/pc/exclusive/column_list", ParameterMap()); }

std::wstring RequestBuilder::InformModifyUrl(unsigned long long lastTime, unsigned long long time) const {
    ParameterMap params;
    params["last_time"] = Decimal(lastTime);
    params["time"] = Decimal(time);
    return Sign(L"/pc/inform/modify", params);
}

std::wstring RequestBuilder::SumArticleListUrl(unsigned long long lastTime, unsigned int refreshType,
                                               unsigned int rn) const {
    ParameterMap params;
    params["last_time"] = Decimal(lastTime);
    params["refresh_type"] = Decimal(refreshType);
    params["rn"] = Decimal(rn);
    return Sign(L"/pc/information/sum_article_list", params);
}

std::wstring RequestBuilder::StockNoticeUrl(const std::wstring& stock, unsigned int page, unsigned int rn) const {
    ParameterMap params;
    params["stock"] = Utf8(stock);
    params["page"] = Decimal(page);
    params["rn"] = Decimal(rn);
    return Sign(L"/pc/rt/stock_notice", params);
}

std::wstring RequestBuilder::StockLandmineUrl(const std::wstring& stock, unsigned int startDate,
                                              unsigned int endDate) const {
    const unsigned int lastDay = endDate != 0 ? endDate : common::GetCurrentServerDate();
    ParameterMap params;
    params["stock"] = Utf8(stock);
    params["start"] = Decimal(common::DateToTime(startDate, 0, 0, 0));
    params["end"] = Decimal(static_cast<unsigned long long>(common::DateToTime(lastDay, 23, 59, 59)));
    return Sign(L"/pc/rt/stock_landmine", params);
}

std::wstring RequestBuilder::MarketListUrl(unsigned int type, const std::wstring& uniqueKey,
                                           unsigned long long lastTime, unsigned int refreshType, unsigned int rn,
                                           unsigned long long time) const {
    if (type != 1 && type != 2)
        return std::wstring();
    ParameterMap params;
    params["unique_key"] = Utf8(uniqueKey);
    params["type"] = Decimal(type);
    params["last_time"] = Decimal(lastTime);
    params["refresh_type"] = Decimal(refreshType);
    params["rn"] = Decimal(rn);
    params["time"] = Decimal(time);
    return Sign(L"/v1/market/get_list", params);
}

std::wstring RequestBuilder::StockDragonUrl(const std::wstring& stock) const {
    ParameterMap params;
    params["stock_arr"] = Utf8(L"[\"" + stock + L"\"]");
    return Sign(L"/pc/rt/stock_dragon", params);
}

std::wstring RequestBuilder::TimeAxisInfoByIdUrl(unsigned int id) const {
    ParameterMap params;
    params["id"] = Decimal(id);
    return Sign(L"/pc/time_axis/get_info_by_id", params);
}

std::wstring RequestBuilder::TimeAxisListByDayUrl(const wchar_t* date) const {
    ParameterMap params;
    params["date"] = Utf8(date);
    params["rn"] = Decimal(50);
    return Sign(L"/pc/time_axis/get_list_by_day", params);
}

std::wstring RequestBuilder::TimeAxisReddotUrl(const wchar_t* startDate, const wchar_t* endDate) const {
    ParameterMap params;
    params["start_date"] = Utf8(startDate);
    params["end_date"] = Utf8(endDate);
    return Sign(L"/pc/time_axis/reddot", params);
}

}  // namespace internal
}  // namespace news_center
