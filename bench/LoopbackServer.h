#pragma once
// A keep-alive HTTP server on 127.0.0.1 for the benchmarks: each connection on a thread of
// its own, each GET answered by the handler at once or in timed pieces.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace larkspur::bench {

struct Reply
{
    std::string body;
    int pieces = 1;       // sent in this many parts,
    int pieceDelayMs = 0; // each after this pause
};

class LoopbackServer
{
public:
    using Handler = std::function<Reply(const std::string& target)>;

    explicit LoopbackServer(Handler handler) : m_handler(std::move(handler))
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_fd, 8) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_accept = std::thread([this] { acceptLoop(); });
    }
    ~LoopbackServer()
    {
        m_stopping = true;
        ::shutdown(m_fd, SHUT_RDWR);
        m_accept.join();
        std::lock_guard lock(m_mutex);
        for (int fd : m_clients)
            ::shutdown(fd, SHUT_RDWR);
        for (auto& t : m_threads)
            t.join();
        for (int fd : m_clients)
            ::close(fd);
        ::close(m_fd);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string url(const std::string& target) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + target;
    }

private:
    void acceptLoop()
    {
        while (!m_stopping) {
            const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::lock_guard lock(m_mutex);
            m_clients.push_back(fd);
            m_threads.emplace_back([this, fd] { serve(fd); });
        }
    }
    void serve(int fd)
    {
        std::string pending;
        char buf[8192];
        for (;;) {
            const auto end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) return;
                pending.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            const auto space = pending.find(' ', 4);
            const std::string target = pending.substr(4, space == std::string::npos ? 0 : space - 4);
            pending.erase(0, end + 4);
            const Reply reply = m_handler(target);
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                     std::to_string(reply.body.size()) + "\r\n\r\n";
            // One write for a whole answer: a head sent alone would wait on the peer's
            // delayed acknowledgement.
            if (reply.pieces <= 1 && reply.pieceDelayMs == 0) {
                sendAll(fd, head + reply.body);
                continue;
            }
            sendAll(fd, head);
            const std::size_t piece = reply.body.size() / std::max(1, reply.pieces) + 1;
            for (std::size_t at = 0; at < reply.body.size() && !m_stopping; at += piece) {
                if (reply.pieceDelayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(reply.pieceDelayMs));
                sendAll(fd, std::string_view(reply.body).substr(at, piece));
            }
        }
    }
    static void sendAll(int fd, std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    Handler m_handler;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::vector<int> m_clients;
    std::vector<std::thread> m_threads;
    std::thread m_accept;
};

} // namespace larkspur::bench
