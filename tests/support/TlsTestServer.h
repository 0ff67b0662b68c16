#pragma once
// `openssl s_server -www` on 127.0.0.1 with a certificate from a certificate authority of
// its own, made in `folder`: caFile() is that authority's certificate. Each answer is an
// HTTP status page, and the server closes the connection after it.

#include <QProcess>

#include <string>

namespace larkspur::test {

class TlsTestServer
{
  public:
    explicit TlsTestServer(const std::string& folder);
    ~TlsTestServer();
    std::string url() const { return "https://127.0.0.1:" + std::to_string(m_port) + "/"; }
    std::string caFile() const { return m_folder + "/ca.pem"; }

  private:
    std::string m_folder;
    QProcess m_server;
    int m_port = 0;
};

} // namespace larkspur::test
