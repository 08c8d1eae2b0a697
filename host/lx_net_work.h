#pragma once

// HTTP for the news centre. Requests carry the complete signed URL; the body
// handed to a completion is only valid until the completion returns.
//
// A server cannot make a request use more than bounded memory or time: a
// response whose decoded body would pass netwk::kMaxResponseBytes, whose
// headers pass 256 KiB in all, that redirects more than 5 times or to a scheme
// other than http or https, or that is not done within the request's timeout,
// fails as soon as that is known, and its connection is closed, not reused.
// Only gzip and deflate are asked for.
//
// Without netwk::Stop, a request in flight ends only when its server answers
// or its timeout passes, and whoever waits for its completion waits that long.

#include <map>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "host/lx_host_export.h"

#if defined(LX_BUILDING_NET_WORK)
#define LX_NET_WORK_API LX_HOST_EXPORT
#else
#define LX_NET_WORK_API LX_HOST_IMPORT
#endif

typedef std::map<std::string, std::string> HttpHeaderMap;
typedef boost::function<void(bool success, const char* body, long long length)> HttpCompletion;

// Returns at once. `completion` is called exactly once, on a network thread of
// this library (never the caller's), also on failure. A transport error, a
// timeout of `timeoutSeconds` or a status outside 2xx is `success == false`.
extern "C" LX_NET_WORK_API void GetAsyn(const std::wstring& url, const HttpCompletion& completion,
                                        const HttpHeaderMap& headers, int timeoutSeconds);

// Blocks the caller until the whole body is in `body` (true) or the request
// failed (false). On a boost::thread that has been asked to interrupt, the
// request is abandoned at once and false is returned; the interruption request
// stays pending so the caller's next interruption point still sees it.
extern "C" LX_NET_WORK_API bool GetSync(const std::wstring& url, std::vector<char>& body,
                                        const HttpHeaderMap& headers, int timeoutSeconds);

namespace netwk {

// The most decoded body bytes a response may bring, far above any real answer.
constexpr long long kMaxResponseBytes = 16LL << 20;

// The host program's stop, when it closes. Abandons every request in flight
// within a few milliseconds, waiting for no server: GetSync returns false on
// whatever thread it runs, a GetAsyn completion is called with success ==
// false. Returns once the completion of every GetAsyn made before it has
// returned and been destroyed. Every later request fails at once: GetSync
// returns false, and a GetAsyn completion is still called exactly once, with
// success == false, on a network thread.
//
// May be called more than once, from any thread; the caller must not hold a
// lock that a completion takes. Called from a completion, it stops everything
// as well but returns without waiting for the other completions.
LX_NET_WORK_API void Stop();

// Host configuration. Number of network threads that run transfers and
// completions of GetAsyn (default 2). Takes effect before the first request.
LX_NET_WORK_API void SetNetworkThreadCount(int count);
}  // namespace netwk
