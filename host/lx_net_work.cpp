#include "host/lx_net_work.h"
#include "host/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <boost/locale/encoding_utf.hpp>
#include <boost/thread/thread.hpp>
#include <curl/curl.h>

namespace {

constexpr int kDefaultTimeoutSeconds = 30;  // for a caller that passes 0 or less
constexpr int kPollMilliseconds = 20;       // how late an abandoned transfer may notice
constexpr long kMaxRedirects = 5;
constexpr std::size_t kMaxHeaderBytes = std::size_t(256) << 10;  // all header lines of a request
constexpr std::size_t kMaxBodyBytes = static_cast<std::size_t>(netwk::kMaxResponseBytes);

void StopNetworkThreadsAtExit();

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Exit handlers run last-registered first: the network threads leave
        // before the TLS library's own exit cleanup, after which a leaving
        // thread's TLS state would no longer be freed.
        std::atexit(&StopNetworkThreadsAtExit);
    });
}

std::string ToUtf8(const std::wstring& text) {
    return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

bool ValidHeaderPart(const std::string& s, bool isName) {
    for (char c : s) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        if (isName && (c == ':' || c == ' ')) return false;
    }
    return true;
}

class HeaderList {
public:
    explicit HeaderList(const HttpHeaderMap& headers) {
        for (const auto& h : headers) {
            if (h.first.empty() || !ValidHeaderPart(h.first, true) || !ValidHeaderPart(h.second, false)) continue;
            // "Name;" is how curl sends a header with an empty value.
            const std::string line = h.second.empty() ? h.first + ";" : h.first + ": " + h.second;
            curl_slist* next = curl_slist_append(list_, line.c_str());
            if (next == nullptr) break;
            list_ = next;
        }
    }
    ~HeaderList() { curl_slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

struct Sink {
    std::vector<char>* body;
    bool failed;
    std::size_t headerBytes;
};

// Returning less than `bytes` from either callback aborts the transfer.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    Sink* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    // The bytes are already decoded: a small compressed body is held to the
    // limit as well.
    if (bytes > kMaxBodyBytes - sink->body->size()) {
        sink->failed = true;
        return 0;
    }
    try {
        sink->body->insert(sink->body->end(), data, data + bytes);
    } catch (...) {
        sink->failed = true;
        return 0;  // aborts the transfer
    }
    return bytes;
}

size_t CountHeader(char*, size_t size, size_t count, void* user) {
    Sink* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    sink->headerBytes += bytes;
    if (sink->headerBytes > kMaxHeaderBytes) {
        sink->failed = true;
        return 0;
    }
    return bytes;
}

// Runs one transfer at a time on the thread that owns it. The multi handle
// keeps the connection cache, so a connection to a host is reused by the next
// request; driving it ourselves in short polls lets a caller give up on a
// server that never answers.
class Transferer {
public:
    Transferer() = default;
    Transferer(const Transferer&) = delete;
    Transferer& operator=(const Transferer&) = delete;
    ~Transferer() {
        if (easy_ != nullptr) curl_easy_cleanup(easy_);
        if (multi_ != nullptr) curl_multi_cleanup(multi_);
    }

    template <class Abandon>
    bool Get(const std::string& url, const HttpHeaderMap& headers, int timeoutSeconds, std::vector<char>& body,
             Abandon abandon) {
        body.clear();
        if (abandon() || !Ready()) return false;

        HeaderList headerList(headers);
        Sink sink{&body, false, 0};
        curl_easy_reset(easy_);
        curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_TIMEOUT, static_cast<long>(timeoutSeconds > 0 ? timeoutSeconds
                                                                                      : kDefaultTimeoutSeconds));
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, kMaxRedirects);
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
#if LIBCURL_VERSION_NUM >= 0x075700
        curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);  // an abandoned name lookup is not waited for
#endif
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
        curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList.get());
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CountHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &sink);

        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
        bool done = false;
        CURLcode result = CURLE_FAILED_INIT;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi_, &running) != CURLM_OK) break;
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
                    result = msg->data.result;
                    done = true;
                }
            }
            if (done || running == 0 || abandon()) break;
            if (curl_multi_poll(multi_, nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) break;
        }
        long status = 0;
        if (done && result == CURLE_OK) curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        curl_multi_remove_handle(multi_, easy_);  // an unfinished transfer's connection is closed here
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));

        const bool ok = done && result == CURLE_OK && !sink.failed && status >= 200 && status < 300;
        if (!ok) body.clear();
        return ok;
    }

private:
    bool Ready() {
        GlobalInit();
        if (multi_ == nullptr) multi_ = curl_multi_init();
        if (easy_ == nullptr) easy_ = curl_easy_init();
        return multi_ != nullptr && easy_ != nullptr;
    }

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
};

// ---------------------------------------------------------------------------
// GetAsyn's network threads. Each keeps its own handles, so connections are
// reused by the thread's next request.

struct Request {
    std::string url;
    HttpCompletion completion;
    HttpHeaderMap headers;
    int timeoutSeconds = 0;
    bool beforeStop = false;  // netwk::Stop waits for its completion
};

struct NetworkWorker {
    using Item = Request;
    static constexpr int kMaxThreads = 32;
    static constexpr bool kNeverOnAdder = false;
    bool Serve(Request& request);

    Transferer transferer;
    std::vector<char> body;
};
using NetworkPool = lx_host::internal::WorkerPool<NetworkWorker>;

// True once the process exits: every transfer gives up, no completion runs.
bool Exiting() { return NetworkPool::isExiting(); }

// netwk::Stop's state: whether it was called, and how many GetAsyn made before
// it still have a completion to run. Never freed, like the pool.
class StopLatch {
public:
    static StopLatch& Instance() {
        static StopLatch* const latch = new StopLatch;
        return *latch;
    }
    bool isStopped() const { return stopped_.load(); }

    // False once stopped; otherwise the request is counted until Done.
    bool Enter() {
        std::lock_guard<std::mutex> lock(mu_);
        if (stopped_.load()) return false;
        ++pending_;
        return true;
    }
    void Done() {
        std::lock_guard<std::mutex> lock(mu_);
        if (--pending_ == 0) idle_.notify_all();
    }
    void Stop() {
        std::lock_guard<std::mutex> lock(mu_);
        stopped_.store(true);
    }
    // At exit queued requests are kept, never completed: no wait for them.
    void WaitForPending() {
        std::unique_lock<std::mutex> lock(mu_);
        while (pending_ > 0 && !Exiting()) idle_.wait_for(lock, std::chrono::milliseconds(kPollMilliseconds));
    }

private:
    StopLatch() = default;
    std::mutex mu_;
    std::condition_variable idle_;
    std::atomic<bool> stopped_{false};  // written under mu_, read by the polls without it
    long long pending_ = 0;
};

// Every transfer gives up after netwk::Stop or at exit.
bool Abandoned() { return Exiting() || StopLatch::Instance().isStopped(); }

bool NetworkWorker::Serve(Request& request) {
    bool ok = false;
    try {
        ok = transferer.Get(request.url, request.headers, request.timeoutSeconds, body, &Abandoned);
    } catch (...) {
        ok = false;
    }
    // Cut short by exit: kept, not completed, because the completion may hold
    // objects of libraries already torn down.
    if (Exiting()) return false;
    try {
        if (ok)
            request.completion(true, body.empty() ? "" : body.data(), static_cast<long long>(body.size()));
        else
            request.completion(false, nullptr, 0);
    } catch (...) {
        // The completion's own failure; this thread serves the next request.
    }
    if (request.beforeStop) {
        request.completion.clear();  // its captures go before netwk::Stop returns
        StopLatch::Instance().Done();
    }
    if (body.capacity() > (std::size_t(1) << 22)) std::vector<char>().swap(body);
    return true;
}

NetworkPool::Reaper g_networkReaper;

void StopNetworkThreadsAtExit() { NetworkPool::StopForExit(); }

}  // namespace

extern "C" void GetAsyn(const std::wstring& url, const HttpCompletion& completion, const HttpHeaderMap& headers,
                        int timeoutSeconds) {
    try {
        if (completion.empty()) return;
        Request request{ToUtf8(url), completion, headers, timeoutSeconds};
        const bool counted = request.beforeStop = StopLatch::Instance().Enter();
        try {
            NetworkPool::Instance().Add(std::move(request));
        } catch (...) {
            if (counted) StopLatch::Instance().Done();  // never queued: no completion to wait for
        }
    } catch (...) {
    }
}

extern "C" bool GetSync(const std::wstring& url, std::vector<char>& body, const HttpHeaderMap& headers,
                        int timeoutSeconds) {
    try {
        body.clear();
        // interruption_requested() only looks: the request stays pending for
        // the caller's next interruption point.
        const auto abandon = [] { return Abandoned() || boost::this_thread::interruption_requested(); };
        if (abandon()) return false;
        thread_local Transferer transferer;
        std::vector<char> received;
        if (!transferer.Get(ToUtf8(url), headers, timeoutSeconds, received, abandon)) return false;
        body.swap(received);
        return true;
    } catch (...) {
        return false;
    }
}

namespace netwk {

void Stop() {
    try {
        StopLatch::Instance().Stop();
        // A completion that waited for the others could wait for itself.
        if (!NetworkPool::isWorkerThread()) StopLatch::Instance().WaitForPending();
    } catch (...) {
    }
}

void SetNetworkThreadCount(int count) { NetworkPool::SetThreadCount(count); }

}  // namespace netwk
