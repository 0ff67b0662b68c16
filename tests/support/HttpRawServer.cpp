#include "support/HttpRawServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <utility>

namespace larkspur::test {

namespace {

int listenLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

} // namespace

std::optional<std::string> HttpRawConnection::readRequest(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const auto end = m_pending.find("\r\n\r\n"); end != std::string::npos) {
            std::string head = m_pending.substr(0, end + 4);
            m_pending.erase(0, end + 4);
            m_server.record(head);
            return head;
        }
        if (m_stopping || remainingMs(deadline) == 0) return std::nullopt;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, std::min(100, remainingMs(deadline))) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) return std::nullopt;
        m_pending.append(buf, static_cast<std::size_t>(n));
    }
}

std::string HttpRawConnection::readSome(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pending.empty() && !m_stopping && remainingMs(deadline) > 0) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, std::min(100, remainingMs(deadline))) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        m_pending.append(buf, static_cast<std::size_t>(n));
    }
    return std::exchange(m_pending, std::string());
}

bool HttpRawConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void HttpRawConnection::reset()
{
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    // Closing the socket sends the reset; the descriptor stays valid (as /dev/null) for
    // the server's own clean-up.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ::dup2(null, m_fd);
    ::close(null);
}

bool HttpRawConnection::waitPeerClose(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_stopping && remainingMs(deadline) > 0) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, std::min(100, remainingMs(deadline))) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) return true;
    }
    return false;
}

void HttpRawConnection::pause(int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && remainingMs(deadline) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, remainingMs(deadline))));
}

HttpRawServer::HttpRawServer(Handler handler) : m_handler(std::move(handler))
{
    m_listenFd = listenLoopback(m_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

HttpRawServer::~HttpRawServer()
{
    m_stopping = true;
    m_acceptThread.join();
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_fds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : m_threads)
        t.join();
    for (int fd : m_fds)
        ::close(fd);
    ::close(m_listenFd);
}

std::string HttpRawServer::url(std::string_view target) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(target);
}

std::vector<std::string> HttpRawServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void HttpRawServer::record(std::string request)
{
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(request));
}

void HttpRawServer::acceptLoop()
{
    while (!m_stopping) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++m_connections;
        std::lock_guard lock(m_mutex);
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] {
            HttpRawConnection connection(fd, *this, m_stopping);
            m_handler(connection);
            ::shutdown(fd, SHUT_WR); // the handler's end closes its side
        });
    }
}

int unusedLoopbackPort()
{
    int port = 0;
    const int fd = listenLoopback(port);
    ::close(fd);
    return port;
}

} // namespace larkspur::test
