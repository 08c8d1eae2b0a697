#pragma once

// A loopback HTTP server over raw sockets that misbehaves on purpose, one way
// per path, for tests of the real network library:
//   /healthy       "healthy", keep-alive
//   /stall         reads the request and never answers; so does every path under it
//   /gzip-bomb     gzip of endless whitespace (16 KB on the wire per 16 MB decoded)
//   /endless       chunked whitespace without end
//   /huge-length   Content-Length of 1 TB, then whitespace without end
//   /headers       header lines without end
//   /drip          one body byte a second
//   /cut           Content-Length 1000, 10 bytes, then closed
//   /bad-chunk     invalid chunk size
//   /bad-gzip      gzip announced, garbage sent
//   /redirect-loop redirects to itself
//   /redirect-file redirects to a file: URL
//   /excess        Content-Length 2, then a whole second answer the client never asked for

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class RawHttpServer {
public:
    RawHttpServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listenFd_, 64) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    ~RawHttpServer() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stopping_ = true;
            for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
        }
        cv_.notify_all();
        ::shutdown(listenFd_, SHUT_RDWR);
        if (acceptor_.joinable()) acceptor_.join();
        for (auto& t : connections_) t.join();
        ::close(listenFd_);
    }

    int port() const { return port_; }
    std::wstring Url(const std::string& path) const {
        const std::string url = "http://127.0.0.1:" + std::to_string(port_) + path;
        return std::wstring(url.begin(), url.end());
    }

    int requests(const std::string& path) {
        std::lock_guard<std::mutex> lock(mu_);
        return requests_[path];
    }
    bool WaitRequests(const std::string& path, int count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return requests_[path] >= count; });
    }

private:
    void AcceptLoop() {
        for (;;) {
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0 && errno == EINTR) continue;
            if (fd < 0) return;
            std::lock_guard<std::mutex> lock(mu_);
            if (stopping_) {
                ::close(fd);
                return;
            }
            open_.push_back(fd);
            connections_.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string head;
        char buf[4096];
        while (!stopping()) {
            const std::size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            const std::size_t pathStart = head.find(' ') + 1;
            const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
            head.erase(0, end + 4);
            {
                std::lock_guard<std::mutex> lock(mu_);
                ++requests_[path];
            }
            cv_.notify_all();
            if (!Answer(fd, path)) break;
        }
        std::lock_guard<std::mutex> lock(mu_);
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            if (*it == fd) {
                open_.erase(it);
                break;
            }
        }
        ::close(fd);
    }

    // False: the connection is done.
    bool Answer(int fd, const std::string& path) {
        const std::string ok = "HTTP/1.1 200 OK\r\n";
        if (path == "/healthy") return Send(fd, ok + "Content-Length: 7\r\n\r\nhealthy");
        if (path == "/excess")
            return Send(fd, ok + "Content-Length: 2\r\n\r\n[]" + ok + "Content-Length: 8\r\n\r\npoisoned");
        if (path == "/redirect-loop")
            return Send(fd, "HTTP/1.1 302 Found\r\nLocation: /redirect-loop\r\nContent-Length: 0\r\n\r\n");
        if (path == "/redirect-file")
            return Send(fd, "HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
        if (path == "/cut") Send(fd, ok + "Content-Length: 1000\r\n\r\n[         ");
        if (path == "/bad-chunk") Send(fd, ok + "Transfer-Encoding: chunked\r\n\r\n1\r\n[\r\nzz\r\n    \r\n");
        if (path == "/bad-gzip") Send(fd, ok + "Content-Encoding: gzip\r\nContent-Length: 16\r\n\r\nthis is not gzip");
        if (path.compare(0, 6, "/stall") == 0) {
            char c;
            while (::recv(fd, &c, 1, 0) > 0) {
            }
        }
        if (path == "/drip" && Send(fd, ok + "Content-Length: 1000\r\n\r\n[")) {
            std::unique_lock<std::mutex> lock(mu_);
            while (!stopping_ && !cv_.wait_for(lock, std::chrono::seconds(1), [&] { return stopping_; }) &&
                   ::send(fd, " ", 1, MSG_NOSIGNAL) == 1) {
            }
        }
        if (path == "/headers" && Send(fd, ok)) {
            const std::string line = "X-Padding: " + std::string(1000, 'p') + "\r\n";
            while (Send(fd, line)) {
            }
        }
        const std::string spaces(1 << 16, ' ');
        if (path == "/endless" && Send(fd, ok + "Transfer-Encoding: chunked\r\n\r\n1\r\n[\r\n")) {
            while (Send(fd, "10000\r\n" + spaces + "\r\n")) {
            }
        }
        if (path == "/huge-length" && Send(fd, ok + "Content-Length: 1099511627776\r\n\r\n[")) {
            while (Send(fd, spaces)) {
            }
        }
        if (path == "/gzip-bomb") {
            static const std::pair<std::string, std::string> bomb = GzipOfSpaces();
            if (Send(fd, ok + "Content-Encoding: gzip\r\nConnection: close\r\n\r\n" + bomb.first)) {
                while (Send(fd, bomb.second)) {
                }
            }
        }
        return false;
    }

    // First the gzip header, "[" and 16 MB of spaces; then 16 MB more,
    // self-contained, to repeat without end. No trailer ever comes.
    static std::pair<std::string, std::string> GzipOfSpaces() {
        std::pair<std::string, std::string> out;
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
        Deflate(z, "[", Z_NO_FLUSH, out.first);
        const std::string spaces(1 << 16, ' ');
        for (std::string* part : {&out.first, &out.second}) {
            for (int i = 1; i < 256; ++i) Deflate(z, spaces, Z_NO_FLUSH, *part);
            Deflate(z, spaces, Z_FULL_FLUSH, *part);
        }
        deflateEnd(&z);
        return out;
    }
    static void Deflate(z_stream& z, const std::string& in, int flush, std::string& out) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        char buf[1 << 14];
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, flush);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0 || z.avail_in != 0);
    }

    bool Send(int fd, const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size() && !stopping()) {
            const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return sent == data.size();
    }

    bool stopping() {
        std::lock_guard<std::mutex> lock(mu_);
        return stopping_;
    }

    int listenFd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mu_;
    std::condition_variable cv_;
    bool stopping_ = false;
    std::vector<int> open_;                 // connections not yet closed
    std::vector<std::thread> connections_;  // guarded by mu_ until the acceptor is joined
    std::map<std::string, int> requests_;
};
