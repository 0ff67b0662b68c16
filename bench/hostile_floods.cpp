// Floods of global actions (hotkeys, the portal, MPRIS) on the window, each press arriving as
// an event of its own as a bus or a held key delivers them: how long until all are handled,
// the peak resident memory they add, the longest pause of a 10 ms timer meanwhile and how
// deep global actions ran inside each other. The baseline is the same timer on an idle
// event loop for one second, measured in the same run.

#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "lyrics/LyricsSearch.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/TickGaps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

using namespace larkspur;

namespace {

std::size_t peakResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stoul(line.substr(6));
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool spinUntil(const std::function<bool()>& done, int limitMs = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// Answers every request after `delayMs` with a 404, as the lyrics database does for a song
// it does not know; on a thread of its own.
class SlowServer
{
  public:
    explicit SlowServer(int delayMs)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_fd, 16);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        std::thread([fd = m_fd, delayMs] {
            for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0;) {
                char request[4096];
                [[maybe_unused]] const auto got = ::recv(client, request, sizeof request, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                const char answer[] = "HTTP/1.1 404 Not Found\r\nContent-Type: application/json"
                                      "\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
                [[maybe_unused]] const auto sent = ::send(client, answer, sizeof answer - 1, 0);
                ::close(client);
            }
        }).detach();
    }
    int port() const { return m_port; }

  private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / "larkspur-bench-floods";
    std::filesystem::create_directories(dir);
    const std::string song = dir + "/The Band - Some Song.mp3";
    std::ofstream(song) << "x";
    std::string lyrics;
    while (lyrics.size() < 200 * 1024)
        lyrics += "A line of lyrics long enough to make the file large\r\n";
    std::ofstream(dir + "/The Band - Some Song.lyr") << lyrics << "end";
    std::ofstream(dir + "/list.txt") << "0|" << song << "\r\n";
    SlowServer database(1000);
    qputenv("LARKSPUR_LYRICS_DB_URL",
            ("http://127.0.0.1:" + std::to_string(database.port())).c_str());
    qputenv("LARKSPUR_DICTIONARY_URL", "http://127.0.0.1:1");
    qputenv("LARKSPUR_SEARCH_URL", "http://127.0.0.1:1");
    qputenv("LARKSPUR_DICTD_DIR", dir.c_str());

    test::FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    services.mp = &mp;
    services.settings = &store;
    test::makeQuiet(services, dir, nullptr);
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(dir + "/list.txt")});
    spinUntil([&] { return !form.lyricsSearch().readingFiles(); });

    qint64 baseline = 0;
    {
        test::TickGaps idle;
        spinUntil([] { return false; }, 1000);
        baseline = idle.longestMs();
    }
    std::printf("baseline: longest gap of a 10 ms timer on an idle loop for 1 s: %lld ms\n",
                static_cast<long long>(baseline));
    std::printf("%-34s %8s %8s %9s %7s %7s\n", "case", "presses", "ended ms", "+peak MB", "gap ms",
                "deepest");

    const auto keys = [](std::initializer_list<const char*> texts) {
        std::vector<HotKeyValue> values;
        for (const char* t : texts)
            values.push_back(ParseHotKey(QString::fromLatin1(t), false));
        return values;
    };
    struct Case
    {
        const char* name;
        std::vector<HotKeyValue> keys;
        bool duringFetch;
    };
    const Case cases[] = {
        {"lyrics search, 200 KB lyrics file", keys({"Ctrl+Shift+E"}), false},
        {"translate, no dictionary", keys({"Ctrl+Shift+T"}), false},
        {"eight actions during a 1 s fetch",
         keys({"Ctrl+Shift+P", "Ctrl+Shift+N", "Ctrl+Shift+F", "Ctrl+Shift+T", "Ctrl+Shift+L",
               "Ctrl+Shift+1", "Ctrl+Shift+2", "Ctrl+Shift+E"}),
         true},
    };
    constexpr int kPresses = 10000;
    for (const Case& c : cases) {
        spinUntil([] { return false; }, 200);
        resetPeak();
        const std::size_t before = peakResidentKb();
        int handled = 0;
        if (c.duringFetch) form.Lyricsdatabase1Click();
        test::TickGaps gaps;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kPresses; ++i) {
            const HotKeyValue key = c.keys[i % c.keys.size()];
            QMetaObject::invokeMethod(
                &form,
                [&form, &handled, key] {
                    emit form.hkmng->OnHotKeyPressed(key, 0);
                    ++handled;
                },
                Qt::QueuedConnection);
        }
        const bool ended = spinUntil([&] {
            return handled == kPresses && form.globalActions->held() == 0 &&
                   !form.lyricsSearch().readingFiles() && !form.lyricsSearch().databaseWaiting();
        });
        std::printf("%-34s %8d %8lld %9.1f %7lld %7d%s\n", c.name, kPresses,
                    static_cast<long long>(clock.elapsed()),
                    static_cast<double>(peakResidentKb() - before) / 1024.0,
                    static_cast<long long>(gaps.longestMs()), form.globalActions->deepest(),
                    ended ? "" : "  (did not end within 60 s)");
        form.CloseAllFrames();
    }
    std::filesystem::remove_all(dir);
    return 0;
}
