// The HTTP client against a server on 127.0.0.1 whose whole answer is the input: status
// line, headers, chunked or sized bodies, cookies, then the connection closes. A cookie
// received goes back in a second request, which must still be well formed.

#include "fuzz/FuzzCheck.h"
#include "web/HttpClient.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace larkspur;

namespace {

// Answers each connection with the next queued answer (or a short fixed one) and closes it;
// the listening socket lives as long as the process.
class AnswerServer
{
  public:
    AnswerServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            std::abort();
        m_port = ntohs(addr.sin_port);
        std::thread([this] { serve(); }).detach();
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/page"; }

    void queue(std::string answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(std::move(answer));
    }

    // The request heads read since the last call; waits for the connections to finish.
    std::vector<std::string> takeRequests(std::size_t expected)
    {
        std::unique_lock lock(m_mutex);
        m_done.wait_for(lock, std::chrono::seconds(5), [&] { return m_requests.size() >= expected; });
        m_answers.clear();
        return std::exchange(m_requests, {});
    }

  private:
    void serve()
    {
        for (;;) {
            const int conn = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0) continue;
            const std::string head = readHead(conn);
            std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
            {
                std::lock_guard lock(m_mutex);
                if (!m_answers.empty()) {
                    answer = std::move(m_answers.front());
                    m_answers.pop_front();
                }
            }
            std::string_view rest = answer;
            while (!rest.empty()) {
                const ssize_t n = ::send(conn, rest.data(), rest.size(), MSG_NOSIGNAL);
                if (n <= 0) break;
                rest.remove_prefix(static_cast<std::size_t>(n));
            }
            // The request has been read whole, so closing sends an orderly end, not a reset.
            ::shutdown(conn, SHUT_WR);
            ::close(conn);
            std::lock_guard lock(m_mutex);
            m_requests.push_back(head);
            m_done.notify_all();
        }
    }

    static std::string readHead(int conn)
    {
        std::string head;
        char buf[4096];
        pollfd p{conn, POLLIN, 0};
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 &&
               ::poll(&p, 1, 5000) > 0) {
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n <= 0) break;
            head.append(buf, static_cast<std::size_t>(n));
        }
        return head;
    }

    int m_fd = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<std::string> m_answers;
    std::vector<std::string> m_requests;
};

// Only the headers the client documents, each on a line of its own.
void checkRequest(const std::string& head)
{
    FUZZ_CHECK(head.starts_with("GET /page HTTP/1.1\r\n"));
    FUZZ_CHECK(head.ends_with("\r\n\r\n"));
    std::size_t at = head.find("\r\n") + 2;
    while (at + 2 < head.size()) {
        const std::size_t end = head.find("\r\n", at);
        const std::string_view line = std::string_view(head).substr(at, end - at);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
        FUZZ_CHECK(line.starts_with("Host: ") || line.starts_with("Accept: ") ||
                   line.starts_with("User-Agent: ") || line.starts_with("Cookie: "));
        at = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_http_answer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    static AnswerServer* server = new AnswerServer;
    (void)app;

    const std::string_view answer = fuzz::bytesOf(data, size);
    server->queue(std::string(answer));
    std::size_t requests = 1;
    {
        HttpClient client;
        try {
            const HttpPage page = client.GetPage(server->url());
            FUZZ_CHECK(page.body.size() <= answer.size());
            FUZZ_CHECK(page.contentType.find_first_of("\r\n") == std::string::npos);
        } catch (const HttpError& e) {
            FUZZ_CHECK(*e.what() != '\0');
            // The client reads at most nine digits, so any status line gives a code.
            FUZZ_CHECK(e.statusCode() >= -1 && e.statusCode() <= 999'999'999);
        }
        // Whatever cookies came, the next request carries them on one well-formed line.
        try {
            const HttpPage next = client.GetPage(server->url());
            FUZZ_CHECK(next.body == "ok");
        } catch (const HttpError& e) {
            FUZZ_CHECK(*e.what() != '\0');
        }
        ++requests;
    }
    for (const std::string& head : server->takeRequests(requests))
        if (!head.empty()) checkRequest(head);
    return 0;
}
