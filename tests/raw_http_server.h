#pragma once

// A loopback HTTP server over raw sockets, never destroyed. /echo... answers "#<connection number>\n" and the
// request head, /empty an empty body, /status/NNN that status; /stall... never answers; the rest misbehave.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

class RawHttpServer {
public:
    RawHttpServer() {
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd_, 64) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
        std::thread([this] {
            for (int fd, serial = 1; (fd = ::accept(fd_, nullptr, nullptr)) >= 0; ++serial)
                std::thread([this, fd, serial] { Serve(fd, serial); }).detach();
        }).detach();
    }
    ~RawHttpServer() = delete;

    std::wstring Url(const std::string& target) const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + target;
        return std::wstring(url.begin(), url.end());
    }
    // Until `count` requests of `path` (the query left out) have come; "#N closed": the client closed N.
    bool WaitRequests(const std::string& path, int count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return requests_[path] >= count; });
    }

private:
    void Serve(int fd, int serial) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string in;
        char buf[4096];
        for (ssize_t n = 0; in.find("\r\n\r\n") != std::string::npos || (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) {
            const std::size_t end = in.find("\r\n\r\n");
            if (end == std::string::npos) {
                in.append(buf, std::size_t(n));
                continue;
            }
            const std::string head = "#" + std::to_string(serial) + "\n" + in.substr(0, end + 2);
            in.erase(0, end + 4);
            const std::size_t start = head.find(' ') + 1;
            const std::string path = head.substr(start, head.find_first_of(" ?", start) - start);
            {
                std::lock_guard<std::mutex> lock(mu_);
                ++requests_[path];
            }
            cv_.notify_all();
            if (!Answer(fd, path, head)) break;
        }
        ::close(fd);
        std::lock_guard<std::mutex> lock(mu_);
        ++requests_["#" + std::to_string(serial) + " closed"];
        cv_.notify_all();
    }

    // False: the connection is done.
    bool Answer(int fd, const std::string& path, const std::string& head) {
        const std::string ok = "HTTP/1.1 200 OK\r\n", redirect = "HTTP/1.1 302 Found\r\nLocation: ";
        if (path.compare(0, 5, "/echo") == 0)
            return Send(fd, ok + "Content-Length: " + std::to_string(head.size()) + "\r\n\r\n" + head);
        if (path == "/empty") return Send(fd, ok + "Content-Length: 0\r\n\r\n");
        if (path.compare(0, 8, "/status/") == 0)
            return Send(fd, "HTTP/1.1 " + path.substr(8) + " X\r\nContent-Length: 10\r\n\r\nerror page");
        // Content-Length 2, then a whole second answer that nobody asked for.
        if (path == "/excess") return Send(fd, ok + "Content-Length: 2\r\n\r\n[]" + ok + "Content-Length: 1\r\n\r\nX");
        if (path == "/redirect-loop") return Send(fd, redirect + "/redirect-loop\r\nContent-Length: 0\r\n\r\n");
        if (path == "/redirect-file") Send(fd, redirect + "file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
        if (path == "/cut") Send(fd, ok + "Content-Length: 1000\r\n\r\n[         ");
        if (path == "/bad-chunk") Send(fd, ok + "Transfer-Encoding: chunked\r\n\r\n1\r\n[\r\nzz\r\n    \r\n");
        if (path == "/bad-gzip") Send(fd, ok + "Content-Encoding: gzip\r\nContent-Length: 16\r\n\r\nthis is not gzip");
        for (char c; path.compare(0, 6, "/stall") == 0 && ::recv(fd, &c, 1, 0) > 0;) {
        }
        // Without end: header lines, chunks, the terabyte announced, a byte a second, whitespace
        // deflated after a gzip header (a full flush makes the part repeatable: 64 KB per 84 bytes sent).
        std::string first, again, spaces(1 << 16, ' ');
        const auto answer = [&](std::string head, std::string part) {
            first = std::move(head);
            again = std::move(part);
        };
        if (path == "/headers") answer(ok, "X-Padding: " + std::string(1000, 'p') + "\r\n");
        if (path == "/endless") answer(ok + "Transfer-Encoding: chunked\r\n\r\n", "10000\r\n" + spaces + "\r\n");
        if (path == "/huge-length") answer(ok + "Content-Length: 1099511627776\r\n\r\n", spaces);
        if (path == "/drip") answer(ok + "Content-Length: 1000\r\n\r\n", " ");
        if (path == "/gzip-bomb") {
            first = ok + "Content-Encoding: gzip\r\n\r\n" + std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
            z_stream z{};
            deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
            again.resize(spaces.size());
            z.next_in = reinterpret_cast<Bytef*>(&spaces[0]);
            z.avail_in = uInt(spaces.size());
            z.next_out = reinterpret_cast<Bytef*>(&again[0]);
            z.avail_out = uInt(again.size());
            deflate(&z, Z_FULL_FLUSH);
            again.resize(again.size() - z.avail_out);
            deflateEnd(&z);
        }
        for (bool sent = !first.empty() && Send(fd, first); sent; sent = Send(fd, again))
            if (path == "/drip") std::this_thread::sleep_for(std::chrono::seconds(1));
        return false;
    }

    // A blocking socket takes all of it, or fails.
    static bool Send(int fd, const std::string& data) {
        return ::send(fd, data.data(), data.size(), MSG_NOSIGNAL) == ssize_t(data.size());
    }

    const int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
    std::mutex mu_;
    std::condition_variable cv_;
    std::map<std::string, int> requests_;
};
