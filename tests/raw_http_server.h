#pragma once

// A loopback HTTP server over raw sockets for the tests of the real host
// libraries. /echo... answers "#<connection number>\n" and the request head,
// /empty an empty body, /status/NNN status NNN; /stall... never answers; the
// rest misbehave on purpose (see Answer).

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class RawHttpServer {
public:
    RawHttpServer() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd_, 64) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] {
            for (int fd, serial = 1; (fd = ::accept(fd_, nullptr, nullptr)) >= 0; ++serial) {
                std::lock_guard<std::mutex> lock(mu_);
                open_.insert(fd);
                connections_.emplace_back([this, fd, serial] { Serve(fd, serial); });
            }
        });
    }
    ~RawHttpServer() {
        Locked([&] {
            stopping_ = true;
            for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
        });
        cv_.notify_all();
        ::shutdown(fd_, SHUT_RDWR);
        acceptor_.join();
        for (auto& t : connections_) t.join();
        ::close(fd_);
    }

    std::wstring Url(const std::string& target) const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + target;
        return std::wstring(url.begin(), url.end());
    }
    // Requests by path, the query left out.
    int requests(const std::string& path) {
        return Locked([&] { return requests_[path]; });
    }
    bool WaitRequests(const std::string& path, int count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return requests_[path] >= count; });
    }
    // Until the client has closed connection `serial`.
    bool WaitClosed(int serial, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return closed_.count(serial) != 0; });
    }

private:
    template <class F>
    auto Locked(F f) -> decltype(f()) {
        std::lock_guard<std::mutex> lock(mu_);
        return f();
    }

    void Serve(int fd, int serial) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string in, head;
        char buf[4096];
        for (ssize_t n = 0; !Locked([&] { return stopping_; });) {
            const std::size_t end = in.find("\r\n\r\n");
            if (end == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0) in.append(buf, std::size_t(n));
            if (end == std::string::npos && n > 0) continue;
            if (end == std::string::npos) break;
            head = "#" + std::to_string(serial) + "\n" + in.substr(0, end + 2);
            in.erase(0, end + 4);
            const std::size_t start = head.find(' ') + 1;
            const std::string path = head.substr(start, head.find_first_of(" ?", start) - start);
            Locked([&] { ++requests_[path]; });
            cv_.notify_all();
            if (!Answer(fd, path, head)) break;
        }
        Locked([&] {
            open_.erase(fd);
            closed_.insert(serial);
            ::close(fd);
        });
        cv_.notify_all();
    }

    // False: the connection is done.
    bool Answer(int fd, const std::string& path, const std::string& head) {
        const std::string ok = "HTTP/1.1 200 OK\r\n", spaces(1 << 16, ' ');
        if (path.compare(0, 5, "/echo") == 0)
            return Send(fd, ok + "Content-Length: " + std::to_string(head.size()) + "\r\n\r\n" + head);
        if (path == "/empty") return Send(fd, ok + "Content-Length: 0\r\n\r\n");
        if (path.compare(0, 8, "/status/") == 0)
            return Send(fd, "HTTP/1.1 " + path.substr(8) + " X\r\nContent-Length: 10\r\n\r\nerror page");
        // Content-Length 2, then a whole second answer that nobody asked for.
        if (path == "/excess") return Send(fd, ok + "Content-Length: 2\r\n\r\n[]" + ok + "Content-Length: 1\r\n\r\nX");
        const std::string redirect = "HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: ";
        if (path == "/redirect-loop") return Send(fd, redirect + "/redirect-loop\r\n\r\n");
        if (path == "/redirect-file") Send(fd, redirect + "file:///etc/passwd\r\n\r\n");
        if (path == "/cut") Send(fd, ok + "Content-Length: 1000\r\n\r\n[         ");
        if (path == "/bad-chunk") Send(fd, ok + "Transfer-Encoding: chunked\r\n\r\n1\r\n[\r\nzz\r\n    \r\n");
        if (path == "/bad-gzip") Send(fd, ok + "Content-Encoding: gzip\r\nContent-Length: 16\r\n\r\nthis is not gzip");
        for (char c; path.compare(0, 6, "/stall") == 0 && ::recv(fd, &c, 1, 0) > 0;) {
        }
        // Without end: header lines, chunks, a body of 1 TB announced, one byte a
        // second, gzip of whitespace (16 KB on the wire per 16 MB decoded).
        std::string first, again;
        if (path == "/headers") first = ok, again = "X-Padding: " + std::string(1000, 'p') + "\r\n";
        if (path == "/endless")
            first = ok + "Transfer-Encoding: chunked\r\n\r\n", again = "10000\r\n" + spaces + "\r\n";
        if (path == "/huge-length") first = ok + "Content-Length: 1099511627776\r\n\r\n", again = spaces;
        if (path == "/drip") first = ok + "Content-Length: 1000\r\n\r\n", again = " ";
        if (path == "/gzip-bomb") {
            z_stream z{};
            deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
            first = ok + "Content-Encoding: gzip\r\nConnection: close\r\n\r\n" + Gzip(z, spaces);
            again = Gzip(z, spaces);  // self-contained after a full flush: repeats forever
            deflateEnd(&z);
        }
        for (bool sent = !first.empty() && Send(fd, first); sent; sent = Send(fd, again)) {
            std::unique_lock<std::mutex> lock(mu_);
            if (path == "/drip" && cv_.wait_for(lock, std::chrono::seconds(1), [&] { return stopping_; })) break;
        }
        return false;
    }

    // 256 times `spaces`, compressed and fully flushed.
    static std::string Gzip(z_stream& z, const std::string& spaces) {
        std::string out;
        char buf[1 << 14];
        for (int i = 1; i <= 256; ++i) {
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(spaces.data()));
            z.avail_in = static_cast<uInt>(spaces.size());
            do {
                z.next_out = reinterpret_cast<Bytef*>(buf);
                z.avail_out = sizeof buf;
                deflate(&z, i < 256 ? Z_NO_FLUSH : Z_FULL_FLUSH);
                out.append(buf, sizeof buf - z.avail_out);
            } while (z.avail_out == 0 || z.avail_in != 0);
        }
        return out;
    }

    bool Send(int fd, const std::string& data) {
        std::size_t sent = 0;
        for (ssize_t n = 1; sent < data.size() && n > 0 && !Locked([&] { return stopping_; }); sent += std::size_t(n))
            if ((n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL)) <= 0) return false;
        return sent == data.size();
    }

    const int fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mu_;
    std::condition_variable cv_;
    bool stopping_ = false;
    std::set<int> open_, closed_;           // open sockets; serials of closed connections
    std::vector<std::thread> connections_;  // guarded by mu_ until the acceptor is joined
    std::map<std::string, int> requests_;
};
