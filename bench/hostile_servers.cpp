// Every hostile loopback server against each fetch path (HttpClient::Get, the browser's
// navigation, the lyrics database lookup): how long each fetch takes to end, the peak
// resident memory it adds, and the longest pause of a 10 ms timer meanwhile. The baseline
// is the same timer on an idle event loop for one second, measured in the same run. The
// browser's figures end with its load; parsing the page afterwards is not counted.
// Limits are short (idle 2 s, total 5 s) so the run takes minutes, not hours; the caps
// are the defaults. Last a publication against a challenge with a 10 MB prefix beside an
// ordinary one, and how soon the solver stops at a cancel with such a prefix.

#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsPublication.h"
#include "support/HostileServers.h"
#include "support/TickGaps.h"
#include "web/BrowserDocument.h"
#include "web/HttpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

using namespace larkspur;
using namespace std::chrono_literals;

namespace {

struct Run
{
    qint64 endedMs = 0;
    double addedMb = 0;
    qint64 gapMs = 0;
    std::string outcome;
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

Run measure(const std::function<std::string()>& fetch)
{
    spin(50); // let the previous case's clean-up run outside the measurement
    test::resetPeakResident();
    const std::size_t before = test::peakResidentBytes();
    test::TickGaps gaps;
    QElapsedTimer clock;
    clock.start();
    Run run;
    run.outcome = fetch();
    run.endedMs = clock.elapsed();
    run.gapMs = gaps.longestMs();
    run.addedMb = static_cast<double>(test::peakResidentBytes() - before) / (1024.0 * 1024.0);
    for (char& c : run.outcome)
        if (c == '\r' || c == '\n') c = ' ';
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    FetchLimits limits = HttpClient::defaultLimits();
    limits.connect = 2s;
    limits.idle = 2s;
    limits.total = 5s;
    FetchLimits browserLimits = BrowserDocument::defaultLimits();
    browserLimits.connect = limits.connect;
    browserLimits.idle = limits.idle;
    browserLimits.total = limits.total;
    const test::HostileSizes sizes;  // 1 byte a second, 200 MB body, 200 MB decoded bomb
    test::gzipBomb(sizes.bombBytes); // made before timing

    test::TickGaps idle;
    spin(1000);
    const qint64 baselineGap = idle.longestMs();
    std::printf("baseline: longest gap of a 10 ms timer on an idle loop for 1 s: %lld ms\n",
                static_cast<long long>(baselineGap));
    std::printf("limits: connect %s, idle %s, total %s, header %s, body %s (page %s)\n",
                limitText(limits.connect).c_str(), limitText(limits.idle).c_str(),
                limitText(limits.total).c_str(), limitText(limits.headerBytes).c_str(),
                limitText(limits.bodyBytes).c_str(), limitText(browserLimits.bodyBytes).c_str());
    std::printf("%-20s %-9s %8s %9s %7s %6s  %s\n", "case", "path", "ended ms", "+peak MB",
                "gap ms", "xbase", "outcome");

    qint64 worstGap = 0;
    // Arguments, if any, name the cases to run.
    const QStringList only = app.arguments().mid(1);
    for (const test::HostileCase& hostile : test::hostileCases(sizes)) {
        if (!only.isEmpty() && !only.contains(QString::fromStdString(hostile.name))) continue;
        test::HttpRawServer server(hostile.handler);
        const std::string url = test::hostileUrl(server, hostile);
        const auto print = [&](const char* path, Run r) {
            if (r.outcome.size() > 60) r.outcome = r.outcome.substr(0, 57) + "...";
            worstGap = std::max(worstGap, r.gapMs);
            std::printf("%-20s %-9s %8lld %9.1f %7lld %6.1f  %s\n", hostile.name.c_str(), path,
                        static_cast<long long>(r.endedMs), r.addedMb,
                        static_cast<long long>(r.gapMs),
                        static_cast<double>(r.gapMs) /
                            static_cast<double>(std::max<qint64>(1, baselineGap)),
                        r.outcome.c_str());
            std::fflush(stdout);
        };
        print("Get", measure([&] {
                  HttpClient client(limits);
                  try {
                      return "body of " + std::to_string(client.Get(url).size()) + " bytes";
                  } catch (const HttpError& e) {
                      return std::string(e.what());
                  }
              }));
        // Parsing the page is the document's work, not the network's: done after timing.
        BrowserDocument browser;
        browser.setLimits(browserLimits);
        Run loaded = measure([&] {
            std::string error = "no error";
            QObject::connect(&browser, &BrowserDocument::NavigateComplete2, &browser,
                             [&] { browser.navtout().stop(); });
            QObject::connect(&browser, &BrowserDocument::NavigateError, &browser,
                             [&](const QString&, const QString& m) { error = m.toStdString(); });
            browser.Navigate(url);
            QElapsedTimer clock;
            clock.start();
            while (browser.isLoading() && clock.elapsed() < 60000)
                spin(10);
            return error;
        });
        loaded.outcome += "; page of " + std::to_string(browser.innerHTML().size()) + " bytes";
        print("browser", loaded);
        print("database", measure([&] {
                  HttpClient client(limits);
                  LyricsDatabase db(client, url.substr(0, url.find("/page")));
                  const auto found = db.Lookup({"artist", "title", 200'000});
                  return found ? found->why : std::string("(cancelled)");
              }));
    }
    // Publishing against a challenge whose prefix is 10 MB, beside an ordinary one: the whole
    // publication runs beside the loop; then the solver handed such a prefix, cancelled.
    const std::string tenMb(10u * 1024 * 1024, 'p');
    for (const auto& [name, prefix] : {std::pair{"ordinary challenge", std::string(32, 'p')},
                                       std::pair{"10 MB prefix", tenMb}}) {
        if (!only.isEmpty() && !only.contains(QString::fromUtf8(name))) continue;
        // Made before timing: the server's copy is not the publication's memory.
        const std::string challenge =
            "{\"prefix\":\"" + prefix + "\",\"target\":\"00" + std::string(62, 'F') + "\"}";
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(challenge.size()) + "\r\n\r\n";
        test::HttpRawServer server([&](test::HttpRawConnection& c) {
            while (const auto request = c.readRequest()) {
                if (!request->starts_with("POST /api/request-challenge")) {
                    c.send("HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
                } else if (!c.send(head) || !c.send(challenge)) {
                    return;
                }
            }
        });
        const Run r = measure([&] {
            std::atomic<bool> ended = false;
            std::string text;
            PublishSetup setup;
            setup.host = server.url("");
            setup.ended = [&](const PublishEnd& end) {
                text = end.text;
                ended = true;
            };
            LyricsPublication publication({"A", "T", "", 185'000, "la", "[00:01.00]la"}, setup);
            publication.start();
            while (!ended)
                spin(10);
            return text;
        });
        worstGap = std::max(worstGap, r.gapMs);
        std::printf("%-20s %-9s %8lld %9.1f %7lld %6.1f  %s\n", name, "publish",
                    static_cast<long long>(r.endedMs), r.addedMb, static_cast<long long>(r.gapMs),
                    static_cast<double>(r.gapMs) /
                        static_cast<double>(std::max<qint64>(1, baselineGap)),
                    r.outcome.substr(0, 60).c_str());
    }
    if (only.isEmpty() || only.contains(QStringLiteral("10 MB prefix"))) {
        std::atomic<bool> cancel = false;
        QElapsedTimer clock;
        std::thread solver([&] { solveChallenge({tenMb, std::string(64, '0')}, cancel); });
        spin(500);
        clock.start();
        cancel = true;
        solver.join();
        std::printf("%-20s %-9s cancel to stop: %lld ms (goal 100 ms)\n", "10 MB prefix", "solve",
                    static_cast<long long>(clock.elapsed()));
    }
    std::printf("longest gap of all: %lld ms (goal 50 ms; baseline %lld ms)\n",
                static_cast<long long>(worstGap), static_cast<long long>(baselineGap));
    return 0;
}
