// Parse and render of hostile pages (absurd nesting, attributes, sizes, style sheets, broken
// encodings, entities) beside a baseline measured in the same run: an ordinary 100 KB lyrics
// page. For each: the time of parse + render, its ratio to the baseline's time per byte, the
// peak memory it added, and the longest the browser's event loop stood still while
// innerText() waited for it (the window must never stall for more than 50 ms).
// Then the text work that stays on the interface thread with fetched pages (a harvested
// lyrics page decoded and cleaned, a catalogue results page, a dictionary page's section),
// on a 64 MB hostile page beside the ordinary page.
// Last the hostile lyrics sources, each through the entry the window uses, in a process of
// its own: time, peak memory and the longest the event loop stood still, beside the same
// work on an ordinary input measured in the same run. The whole-list fetch counts from its
// start until the window would see its end.

#include "bench/BenchTiming.h"
#include "bench/LoopbackServer.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/WordLookup.h"
#include "lyrics/CataloguePage.h"
#include "lyrics/CleanLyricsPage.h"
#include "lyrics/LrcLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsFetchAll.h"
#include "playback/gst/SongLength.h"
#include "web/HttpFetcher.h"
#include "web/RunAside.h"
#include "tests/support/HostilePages.h"
#include "web/BrowserDocument.h"
#include "web/HtmlCharset.h"
#include "web/HtmlRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

using namespace larkspur;

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Peak resident memory added by work, in MB; negative when the kernel does not let the peak
// be reset. Each page is measured in a process of its own, whose heap holds no earlier
// page's freed memory.
template <typename Work> double peakMb(Work work)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    const long base = statusKb("VmRSS:");
    work();
    const long peak = statusKb("VmHWM:");
    if (base < 0 || peak < 0) return -1;
    return double(peak - base) / 1024.0;
}

// The longest gap between ticks of a 2 ms timer while innerText() of the page runs.
double longestStallMs(const std::string& path)
{
    BrowserDocument browser;
    bool complete = false;
    QObject::connect(&browser, &BrowserDocument::DocumentComplete, [&] { complete = true; });
    browser.Navigate(path);
    while (!complete)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer tick;
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    tick.start();
    sinceTick.start();
    const std::string text = browser.innerText();
    longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
    return longest;
}

struct Result
{
    double ms;
    double mb;
    double stallMs;
    bool leadShown;
};

Result measureHere(const testpages::HostilePage& page, const QString& dir, int runs)
{
    Result r{};
    std::string text;
    r.mb = peakMb([&] { text = renderInnerText(page.bytes, page.headerCharset); });
    r.leadShown = text.find(page.lead) != std::string::npos;
    r.ms = bench::bestOf(runs, [&] { text = renderInnerText(page.bytes, page.headerCharset); });
    const std::string path = QDir(dir).filePath(QStringLiteral("page.html")).toStdString();
    std::ofstream(path, std::ios::binary) << page.bytes;
    r.stallMs = page.headerCharset.empty() ? longestStallMs(path) : -1;
    return r;
}

// `measureHere` run in a process of its own with an application object, whose heap holds no
// earlier measurement's freed memory.
Result forked(const std::function<Result()>& measureHere)
{
    int fds[2];
    if (::pipe(fds) != 0) return {-1, -1, -1, false};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        int argc = 1;
        char name[] = "bench_hostile_pages";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        const Result r = measureHere();
        ::_exit(::write(fds[1], &r, sizeof r) == ssize_t(sizeof r) ? 0 : 1);
    }
    ::close(fds[1]);
    Result r{-1, -1, -1, false};
    if (::read(fds[0], &r, sizeof r) != ssize_t(sizeof r)) r = {-1, -1, -1, false};
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return r;
}

Result measure(const testpages::HostilePage& page, const QString& dir, int runs)
{
    return forked([&] { return measureHere(page, dir, runs); });
}

// `work` while a 2 ms timer ticks: its time, the memory it added at its peak and the
// longest gap between ticks.
Result inChild(const std::function<void()>& work)
{
    return forked([&] {
        Result r{0, 0, 0, true};
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(2);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            r.stallMs = std::max(r.stallMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        tick.start();
        sinceTick.start();
        const auto t = bench::Clock::now();
        r.mb = peakMb(work);
        r.ms = bench::msSince(t);
        r.stallMs = std::max(r.stallMs, double(sinceTick.nsecsElapsed()) / 1e6);
        return r;
    });
}

// Answers every fetch with one body, as a database or catalogue site would.
class OneAnswer : public HttpFetcher
{
  public:
    explicit OneAnswer(std::string body) : m_body(std::move(body)) {}
    HttpPage GetPage(const std::string&, FetchGroup) override { return {m_body, "application/json"}; }
    void Disconnect(FetchGroup) override {}
    void Disconnect() override {}

  private:
    std::string m_body;
};

std::string timedLine(int stamps, std::size_t lineBytes)
{
    std::string lrc;
    for (int i = 0; i < stamps; ++i) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d.%02d]", 10 + i / 6000 % 80, i / 100 % 60, i % 100);
        lrc += stamp;
    }
    return lrc + std::string(lineBytes, 'a') + "\n";
}

std::string databaseRecord(const std::string& lrc)
{
    std::string json;
    for (char c : lrc)
        json += c == '\n' ? std::string("\\n") : std::string(1, c);
    return "{\"duration\":185,\"instrumental\":false,\"plainLyrics\":null,\"syncedLyrics\":\"" + json + "\"}";
}

// A dictionary whose data file is a plain gzip (no dictzip header) of `inflatedMb` MB, one
// headword at its start.
std::string plainGzipDictionary(const QString& dir, int inflatedMb)
{
    const std::string base = QDir(dir).filePath(QStringLiteral("plain%1").arg(inflatedMb)).toStdString();
    std::ofstream(base + ".index") << "word\tA\tC\n"; // offset 0, 2 bytes
    gzFile out = gzopen((base + ".dict.dz").c_str(), "wb1");
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < inflatedMb; ++i)
        gzwrite(out, block.data(), unsigned(block.size()));
    gzclose(out);
    return base;
}

// "Fetch lyrics for all songs" as the window runs it (lengths measured by GStreamer, the
// counts polled by the event loop) over twenty songs against a loopback database; hostile,
// the same list with a FIFO, a device and a folder named like songs among them.
std::function<void()> fetchAllList(const QString& dir, bool hostile)
{
    return [dir, hostile] {
        bench::LoopbackServer server([](const std::string&) {
            return bench::Reply{R"({"instrumental":false,"syncedLyrics":null,"plainLyrics":"la"})"};
        });
        const std::string folder =
            QDir(dir)
                .filePath(hostile ? QStringLiteral("fifo") : QStringLiteral("songs"))
                .toStdString();
        QDir().mkpath(QString::fromStdString(folder));
        std::vector<std::string> songs;
        for (int i = 0; i < 20; ++i)
            std::ofstream(
                songs.emplace_back(folder + "/Artist - Title " + std::to_string(i) + ".mp3"))
                << "not audio";
        if (hostile) {
            songs.insert(songs.begin() + 10, {folder + "/Fifo - Song.mp3", "/dev/zero", folder});
            ::mkfifo(songs[10].c_str(), 0600);
        }
        FetchAllSetup setup;
        setup.host = server.url("");
        setup.store = folder + "/store";
        setup.songLengthMs = [](const std::string& song) { return measureSongLengthMs(song); };
        LyricsFetchAll run(std::move(songs), setup);
        run.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (run.counts().finished) loop.quit();
        });
        poll.start(10);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // a run that never ends
        loop.exec();
        if (!run.counts().finished) std::printf("  (the run did not end in 120 s)\n");
    };
}

void lyricsSources(const QString& dir)
{
    struct Source
    {
        const char* name;
        std::function<void()> ordinary, hostile;
    };
    const std::string smallLrc = timedLine(3, 40), fanOut = timedLine(10000, 100 * 1024);
    const std::string smallRecord = databaseRecord(smallLrc);
    std::string bigRecord = databaseRecord(fanOut);
    bigRecord.insert(1, "\"padding\":\"" + std::string(64 * 1024 * 1024 - bigRecord.size(), ' ') + "\",");
    const std::string smallCatalogue = "von insgesamt <b>7</b> Ergebnisse <b>1-7</b>";
    const std::string bigCatalogue = "von insgesamt <b>7</b> Ergebnisse <b>" + std::string(30 << 20, 'r');
    const std::string smallDict = plainGzipDictionary(dir, 1), bigDict = plainGzipDictionary(dir, 1024);
    const auto database = [](const std::string& body) {
        return [body] {
            OneAnswer http(body);
            LyricsDatabase db(http, "http://127.0.0.1:9");
            const auto got = db.Lookup({"Artist", "Title", std::nullopt});
            if (got) LrcLyrics::parse(got->text); // shown as timed lyrics
        };
    };
    const auto catalogue = [](const std::string& page) {
        return [&page] { runAside(page.size(), [&page] { return parseCataloguePage(page); }); };
    };
    const auto dictionary = [](const std::string& base) {
        return [base] {
            runAside(kRunAsideBytes, [&base] {
                const auto dict = DictdDictionary::open(base);
                return dict ? dict->lookup("word").size() : 0;
            });
        };
    };
    const Source sources[] = {
        {"timed lyrics: 10,000 stamps on a 100 KB line", [&] { LrcLyrics::parse(smallLrc); },
         [&] { LrcLyrics::parse(fanOut); }},
        {"database answer of 64 MB, the same lyrics", database(smallRecord), database(bigRecord)},
        {"  its fetch alone (the copy a fake server makes)",
         [&] { OneAnswer(smallRecord).GetPage({}, FetchGroup::LyricsDatabase); },
         [&] { OneAnswer(bigRecord).GetPage({}, FetchGroup::LyricsDatabase); }},
        {"catalogue range without its end, 30 MB", catalogue(smallCatalogue), catalogue(bigCatalogue)},
        {"plain gzip dictionary, 1 GB inflated", dictionary(smallDict), dictionary(bigDict)},
        {"fetch-all, a list holding a FIFO", fetchAllList(dir, false), fetchAllList(dir, true)},
    };
    std::printf("\n%-46s %10s %10s %9s %9s %12s\n", "lyrics source", "base ms", "ms", "peak MB",
                "stall ms", "base stall");
    for (const Source& source : sources) {
        const Result base = inChild(source.ordinary);
        const Result r = inChild(source.hostile);
        std::printf("%-46s %10.1f %10.1f %9.1f %9.1f %12.1f\n", source.name, base.ms, r.ms, r.mb,
                    r.stallMs, base.stallMs);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    // "sources": the lyrics sources alone.
    if (argc > 1 && std::string(argv[1]) == "sources") {
        lyricsSources(dir.path());
        return 0;
    }
    const testpages::HostilePage ordinary{
        "ordinary 100 KB page", testpages::ordinaryPage(), {}, testpages::kLead, {}};
    const Result base = measure(ordinary, dir.path(), 20);
    const double baseMsPerMb = base.ms / (double(ordinary.bytes.size()) / 1e6);
    std::printf("%-46s %9s %8s %9s %9s %9s %5s\n", "page", "MB in", "ms", "x base/MB", "peak MB",
                "stall ms", "lead");
    const auto row = [&](const testpages::HostilePage& page, const Result& r) {
        const double mbIn = double(page.bytes.size()) / 1e6;
        std::printf("%-46s %9.2f %8.1f %9.2f %9.1f %9.1f %5s\n", page.name, mbIn, r.ms,
                    (r.ms / mbIn) / baseMsPerMb, r.mb, r.stallMs, r.leadShown ? "yes" : "NO");
        std::fflush(stdout);
    };
    row(ordinary, base);
    for (const testpages::HostilePage& page : testpages::hostilePages())
        row(page, measure(page, dir.path(), 3));
    std::printf("x base/MB: time per input MB against the ordinary page's; stall: the longest "
                "the event loop stood still during innerText() (-1: header charset only)\n\n");

    // A 64 MB page of script blocks, class tags, row markers without ends and entities.
    const std::string hostile = testpages::pageAround(
        "", testpages::repeat("<script>x</script><class a>margin-left:5px&amp;"
                              "ENGLISCH DEUTSCH .............\n",
                              64 * 1024 * 1024 / 80));
    struct Work
    {
        const char* name;
        std::function<size_t(const std::string&)> run;
    };
    const Work works[] = {
        {"harvested page decoded and cleaned",
         [](const std::string& p) { return CleanLyricsPage(htmlPageToUtf8(p, "")).size(); }},
        {"catalogue results page",
         [](const std::string& p) { return parseCataloguePage(p).rows.size(); }},
        {"dictionary section of the page's text",
         [](const std::string& p) { return translationSection(p).size(); }},
    };
    std::printf("%-40s %12s %12s %9s\n", "interface-thread work", "ordinary ms", "64 MB ms",
                "x base/MB");
    for (const Work& w : works) {
        const double baseMs = bench::bestOf(20, [&] { w.run(ordinary.bytes); });
        const double ms = bench::bestOf(3, [&] { w.run(hostile); });
        std::printf("%-40s %12.2f %12.1f %9.2f\n", w.name, baseMs, ms,
                    (ms / double(hostile.size())) / (baseMs / double(ordinary.bytes.size())));
    }
    lyricsSources(dir.path());
    return 0;
}
