// Loads lx_news_center, serves article counters from a loopback server and
// prints what the counter publisher delivers.

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "host/lx_base.h"
#include "host/lx_qt_support.h"
#include "news_center/news_center.h"

int main() {
    httplib::Server server;
    server.Get("/pc/information/get_count_by_ids", [](const httplib::Request& request, httplib::Response& response) {
        std::string reading, comment;
        std::string ids = request.get_param_value("ids");
        int n = 0;
        for (std::size_t start = 0; start < ids.size();) {
            std::size_t end = ids.find(',', start);
            if (end == std::string::npos)
                end = ids.size();
            const std::string id = ids.substr(start, end - start);
            reading += (n ? "," : "") + ("\"" + id + "\":" + std::to_string(100 + 10 * n));
            comment += (n ? "," : "") + ("\"" + id + "\":" + std::to_string(n));
            ++n;
            start = end + 1;
        }
        response.set_content("{\"errno\":0,\"time\":1700000000,\"data\":{\"reading_num\":{" + reading +
                                 "},\"comment_num\":{" + comment + "}}}",
                             "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });

    UrlHelper::SetServiceRoot(L"http://127.0.0.1:" + std::to_wstring(port));
    std::printf("news service on 127.0.0.1:%d\n", port);

    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    GetCommonPublisher()->RequestCountInfo({1001, 1002, 0, 1003}, [&](const CountInfoMap& counters) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& entry : counters)
            std::printf("article %u: %d reads, %d comments\n", entry.first, entry.second.reading_num,
                        entry.second.comment_num);
        answered = true;
        done.notify_all();
    });
    bool ok;
    {
        std::unique_lock<std::mutex> lock(mutex);
        ok = done.wait_for(lock, std::chrono::seconds(10), [&] { return answered; });
    }
    DestroyAllPublisher();
    server.stop();
    serving.join();
    if (!ok)
        std::fprintf(stderr, "no answer from the counter publisher\n");
    return ok ? 0 : 1;
}
