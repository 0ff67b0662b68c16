// 1,000 sequential Get calls of a 50 KB page from a loopback server over one kept-alive
// connection, beside the curl command line fetching the same URLs in one invocation.
// Also prints how late a 10 ms timer runs at worst while a slow page arrives.

#include "web/HttpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFetches = 1000;
constexpr std::size_t kPageBytes = 50 * 1024;

// Keep-alive server: "/slow..." sends the page in 20 pieces 25 ms apart, anything else
// at once.
class LoopbackServer
{
public:
    LoopbackServer()
    {
        m_page.reserve(kPageBytes);
        for (std::size_t i = 0; m_page.size() < kPageBytes; ++i)
            m_page += static_cast<char>('a' + i % 26);
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
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 std::to_string(m_page.size()) + "\r\n\r\n";
        std::string answer = head + m_page;
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
            const bool slow = pending.compare(0, 10, "GET /slow?") == 0;
            pending.erase(0, end + 4);
            if (!slow) {
                sendAll(fd, answer);
                continue;
            }
            sendAll(fd, head);
            const std::size_t piece = m_page.size() / 20;
            for (std::size_t at = 0; at < m_page.size() && !m_stopping; at += piece) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
                sendAll(fd, std::string_view(m_page).substr(at, piece));
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

    std::string m_page;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::vector<int> m_clients;
    std::vector<std::thread> m_threads;
    std::thread m_accept;
};

double curlCommandLineMs(const std::vector<std::string>& urls)
{
    QStringList args{QStringLiteral("-s"), QStringLiteral("--noproxy"), QStringLiteral("*")};
    for (const auto& u : urls)
        args << QString::fromStdString(u);
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl command line failed\n");
        return -1;
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    LoopbackServer server;
    std::vector<std::string> urls;
    for (int i = 0; i < kFetches; ++i)
        urls.push_back(server.url("/page?n=" + std::to_string(i)));

    larkspur::HttpClient client;
    client.Get(urls.front()); // connect once before timing, as the command line must too
    // Rounds alternate so that load from elsewhere on the machine hits both sides alike.
    constexpr int kRounds = 3;
    double bestGetMs = 1e300;
    double bestCurlMs = 1e300;
    for (int round = 1; round <= kRounds; ++round) {
        std::size_t bytes = 0;
        QElapsedTimer clock;
        clock.start();
        for (const auto& u : urls)
            bytes += client.Get(u).size();
        const double getMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (bytes != kFetches * kPageBytes) {
            std::fprintf(stderr, "wrong byte count %zu\n", bytes);
            return 1;
        }
        const double curlMs = curlCommandLineMs(urls);
        if (curlMs < 0) return 1;
        std::printf("round %d: HttpClient::Get %d x %zu bytes %8.1f ms (%.3f ms each); "
                    "curl command line %8.1f ms (%.3f ms each)\n",
                    round, kFetches, kPageBytes, getMs, getMs / kFetches, curlMs,
                    curlMs / kFetches);
        bestGetMs = std::min(bestGetMs, getMs);
        bestCurlMs = std::min(bestCurlMs, curlMs);
    }
    std::printf("best of %d: Get %.1f ms, curl %.1f ms, ratio Get / curl %.2f (target 1.20 or "
                "less)\n",
                kRounds, bestGetMs, bestCurlMs, bestGetMs / bestCurlMs);

    // Worst delay of a 10 ms timer while a page trickles in over about half a second.
    QElapsedTimer tick;
    qint64 worstGapMs = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ticks++ > 0) worstGapMs = std::max(worstGapMs, tick.elapsed());
        tick.restart();
    });
    timer.start();
    const std::size_t slowBytes = client.Get(server.url("/slow?1")).size();
    timer.stop();
    std::printf("slow page of %zu bytes: %d timer ticks, longest gap %lld ms (10 ms interval, "
                "goal under 50 ms)\n",
                slowBytes, ticks, static_cast<long long>(worstGapMs));
    return 0;
}
