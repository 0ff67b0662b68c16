// The longest pause of the event loop while https pages are fetched, one new connection
// each, from openssl s_server on 127.0.0.1 with a test CA trusted beside the system bundle.
// First as curl does by default (its CA bundle read for each connection), then through
// HttpClient and the process's one trust store. A 1 ms timer measures the pauses.

#include "support/TickGaps.h"
#include "support/TlsTestServer.h"
#include "web/HttpClient.h"
#include "web/HttpCurlMulti.h"
#include "web/TlsTrust.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kFetches = 10;

// curl's own way: a CA file for the connection, read as it starts.
bool fetchPerConnection(const std::string& url, const std::string& bundle)
{
    larkspur::HttpCurlMulti multi;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO, bundle.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION,
                     +[](char*, size_t size, size_t n, void*) { return size * n; });
    QEventLoop loop;
    CURLcode result = CURLE_FAILED_INIT;
    multi.add(easy, [&](CURLcode r) {
        result = r;
        loop.quit();
    });
    loop.exec();
    curl_easy_cleanup(easy);
    return result == CURLE_OK;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    larkspur::test::TlsTestServer server(folder + "/server");

    // The system bundle with the test CA appended: curl's default file, as a user would extend it.
    const std::string bundle = folder + "/bundle.pem";
    {
        QFile system(QStringLiteral("/etc/ssl/certs/ca-certificates.crt"));
        QFile ca(QString::fromStdString(server.caFile()));
        QFile out(QString::fromStdString(bundle));
        if (!system.open(QIODevice::ReadOnly) || !ca.open(QIODevice::ReadOnly) ||
            !out.open(QIODevice::WriteOnly)) {
            std::puts("https pause: no system CA bundle; skipped");
            return 0;
        }
        out.write(system.readAll() + ca.readAll());
    }

    int failed = 0;
    qint64 before = 0;
    {
        larkspur::test::TickGaps gaps(1);
        for (int i = 0; i < kFetches; ++i)
            failed += !fetchPerConnection(server.url(), bundle);
        before = gaps.longestMs();
    }
    larkspur::addTrustedCertificates(server.caFile());
    qint64 after = 0;
    {
        larkspur::test::TickGaps gaps(1);
        for (int i = 0; i < kFetches; ++i) {
            larkspur::HttpClient client;
            try {
                client.Get(server.url());
            } catch (const std::exception& e) {
                std::printf("fetch failed: %s\n", e.what());
                ++failed;
            }
        }
        after = gaps.longestMs();
    }
    std::printf("longest event-loop pause over %d https fetches: CA bundle read per connection "
                "%lld ms; shared trust store %lld ms (target <= 10)\n",
                kFetches, static_cast<long long>(before), static_cast<long long>(after));
    return failed ? 1 : 0;
}
