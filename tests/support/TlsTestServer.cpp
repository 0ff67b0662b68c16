#include "support/TlsTestServer.h"

#include <QDir>

#include <stdexcept>
#include <vector>

namespace larkspur::test {

namespace {

QStringList argsOf(const std::vector<std::string>& args)
{
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    return list;
}

void openssl(const QString& folder, const std::vector<std::string>& args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral("openssl"), argsOf(args));
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        throw std::runtime_error("openssl " + args.front() + " failed: " +
                                 p.readAllStandardError().toStdString());
}

} // namespace

TlsTestServer::TlsTestServer(const std::string& folder) : m_folder(folder)
{
    const QString dir = QString::fromStdString(folder);
    QDir().mkpath(dir);
    openssl(dir, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                  "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                  "/CN=Loopback Test CA"});
    openssl(dir, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                  "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"});
    QFile ext(dir + QStringLiteral("/server.ext"));
    if (!ext.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write server.ext");
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                  "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext"});

    m_server.setWorkingDirectory(dir);
    m_server.start(QStringLiteral("openssl"),
                   argsOf({"s_server", "-accept", "127.0.0.1:0", "-cert", "server.pem", "-key",
                           "server.key", "-www"}));
    while (m_server.waitForReadyRead(10000)) {
        while (m_server.canReadLine()) {
            const QByteArray line = m_server.readLine().trimmed();
            if (line.startsWith("ACCEPT ")) {
                m_port = line.mid(line.lastIndexOf(':') + 1).toInt();
                return;
            }
        }
    }
    throw std::runtime_error("openssl s_server did not start");
}

TlsTestServer::~TlsTestServer()
{
    m_server.kill();
    m_server.waitForFinished();
}

} // namespace larkspur::test
