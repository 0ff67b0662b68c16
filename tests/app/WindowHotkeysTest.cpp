// The window's ten global hotkeys: what it registers from the settings, what each press runs,
// the menu switch; and the real player on a private X server answering a typed hotkey.

#include "app/TForm1.h"
#include "app/core/SettingsStore.h"
#include "support/FakeMediaPlayer.h"
#include "support/QuietServices.h"
#include "support/StandInPortal.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace larkspur;
using namespace Qt::StringLiterals;
using larkspur::test::TempDir;

namespace {

// A window system that grants every combination but those listed as taken by others.
struct RecordingBackend : HotKeyBackend
{
    struct Shared
    {
        std::vector<HotKeyValue> held; // in grab order
        std::vector<HotKeyValue> takenElsewhere;
        HotKeyBackend* backend = nullptr;
    };
    explicit RecordingBackend(Shared& s) : shared(s) { s.backend = this; }
    bool grab(std::uint16_t modifiers, std::uint16_t key) override
    {
        const HotKeyValue value = ComposeHotKey(modifiers, key);
        if (std::ranges::count(shared.takenElsewhere, value)) return false;
        shared.held.push_back(value);
        return true;
    }
    bool ungrab(std::uint16_t modifiers, std::uint16_t key) override
    {
        return std::erase(shared.held, ComposeHotKey(modifiers, key)) > 0;
    }
    Shared& shared;
};

class WindowHotkeys : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        services.mp = &mp;
        services.settings = &store;
        test::makeQuiet(services, dir.path(), nullptr);
        services.hotKeyBackend = [this] { return std::make_unique<RecordingBackend>(system); };
    }

    std::unique_ptr<TForm1> open()
    {
        auto f = std::make_unique<TForm1>(services);
        f->FormCreate({}); // no list: the start-up dialog answers "cancelled"
        return f;
    }

    void press(const char* text)
    {
        std::uint16_t modifiers = 0, key = 0;
        SplitHotKey(ParseHotKey(QString::fromLatin1(text), false), modifiers, key);
        system.backend->pressed(modifiers, key);
        QCoreApplication::sendPostedEvents(); // global actions run from the loop
    }

    static std::vector<HotKeyValue> values(std::initializer_list<const char*> texts)
    {
        std::vector<HotKeyValue> out;
        for (const char* t : texts)
            out.push_back(ParseHotKey(QString::fromLatin1(t), false));
        return out;
    }

    TempDir dir;
    test::FakeMediaPlayer mp;
    MapSettingsStore store;
    FormServices services;
    RecordingBackend::Shared system;
};

} // namespace

TEST_F(WindowHotkeys, RegistersTheTenInTableOrderAndEachRunsItsAction)
{
    system.takenElsewhere = values({"Ctrl+Shift+T"});
    auto f = open();
    EXPECT_EQ(system.held, values({"Ctrl+Shift+P", "Ctrl+Shift+N", "Ctrl+Shift+F", "Ctrl+Shift+L",
                                   "Ctrl+Shift+1", "Ctrl+Shift+2", "Ctrl+Shift+E", "Ctrl+Shift+S",
                                   "Ctrl+Shift+C"}));
    EXPECT_EQ(f->hkmng->keys().size(), 9u); // the refused one leaves no record

    const int volume = f->voltr->value();
    press("Ctrl+Shift+1");
    EXPECT_EQ(f->voltr->value(), volume - 10);
    press("Ctrl+Shift+2");
    press("Ctrl+Shift+2");
    EXPECT_EQ(f->voltr->value(), std::min(volume + 10, 100));
    const bool searching = f->srchen->isChecked();
    press("Ctrl+Shift+E");
    EXPECT_NE(f->srchen->isChecked(), searching);
    EXPECT_FALSE(f->isVisible());
    press("Ctrl+Shift+F");
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->areaOpen());
    f->hide();
    press("Ctrl+Shift+S");
    EXPECT_TRUE(f->isVisible());
    press("Ctrl+Alt+S"); // not registered: nothing runs
    press("Ctrl+Shift+C");
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(f->closed());
}

// On Wayland the window binds the ten through the portal, and each id the desktop reports as
// pressed runs its action, as the keys do on X11. The process's session bus is the stand-in's.
TEST_F(WindowHotkeys, EachPortalIdRunsItsActionOnWayland)
{
    test::StandInPortal portal;
    qputenv("DBUS_SESSION_BUS_ADDRESS", portal.address().toUtf8());
    qputenv("WAYLAND_DISPLAY", "wayland-larkspur-test");
    services.hotKeyBackend = nullptr; // the window's own choice
    auto f = open();
    qunsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 5; }, 10000))
        << portal.calls().join(u'\n').toStdString();
    const auto press = [&](const char* id) {
        portal.activate(QString::fromLatin1(id));
        QTest::qWait(100); // the signal comes over the bus
    };
    const int volume = f->voltr->value();
    press("volume-down");
    EXPECT_EQ(f->voltr->value(), volume - 10);
    press("volume-up");
    EXPECT_EQ(f->voltr->value(), volume);
    const bool searching = f->srchen->isChecked();
    press("lyrics-search");
    EXPECT_NE(f->srchen->isChecked(), searching);
    const QString caption = f->Pause1->text();
    press("pause");
    EXPECT_NE(f->Pause1->text(), caption);
    for (const char* id : {"find-song", "translate", "lyrics-catalogue"}) { // each opens its frame
        f->CloseAllFrames();
        press(id);
        EXPECT_TRUE(QTest::qWaitFor([&] { return f->areaOpen(); }, 5000)) << id; // looked up aside
    }
    f->hide();
    press("show");
    EXPECT_TRUE(f->isVisible());
    press("next");
    press("close");
    EXPECT_TRUE(f->closed());
}

TEST_F(WindowHotkeys, TextsAndTheSwitchComeFromTheSettings)
{
    store.values["Hotkey Pause"] = "";               // no hotkey
    store.values["Hotkey Next"] = " alt + f9 ";      // another combination
    store.values["Hotkey Volume up"] = "Ctrl+Foo+2"; // does not parse: nothing
    store.values["Hotkey Volume down"] = "Win+Num -";
    auto f = open();
    EXPECT_EQ(system.held, values({"Alt+F9", "Ctrl+Shift+F", "Ctrl+Shift+T", "Ctrl+Shift+L",
                                   "Win+Num -", "Ctrl+Shift+E", "Ctrl+Shift+S", "Ctrl+Shift+C"}));
    const int volume = f->voltr->value();
    press("Ctrl+Shift+1"); // the default is replaced, so not even the window answers it
    EXPECT_EQ(f->voltr->value(), volume);
    press("Win+Num -");
    EXPECT_EQ(f->voltr->value(), volume - 10);

    // The switch releases all and registers them again, and is kept.
    ASSERT_TRUE(f->Globalhotkeys1->isChecked());
    f->Globalhotkeys1->trigger();
    EXPECT_TRUE(system.held.empty());
    EXPECT_TRUE(f->hkmng->keys().empty());
    EXPECT_EQ(store.values["Global hotkeys"], "0");
    f->Globalhotkeys1->trigger();
    EXPECT_EQ(system.held.size(), 8u);
    EXPECT_EQ(store.values["Global hotkeys"], "1");
    // The window's exit save leaves the texts as the user wrote them.
    ASSERT_TRUE(f->SaveSettings());
    EXPECT_EQ(store.values["Hotkey Next"], " alt + f9 ");
    EXPECT_FALSE(store.values.contains("Hotkey Close"));
}

TEST_F(WindowHotkeys, SwitchedOffInTheSettingsNothingIsRegistered)
{
    store.values["Global hotkeys"] = "0";
    auto f = open();
    EXPECT_TRUE(system.held.empty());
    EXPECT_FALSE(f->Globalhotkeys1->isChecked());
}

namespace {

bool waitFor(const std::function<bool()>& condition, int tenths = 100)
{
    for (int i = 0; i < tenths * 2; ++i) {
        if (condition()) return true;
        QThread::msleep(50);
    }
    return false;
}

int songLines(const std::string& log)
{
    int n = 0;
    for (std::size_t at = 0; (at = log.find(".mp3\r\n", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

} // namespace

TEST(WindowHotkeysOnX11, TypedHotkeysReachTheFirstCopyWhateverTheLockKeys)
{
    const QString binary = u"" LARKSPUR_BINARY_DIR "/larkspur"_s;
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    for (const char* tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    std::string list;
    for (const char* song : {"A - One.mp3", "B - Two.mp3"}) {
        test::makeMp3(dir.file(song), 60.0);
        list += "0|" + dir.file(song) + "\r\n";
    }
    test::writeFile(dir.file("list.txt"), list);

    auto env = QProcessEnvironment::systemEnvironment();
    QProcess x;
    x.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
    ASSERT_TRUE(waitFor([&] { return x.canReadLine() || x.waitForReadyRead(50); }));
    env.insert(u"DISPLAY"_s, u":"_s + QString::fromLatin1(x.readLine().trimmed()));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"LARKSPUR_AUDIO_SINK"_s, u"fakesink"_s);
    env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);

    QProcess player;
    player.setProcessEnvironment(env);
    player.setWorkingDirectory(QString::fromStdString(dir.path()));
    player.start(binary, {QString::fromStdString(dir.file("list.txt"))});
    const std::string log = dir.file("log.txt");
    ASSERT_TRUE(waitFor([&] { return songLines(test::readFile(log)) == 1; }));

    // A second copy on another list: it runs, but the keys stay with the first.
    TempDir other;
    test::makeMp3(other.file("C - Three.mp3"), 60.0);
    test::writeFile(other.file("list.txt"), "0|" + other.file("C - Three.mp3") + "\r\n");
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(other.path()));
    second.start(binary, {QString::fromStdString(other.file("list.txt"))});
    ASSERT_TRUE(second.waitForStarted(5000));
    ASSERT_TRUE(waitFor([&] { return songLines(test::readFile(other.file("log.txt"))) == 1; }));

    const auto press = [&](const QString& keys) {
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        xdotool.start(u"xdotool"_s, {u"key"_s, keys});
        xdotool.waitForFinished(10000);
    };
    press(u"ctrl+shift+n"_s);
    EXPECT_TRUE(waitFor([&] { return songLines(test::readFile(log)) == 2; }))
        << test::readFile(log);
    press(u"Num_Lock"_s); // the lock keys change nothing
    press(u"ctrl+shift+n"_s);
    EXPECT_TRUE(waitFor([&] { return songLines(test::readFile(log)) == 3; }))
        << test::readFile(log);
    press(u"Num_Lock"_s);
    EXPECT_EQ(songLines(test::readFile(other.file("log.txt"))), 1);
    EXPECT_EQ(second.state(), QProcess::Running);

    // Ctrl+Shift+C closes the first copy as its window's close does: fade, two exit lines.
    press(u"ctrl+shift+c"_s);
    EXPECT_TRUE(player.waitForFinished(10000));
    const std::string ended = test::readFile(log);
    EXPECT_NE(ended.rfind(" <- EXIT\r\n <- EXIT\r\n"), std::string::npos) << ended;
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    second.waitForFinished(10000);

    player.terminate();
    player.waitForFinished(10000);
    x.terminate();
    x.waitForFinished(5000);
}
