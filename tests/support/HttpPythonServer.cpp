#include "support/HttpPythonServer.h"

#include <QStringList>

#include <stdexcept>

namespace larkspur::test {

HttpPythonServer::HttpPythonServer()
    : HttpPythonServer(QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/web/HttpTestServer.py"), {})
{}

HttpPythonServer::HttpPythonServer(const QString& script, const QStringList& args)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), QStringList{script} + args);
    if (!m_process.waitForStarted(10000)) throw std::runtime_error("python3 did not start");
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000))
            throw std::runtime_error("the test HTTP server did not report its port");
    }
    m_port = m_process.readLine().trimmed().toInt();
    if (m_port <= 0) throw std::runtime_error("the test HTTP server reported no port");
}

HttpPythonServer::~HttpPythonServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

std::string HttpPythonServer::url(std::string_view target, std::string_view host) const
{
    return "http://" + std::string(host) + ":" + std::to_string(m_port) + std::string(target);
}

std::unique_ptr<HttpPythonServer> startLyricsSites(const std::string& folder)
{
    return std::make_unique<HttpPythonServer>(
        QStringLiteral(LARKSPUR_SOURCE_DIR "/tests/support/LyricsSites.py"),
        QStringList{QString::fromStdString(folder)});
}

} // namespace larkspur::test
