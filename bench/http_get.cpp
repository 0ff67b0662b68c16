// 1,000 sequential Get calls of a 50 KB page from a loopback server over one kept-alive
// connection, beside the curl command line fetching the same URLs in one invocation.
// Also prints how late a 10 ms timer runs at worst while a slow page arrives.

#include "bench/LoopbackServer.h"
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
    std::string page;
    for (std::size_t i = 0; page.size() < kPageBytes; ++i)
        page += static_cast<char>('a' + i % 26);
    // "/slow..." sends the page in 20 pieces 25 ms apart, anything else at once.
    larkspur::bench::LoopbackServer server([&page](const std::string& target) {
        return target.rfind("/slow", 0) == 0 ? larkspur::bench::Reply{page, 20, 25}
                                              : larkspur::bench::Reply{page};
    });
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
