// THotKeyManager on a private X server: presses typed with xdotool reach OnHotKeyPressed in
// a program holding the hotkey, whatever the lock keys, and a second program is refused the
// same combination. Without X11 a manager refuses every registration.

#include "app/core/HotKeyManager.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace larkspur;
using namespace Qt::StringLiterals;

using larkspur::test::waitFor;

namespace {

class XServer
{
  public:
    ~XServer()
    {
        for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(5000)) (*it)->kill(), (*it)->waitForFinished(2000);
        }
    }

    bool start()
    {
        QProcess& x = spawn(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
        if (!waitFor([&] { return x.canReadLine() || x.waitForReadyRead(50); })) return false;
        m_display = u":"_s + QString::fromLatin1(x.readLine().trimmed());
        return true;
    }

    QProcess& spawn(const QString& program, const QStringList& args)
    {
        m_children.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_children.back();
        p.setProcessEnvironment(env());
        p.start(program, args);
        p.waitForStarted(5000);
        return p;
    }

    // The next line the program prints, or empty after ten seconds.
    static std::string line(QProcess& p)
    {
        if (!waitFor([&] { return p.canReadLine() || p.waitForReadyRead(50); })) return {};
        return p.readLine().trimmed().toStdString();
    }

    int xdotool(const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(u"xdotool"_s, args);
        p.waitForFinished(10000);
        return p.exitCode();
    }

  private:
    QProcessEnvironment env() const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        return env;
    }

    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace

TEST(HotKeyX11, PressesReachTheHolderAndASecondProgramIsRefused)
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    XServer x;
    ASSERT_TRUE(x.start());

    QProcess& holder = x.spawn(QStringLiteral(LARKSPUR_HOTKEY_PROBE), {u"ctrl + shift+p"_s});
    const std::string registered = XServer::line(holder);
    ASSERT_TRUE(registered.starts_with("registered ")) << registered;
    EXPECT_NE(registered, "registered 0");

    // A combination that is not registered reports nothing; the registered one does.
    ASSERT_EQ(x.xdotool({u"key"_s, u"ctrl+p"_s, u"ctrl+shift+p"_s}), 0);
    EXPECT_EQ(XServer::line(holder), "pressed 24656");
    // With Num Lock, then Caps Lock too, the state carries their bits.
    ASSERT_EQ(x.xdotool({u"key"_s, u"Num_Lock"_s, u"ctrl+shift+p"_s}), 0);
    EXPECT_EQ(XServer::line(holder), "pressed 24656");
    ASSERT_EQ(x.xdotool({u"key"_s, u"Caps_Lock"_s, u"ctrl+shift+p"_s}), 0);
    EXPECT_EQ(XServer::line(holder), "pressed 24656");

    // Another client cannot take it, but takes a free one.
    QProcess& second = x.spawn(QStringLiteral(LARKSPUR_HOTKEY_PROBE), {u"Ctrl+Shift+P"_s});
    EXPECT_EQ(XServer::line(second), "refused");
    QProcess& third = x.spawn(QStringLiteral(LARKSPUR_HOTKEY_PROBE), {u"Ctrl+Shift+N"_s});
    EXPECT_TRUE(XServer::line(third).starts_with("registered "));
    // The holder still gets its presses, and only those.
    ASSERT_EQ(x.xdotool({u"key"_s, u"ctrl+shift+n"_s, u"ctrl+shift+p"_s}), 0);
    EXPECT_EQ(XServer::line(holder), "pressed 24656");
    EXPECT_EQ(XServer::line(third), "pressed 24654");
}

TEST(HotKeyX11, WithoutX11EveryRegistrationIsRefused)
{
    THotKeyManager hkmng;
    int presses = 0;
    QObject::connect(&hkmng, &THotKeyManager::OnHotKeyPressed, [&] { ++presses; });
    EXPECT_EQ(hkmng.RegisterKey(0x6050), 0);
    EXPECT_FALSE(hkmng.IsRegisteredKey(0x6050));
    EXPECT_TRUE(hkmng.keys().empty());
    hkmng.HandleHotKeyMessage(kModCtrl | kModShift, 0x50); // nothing registered: no event
    EXPECT_EQ(presses, 0);
    hkmng.ReleaseAllKeys();
}
