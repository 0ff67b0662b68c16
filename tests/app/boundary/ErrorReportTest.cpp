// Errors that leave a handler, with the program's own application object: every way Qt
// delivers work to the window reports the error and the music goes on.

#include "app/ErrorReport.h"
#include "app/TForm1.h"
#include "app/core/HotKeyText.h"
#include "app/core/Mpris.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/SessionBus.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

using namespace larkspur;
using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

// Fails the named call once, as a back-end or a bug might.
struct FailingPlayer : test::FakeMediaPlayer
{
    std::string failNext; // "position", "volume"
    long long positionMs() override
    {
        fail("position");
        return FakeMediaPlayer::positionMs();
    }
    void setVolume(int v) override
    {
        fail("volume");
        FakeMediaPlayer::setVolume(v);
    }
    void fail(const std::string& call)
    {
        if (failNext != call) return;
        failNext.clear();
        throw std::runtime_error("The sound device failed at " + call + ".");
    }
};

struct NullBackend : HotKeyBackend
{
    bool grab(std::uint16_t, std::uint16_t) override { return true; }
    bool ungrab(std::uint16_t, std::uint16_t) override { return true; }
};

std::vector<std::string> g_reports;

bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(10);
    return done();
}

} // namespace

TEST(ErrorReport, EveryEntryIsReportedAndTheMusicGoesOn)
{
    test::SessionBus daemon;
    const bool bus = !daemon.address().isEmpty() &&
                     !QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty();
    if (bus) qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.address().toUtf8());

    TempDir dir;
    std::string list;
    for (const char* name : {"A - One.mp3", "B - Two.mp3"}) {
        writeFile(dir.file(name), "x");
        list += "0|" + dir.file(name) + "\r\n";
    }
    writeFile(dir.file("list.txt"), list);
    FailingPlayer mp;
    MapSettingsStore store;
    FormServices services;
    services.mp = &mp;
    services.settings = &store;
    test::makeQuiet(services, dir.path(), nullptr);
    NullBackend* hotkeys = nullptr;
    services.hotKeyBackend = [&hotkeys] {
        auto b = std::make_unique<NullBackend>();
        hotkeys = b.get();
        return b;
    };
    TForm1 form(services);
    form.FormCreate({QString::fromStdString(dir.file("list.txt"))});
    form.show();
    MprisService mpris(form.mprisControl());
    const bool registered = bus && mpris.registerOnSessionBus();
    ASSERT_EQ(mp.mode(), PlayerMode::Playing);
    Application::setReport([](const std::string& text) { g_reports.push_back(text); });

    struct Case
    {
        const char* entry;
        std::string fails;
        std::function<void()> deliver;
    };
    const Case cases[] = {
        {"the song-end timer", "position", [] {}},
        {"a toolbar click", "volume", [&] { QTest::mouseClick(form.JvxSpeedButton8, Qt::LeftButton); }},
        {"a global hotkey", "volume",
         [&] {
             std::uint16_t modifiers = 0, key = 0;
             SplitHotKey(ParseHotKey(QStringLiteral("Ctrl+Shift+N"), false), modifiers, key);
             ASSERT_TRUE(hotkeys && hotkeys->pressed);
             hotkeys->pressed(modifiers, key);
         }},
        {"a session bus call", "volume",
         [&] {
             QProcess::startDetached(QStringLiteral("gdbus"),
                                     {QStringLiteral("call"), QStringLiteral("--session"),
                                      QStringLiteral("--dest"), QStringLiteral("org.mpris.MediaPlayer2.larkspur"),
                                      QStringLiteral("--object-path"), QStringLiteral("/org/mpris/MediaPlayer2"),
                                      QStringLiteral("--method"),
                                      QStringLiteral("org.mpris.MediaPlayer2.Player.Next")});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        if (std::string(c.entry) == "a session bus call" && !registered) continue;
        g_reports.clear();
        mp.failNext = c.fails;
        c.deliver();
        ASSERT_TRUE(waitFor([] { return !g_reports.empty(); }));
        EXPECT_EQ(g_reports.front(), "The sound device failed at " + c.fails + ".");
        // The rest of that handler did not run, and the window goes on: a song that ends is
        // followed by the next.
        ASSERT_TRUE(waitFor([&] { return !form.fadetmr->isActive(); }));
        const int starts = mp.starts;
        mp.finish();
        EXPECT_TRUE(waitFor([&] { return mp.starts > starts; })) << "no song after the error";
        EXPECT_EQ(mp.mode(), PlayerMode::Playing);
    }
    Application::setReport(nullptr);
}

// Work delivered without a window: a socket notifier (as curl's are) and a queued call.
// With no hook the report is an error box, one per text while it is open.
TEST(ErrorReport, ShownInOneBoxPerText)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    QSocketNotifier notifier(fds[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] auto n = ::read(fds[1], &byte, 1);
        throw std::runtime_error("The answer could not be read.");
    });
    for (int i = 0; i < 2; ++i) {
        [[maybe_unused]] auto n = ::write(fds[0], "x", 1);
        QMetaObject::invokeMethod(qApp, [] { throw std::bad_alloc(); }, Qt::QueuedConnection);
        QTest::qWait(100);
    }
    std::map<QString, int> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Larkspur"));
            EXPECT_EQ(box->icon(), QMessageBox::Critical);
            ++boxes[box->text()];
        }
    EXPECT_EQ(boxes, (std::map<QString, int>{{QStringLiteral("The answer could not be read."), 1},
                                              {QStringLiteral("Out of memory."), 1}}));
    ::close(fds[0]);
    ::close(fds[1]);

    // Before the event loop the report ends the start.
    std::string fatal;
    EXPECT_FALSE(runStartStep([] { throw std::runtime_error("No list."); },
                              [&](const std::string& text) { fatal = text; }));
    EXPECT_EQ(fatal, "No list.");
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("LARKSPUR_LYRICS_DB_URL", "http://127.0.0.1:1");
    ::testing::InitGoogleTest(&argc, argv);
    Application app(argc, argv);
    return RUN_ALL_TESTS();
}
