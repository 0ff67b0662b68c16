// The real program on a private X desktop (Xvfb and openbox, with or without a tray): what
// the window manager is told about the main window and a dialog, read back with xprop.

#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using larkspur::test::TempDir;
using larkspur::test::writeFile;

namespace {

// Polls a condition for up to ten seconds.
bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        QThread::msleep(50);
    }
    return false;
}

// A private X server with a window manager and, if asked, a tray (trayer); all stopped at
// the end. Children get no session bus, so a tray can only be the X one started here.
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
        QProcess& x =
            spawn(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
        if (!waitFor([&] { return x.canReadLine() || x.waitForReadyRead(50); })) return "Xvfb";
        m_display = QStringLiteral(":") + QString::fromLatin1(x.readLine().trimmed());
        spawn(QStringLiteral("openbox"), {});
        if (!waitFor([&] { return !root(QStringLiteral("_NET_SUPPORTING_WM_CHECK")).isEmpty(); }))
            return "openbox on " + m_display.toStdString();
        if (!withTray) return {};
        spawn(QStringLiteral("trayer"),
              {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
               QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
               QStringLiteral("--height"), QStringLiteral("24")});
        // The panel is managed only after trayer has taken the tray selection.
        if (!waitFor([&] { return !clientsOfClass(QStringLiteral("\"trayer\"")).isEmpty(); }))
            return "trayer";
        return {};
    }

    QProcessEnvironment env() const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return env;
    }

    QProcess& spawn(const QString& program, const QStringList& args, const QString& dir = {})
    {
        m_children.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_children.back();
        p.setProcessEnvironment(env());
        if (!dir.isEmpty()) p.setWorkingDirectory(dir);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(program, args);
        p.waitForStarted(5000);
        return p;
    }

    // Runs a tool on this display to its end; returns what it printed.
    QString run(const QString& program, const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // A property's value as xprop prints it after " = ", or empty when not set.
    QString prop(const QString& window, const QString& name) const
    {
        const QString out = run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
        const auto at = out.indexOf(QStringLiteral(" = "));
        return at < 0 ? QString() : out.mid(at + 3);
    }
    QString root(const QString& name) const
    {
        const QString out = run(QStringLiteral("xprop"), {QStringLiteral("-root"), name});
        const auto at = out.indexOf(QStringLiteral("# "));
        return at < 0 ? QString() : out.mid(at + 2);
    }

    // The managed windows whose WM_CLASS holds `cls`.
    QStringList clientsOfClass(const QString& cls) const
    {
        QStringList found;
        for (const QString& w : root(QStringLiteral("_NET_CLIENT_LIST"))
                                    .split(QStringLiteral(", "), Qt::SkipEmptyParts))
            if (prop(w, QStringLiteral("WM_CLASS")).contains(cls)) found << w;
        return found;
    }

    QString title(const QString& window) const
    {
        QString t = prop(window, QStringLiteral("_NET_WM_NAME"));
        return t.size() >= 2 ? t.mid(1, t.size() - 2) : t; // without the quotes
    }

    bool mapped(const QString& window) const
    {
        return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window})
            .contains(QStringLiteral("IsViewable"));
    }

  private:
    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace

TEST(WindowOnDesktop, TrayIsTheWindowsOnlyPlaceAndDialogsKeepTheirTitles)
{
    const QString binary = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur");
    if (!QFileInfo::exists(binary)) GTEST_SKIP() << "player not built";
    for (const char* tool : {"Xvfb", "openbox", "trayer", "xprop", "xwininfo", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";

    TempDir dir;
    larkspur::test::makeMp3(dir.file("Band - Song.mp3"), 5.0);
    writeFile(dir.file("list.txt"), "0|" + dir.file("Band - Song.mp3") + "\r\n");
    const QString skip = QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR");

    for (bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "with a tray" : "without a tray");
        Desktop desktop;
        ASSERT_EQ(desktop.start(tray), "");
        QProcess& player = desktop.spawn(binary, {QString::fromStdString(dir.file("list.txt"))},
                                         QString::fromStdString(dir.path()));
        QString window;
        ASSERT_TRUE(waitFor([&] {
            for (const QString& w : desktop.clientsOfClass(QStringLiteral("\"larkspur\"")))
                if (desktop.title(w) == QStringLiteral("Band - Song.mp3 - Larkspur")) window = w;
            return !window.isEmpty();
        }));

        // With a tray the window has no task bar entry, also after coming back from the tray.
        EXPECT_EQ(desktop.prop(window, QStringLiteral("_NET_WM_STATE")).contains(skip), tray);
        if (tray) {
            desktop.run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), window});
            ASSERT_TRUE(waitFor([&] { return !desktop.mapped(window); }));
            const QString icon =
                desktop.run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--class"), QStringLiteral("larkspur")});
            ASSERT_FALSE(icon.isEmpty()) << "no tray icon";
            desktop.run(QStringLiteral("xdotool"),
                        {QStringLiteral("mousemove"), QStringLiteral("--window"),
                         icon.split(u'\n').first(), QStringLiteral("5"), QStringLiteral("5"),
                         QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                         QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
            ASSERT_TRUE(waitFor([&] { return desktop.mapped(window); }));
            EXPECT_TRUE(waitFor([&] {
                return desktop.prop(window, QStringLiteral("_NET_WM_STATE")).contains(skip);
            }));
        }

        // A dialog's title is its own, not the song's nor the program's.
        desktop.run(QStringLiteral("xdotool"),
                    {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window,
                     QStringLiteral("key"), QStringLiteral("F12")});
        QString dialog;
        EXPECT_TRUE(waitFor([&] {
            for (const QString& w : desktop.clientsOfClass(QStringLiteral("\"larkspur\"")))
                if (w != window) dialog = desktop.title(w);
            return !dialog.isEmpty();
        }));
        EXPECT_EQ(dialog.toStdString(), "Open a Playlist File!");
        desktop.run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});

        player.terminate();
        EXPECT_TRUE(player.waitForFinished(10000));
    }
}
