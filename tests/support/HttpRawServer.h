#pragma once
// A loopback TCP server for HTTP client tests that need a server to misbehave: each
// accepted connection runs the test's handler on a thread of its own, which reads and
// writes raw bytes. Listens on 127.0.0.1 on a free port. Every wait is bounded.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace larkspur::test {

class HttpRawServer;

class HttpRawConnection
{
public:
    HttpRawConnection(int fd, HttpRawServer& server, const std::atomic<bool>& stopping)
        : m_fd(fd), m_server(server), m_stopping(stopping)
    {}
    // The next request head up to and including its empty line (also recorded in the
    // server's list); nothing when the peer closed, the server stops or `timeoutMs` passed.
    std::optional<std::string> readRequest(int timeoutMs = 10000);
    // Whatever bytes arrive first (a TLS greeting, say); empty on close or timeout.
    std::string readSome(int timeoutMs = 10000);
    // False once the peer has gone.
    bool send(std::string_view bytes);
    // Aborts the connection: the peer gets a reset instead of an orderly close.
    void reset();
    // Waits until the peer closes the connection; false on timeout.
    bool waitPeerClose(int timeoutMs = 10000);
    // Sleeps up to `ms`, ending early when the server stops.
    void pause(int ms);
    bool stopping() const { return m_stopping; }

private:
    int m_fd;
    HttpRawServer& m_server;
    const std::atomic<bool>& m_stopping;
    std::string m_pending;
};

class HttpRawServer
{
public:
    using Handler = std::function<void(HttpRawConnection&)>;
    explicit HttpRawServer(Handler handler);
    ~HttpRawServer(); // stops: pending reads end, handler threads are joined
    HttpRawServer(const HttpRawServer&) = delete;
    HttpRawServer& operator=(const HttpRawServer&) = delete;

    int port() const { return m_port; }
    std::string url(std::string_view target) const;
    int connections() const { return m_connections; }
    // Every request head read by a handler, in arrival order.
    std::vector<std::string> requests() const;

private:
    friend class HttpRawConnection;
    void record(std::string request);
    void acceptLoop();

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<int> m_fds;
    std::vector<std::thread> m_threads;
    std::thread m_acceptThread;
};

// A port on 127.0.0.1 where nothing listens (bound, then released).
int unusedLoopbackPort();

} // namespace larkspur::test
