// The real program on a private X desktop (Xvfb and openbox, with or without trayer): what
// the window manager is told about the main window and a dialog, read back with xprop.

#include "app/core/QSettingsStore.h"
#include "support/HttpRawServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;
using larkspur::test::TempDir;

using larkspur::test::waitFor;

namespace {

// A private X server and window manager, and a tray if asked; all stopped at the end.
// Children get no session bus, so the only tray is the X one started here.
class Desktop
{
  public:
    ~Desktop()
    {
        for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) (*it)->kill(), (*it)->waitForFinished(2000);
        }
    }

    // Empty when the desktop is up, else what did not start.
    std::string start(bool withTray)
    {
        QProcess& x = spawn(u"Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp"_s);
        if (!waitFor([&] { return x.canReadLine() || x.waitForReadyRead(50); })) return "Xvfb";
        m_display = u":"_s + QString::fromLatin1(x.readLine().trimmed());
        // Openbox runs its start-up command once it manages windows; a window mapped
        // earlier can be missed.
        const QString ready = QString::fromStdString(m_dir.file("wm-ready"));
        spawn(u"openbox --startup \"touch '"_s + ready + u"'\""_s);
        if (!waitFor([&] { return QFileInfo::exists(ready); })) return "openbox";
        if (!withTray) return {};
        spawn(u"trayer --edge top --align right --widthtype request --height 24"_s);
        // Once its panel is managed, trayer has set up the tray.
        return waitFor([&] { return !clients(u"\"trayer\""_s).isEmpty(); }) ? "" : "trayer";
    }

    QProcess& spawn(const QString& command, const QString& dir = {})
    {
        m_children.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_children.back();
        p.setProcessEnvironment(env());
        p.setWorkingDirectory(dir);
        QStringList args = QProcess::splitCommand(command);
        p.start(args.takeFirst(), args);
        p.waitForStarted(5000);
        return p;
    }

    // Runs a tool on this display to its end; returns what it printed.
    QString run(const QString& command) const
    {
        QProcess p;
        p.setProcessEnvironment(env());
        QStringList args = QProcess::splitCommand(command);
        p.start(args.takeFirst(), args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // A window property as xprop prints it after " = ", or empty when it is not set.
    QString prop(const QString& window, const QString& name) const
    {
        const QString out = run(u"xprop -id "_s + window + u' ' + name);
        const auto at = out.indexOf(u" = "_s);
        return at < 0 ? QString() : out.mid(at + 3);
    }

    // The managed windows whose WM_CLASS holds `cls`.
    QStringList clients(const QString& cls) const
    {
        const QString list = run(u"xprop -root _NET_CLIENT_LIST"_s);
        QStringList found;
        if (!list.contains(u'#')) return found;
        for (const QString& w : list.section(u'#', 1).split(u',', Qt::SkipEmptyParts))
            if (prop(w.trimmed(), u"WM_CLASS"_s).contains(cls)) found << w.trimmed();
        return found;
    }

    QString title(const QString& window) const { return prop(window, u"_NET_WM_NAME"_s); }

    // "WIDTHxHEIGHT" of a window as xdotool reports it.
    QString size(const QString& window) const
    {
        return run(u"xdotool getwindowgeometry "_s + window).section(u"Geometry: "_s, 1).trimmed();
    }

    // Where a window stands on the screen, as xdotool reports it.
    QRect rect(const QString& window) const
    {
        std::map<QString, int> v;
        for (const QString& line :
             run(u"xdotool getwindowgeometry --shell "_s + window).split(u'\n'))
            v[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
        return {v[u"X"_s], v[u"Y"_s], v[u"WIDTH"_s], v[u"HEIGHT"_s]};
    }

    // Set for the children started after it.
    void setEnv(const QString& name, const QString& value) { m_extra.insert(name, value); }

  private:
    QProcessEnvironment env() const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"LARKSPUR_AUDIO_SINK"_s, u"fakesink"_s);
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        env.insert(m_extra);
        return env;
    }

    TempDir m_dir;
    QString m_display;
    QProcessEnvironment m_extra;
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace

TEST(WindowOnDesktop, TrayIsTheWindowsOnlyPlaceAndDialogsKeepTheirTitles)
{
    const QString binary = u"" LARKSPUR_BINARY_DIR "/larkspur"_s;
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    for (const char* tool : {"Xvfb", "openbox", "trayer", "xprop", "xwininfo", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    larkspur::test::makeMp3(dir.file("Band - Song.mp3"), 5.0);
    larkspur::test::writeFile(dir.file("list.txt"), "0|" + dir.file("Band - Song.mp3") + "\r\n");

    for (bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "with a tray" : "without a tray");
        Desktop desktop;
        ASSERT_EQ(desktop.start(tray), "");
        QProcess& player =
            desktop.spawn(binary + u" \""_s + QString::fromStdString(dir.file("list.txt")) + u'"',
                          QString::fromStdString(dir.path()));
        QString window;
        ASSERT_TRUE(waitFor([&] {
            for (const QString& w : desktop.clients(u"\"larkspur\""_s))
                if (desktop.title(w) == u"\"Band - Song.mp3 - Larkspur\""_s) window = w;
            return !window.isEmpty();
        }));
        auto skipsTaskbar = [&] {
            return desktop.prop(window, u"_NET_WM_STATE"_s)
                .contains(u"_NET_WM_STATE_SKIP_TASKBAR"_s);
        };
        auto mapped = [&] {
            return desktop.run(u"xwininfo -id "_s + window).contains(u"IsViewable"_s);
        };

        // With a tray the window has no task bar entry, also after coming back from the tray.
        EXPECT_EQ(skipsTaskbar(), tray);
        if (tray) {
            desktop.run(u"xdotool windowminimize "_s + window);
            ASSERT_TRUE(waitFor([&] { return !mapped(); }));
            QString icon; // the tray may embed it a little later on a busy machine
            ASSERT_TRUE(waitFor([&] {
                icon = desktop.run(u"xdotool search --onlyvisible --class larkspur"_s);
                return !icon.isEmpty();
            })) << "no tray icon";
            desktop.run(u"xdotool mousemove --window "_s + icon.section(u'\n', 0, 0) +
                        u" 5 5 click --repeat 2 --delay 80 1"_s);
            ASSERT_TRUE(waitFor(mapped));
            EXPECT_TRUE(waitFor(skipsTaskbar));
        }

        // A dialog's title is its own, with neither the song's nor the program's name.
        desktop.run(u"xdotool windowactivate --sync "_s + window + u" key F12"_s);
        QString dialog;
        EXPECT_TRUE(waitFor([&] {
            for (const QString& w : desktop.clients(u"\"larkspur\""_s))
                if (w != window) dialog = desktop.title(w);
            return !dialog.isEmpty();
        }));
        EXPECT_EQ(dialog.toStdString(), "\"Open a Playlist File!\"");
        desktop.run(u"xdotool key Escape"_s);

        player.terminate();
        EXPECT_TRUE(player.waitForFinished(10000));
    }
}

// The window keeps the width the user gave it: a busy word in the bottom bar does not widen
// it, a resize by the window manager is what gets saved.
TEST(WindowOnDesktop, SavedWidthIsTheOneTheUserGave)
{
    const QString binary = u"" LARKSPUR_BINARY_DIR "/larkspur"_s;
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    for (const char* tool : {"Xvfb", "openbox", "xprop", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    larkspur::test::makeMp3(dir.file("Band - Song.mp3"), 20.0);
    larkspur::test::writeFile(dir.file("list.txt"), "0|" + dir.file("Band - Song.mp3") + "\r\n");
    const QString conf = QString::fromStdString(dir.file("config")) + u"/Larkspur/Larkspur.conf"_s;
    larkspur::QSettingsStore(conf).writeAll({{"Window X size", "367"}, {"Window Y size", "457"}});
    // Takes the question and never answers: the lookup stays busy.
    larkspur::test::HttpRawServer database([](larkspur::test::HttpRawConnection& c) {
        if (c.readRequest()) c.waitPeerClose(30000);
    });

    Desktop desktop;
    ASSERT_EQ(desktop.start(false), "");
    desktop.setEnv(u"XDG_CONFIG_HOME"_s, QString::fromStdString(dir.file("config")));
    desktop.setEnv(u"LARKSPUR_LYRICS_DB_URL"_s,
                   u"http://127.0.0.1:"_s + QString::number(database.port()));
    QProcess& player =
        desktop.spawn(binary + u" \""_s + QString::fromStdString(dir.file("list.txt")) + u'"',
                      QString::fromStdString(dir.path()));
    QString window;
    ASSERT_TRUE(waitFor([&] {
        const QStringList found = desktop.clients(u"\"larkspur\""_s);
        if (!found.isEmpty()) window = found.first();
        return !window.isEmpty() && desktop.size(window).startsWith(u"367x"_s);
    })) << desktop.size(window).toStdString();

    desktop.run(u"xdotool windowactivate --sync "_s + window + u" key ctrl+l"_s);
    ASSERT_TRUE(waitFor([&] { return !database.requests().empty(); }));
    QThread::msleep(300);
    EXPECT_TRUE(desktop.size(window).startsWith(u"367x"_s)) << desktop.size(window).toStdString();

    desktop.run(u"xdotool windowsize "_s + window + u" 420 457"_s);
    EXPECT_TRUE(waitFor([&] { return desktop.size(window).startsWith(u"420x"_s); }));
    player.terminate();
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(larkspur::QSettingsStore(conf).read("Window X size").value_or(""), "420");
}

// A box from the start (here: the play log cannot be opened) stands over the window that
// comes up after it: centred on it and above it.
TEST(WindowOnDesktop, StartUpBoxesStandOverTheWindow)
{
    const QString binary = u"" LARKSPUR_BINARY_DIR "/larkspur"_s;
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    for (const char* tool : {"Xvfb", "openbox", "xprop", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    larkspur::test::makeMp3(dir.file("Band - Song.mp3"), 20.0);
    larkspur::test::writeFile(dir.file("list.txt"), "0|" + dir.file("Band - Song.mp3") + "\r\n");
    QDir().mkpath(QString::fromStdString(dir.file("log.txt")));
    Desktop desktop;
    ASSERT_EQ(desktop.start(false), "");
    QProcess& player = desktop.spawn(binary + u" list.txt"_s, QString::fromStdString(dir.path()));
    QString window, box;
    ASSERT_TRUE(waitFor([&] {
        for (const QString& w : desktop.clients(u"\"larkspur\""_s))
            (desktop.title(w) == u"\"Larkspur\""_s ? box : window) = w;
        return !window.isEmpty() && !box.isEmpty();
    }));
    QThread::msleep(300); // the window manager has placed both
    const QRect over = desktop.rect(window), inner = desktop.rect(box);
    EXPECT_LT((over.center() - inner.center()).manhattanLength(), 50);
    const QString stacking = desktop.run(u"xprop -root _NET_CLIENT_LIST_STACKING"_s) + u',';
    EXPECT_GT(stacking.indexOf(box + u','), stacking.indexOf(window + u','))
        << stacking.toStdString();
    player.terminate();
    EXPECT_TRUE(player.waitForFinished(10000));
}
