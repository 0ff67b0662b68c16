#pragma once
// Runs tests/web/HttpTestServer.py (Python's standard library HTTP server) on a free
// port of 127.0.0.1 for the lifetime of this object.

#include <QProcess>
#include <QStringList>

#include <memory>
#include <string>
#include <string_view>

namespace larkspur::test {

class HttpPythonServer
{
public:
    // throws std::runtime_error when the server does not come up
    HttpPythonServer();
    // Another server script of tests/support, with its arguments.
    HttpPythonServer(const QString& script, const QStringList& args);
    ~HttpPythonServer(); // closes the server's input, then ends it if it lingers

    int port() const { return m_port; }
    std::string url(std::string_view target, std::string_view host = "127.0.0.1") const;

private:
    QProcess m_process;
    int m_port = 0;
};

// The search engine, lyrics and dictionary sites of LyricsSites.py, serving `folder`.
std::unique_ptr<HttpPythonServer> startLyricsSites(const std::string& folder);

} // namespace larkspur::test
