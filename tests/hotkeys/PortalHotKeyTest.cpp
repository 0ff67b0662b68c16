// Global hotkeys through a desktop portal: trigger texts, and the backend against a stand-in
// portal on a private bus.

#include "app/core/HotKeySettings.h"
#include "support/StandInPortal.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using namespace larkspur;
using namespace Qt::StringLiterals;

TEST(PortalTrigger, MapsHotkeyTextsBothWays)
{
    // clang-format off
    const struct { const char* text; const char* trigger; } cases[] = { // "": none
        {"Ctrl+Shift+P", "CTRL+SHIFT+p"}, {"shift + ctrl+1", "CTRL+SHIFT+1"}, {"Alt+F9", "ALT+F9"},
        {"Win+Num -", "LOGO+KP_Subtract"}, {"Ctrl+Alt+Page Up", "CTRL+ALT+Page_Up"},
        {"Ctrl+;", "CTRL+semicolon"}, {"P", "p"}, {"Shift+Num 5", "SHIFT+KP_Begin"},
        {"Ctrl+Caps Lock", ""}, {"Ctrl+Right Shift", ""}};
    // clang-format on
    for (const auto& c : cases) {
        const HotKeyValue value = ParseHotKey(QString::fromLatin1(c.text), false);
        ASSERT_NE(value, 0u) << c.text;
        EXPECT_EQ(PortalTrigger(value), QString::fromLatin1(c.trigger)) << c.text;
        EXPECT_EQ(ParsePortalTrigger(QString::fromLatin1(c.trigger)), *c.trigger ? value : 0);
    }
    // Stored texts may be written as triggers; others are no hotkey.
    EXPECT_EQ(settingHotKey("LOGO+Page_Down"), ParseHotKey(u"Win+Page Down"_s, false));
    for (const char* bad : {"NUM+p", "CTRL+", "CTRL+Shift_L", "CTRL+pp", "HYPER+a"})
        EXPECT_EQ(ParsePortalTrigger(QString::fromLatin1(bad)), 0u) << bad;
}

TEST(PortalHotKeys, BindsOnceRunsActivatedIdsAndClosesWhenAllAreReleased)
{
    test::StandInPortal nobody(false); // a bus without the portal: X11 or nothing instead
    EXPECT_FALSE(
        makePortalHotKeyBackend(QDBusConnection::connectToBus(nobody.address(), u"-"_s), {}));
    test::StandInPortal portal;
    PortalHooks hooks{u"org.example.Player"_s,
                      [](HotKeyValue value) {
                          return value == ParseHotKey(u"Ctrl+Shift+N"_s, false)
                                     ? std::optional(PortalShortcutName{u"next"_s, u"Next song"_s})
                                     : std::nullopt;
                      },
                      {}};
    std::vector<std::string> reports;
    hooks.report = [&](const std::string& text) { reports.push_back(text); };
    QStringList tokens;
    hooks.activationToken = [&](const QString& token) { tokens << token; };
    THotKeyManager hkmng(makePortalHotKeyBackend(
        QDBusConnection::connectToBus(portal.address(), u"player"_s), hooks));
    ASSERT_TRUE(hkmng.available());
    std::vector<quint32> pressed;
    QObject::connect(&hkmng, &THotKeyManager::OnHotKeyPressed,
                     [&](quint32 value, quint16) { pressed.push_back(value); });

    const HotKeyValue n = ParseHotKey(u"Ctrl+Shift+N"_s, false),
                      lock = ParseHotKey(u"Ctrl+Caps Lock"_s, false);
    const QString lockId = u"key-"_s + QString::number(lock),
                  both = u" next=Next song=CTRL+SHIFT+n "_s + lockId + u"=Ctrl+Caps Lock="_s;
    portal.decline = QStringList{lockId};
    const auto registerAll = [&] {
        for (HotKeyValue v : {n, lock})
            EXPECT_NE(hkmng.RegisterKey(v), 0);
    };
    registerAll();
    EXPECT_EQ(hkmng.RegisterKey(n), 0); // one shortcut per id
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 5; }));
    // All go with CreateSession too (KDE before 6.1 binds only those); one left unbound is named.
    EXPECT_EQ(portal.calls(), QStringList({u"Register org.example.Player"_s, u"Get"_s,
                                           u"CreateSession larkspur"_s + both, u"ListShortcuts"_s,
                                           u"BindShortcuts"_s + both}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() == 2; }));
    EXPECT_NE(reports[0].find("takes no Ctrl+Caps Lock"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("hotkeys: \"Ctrl+Caps Lock\";"), std::string::npos) << reports[1];

    portal.activate(u"next"_s, {}, u"token-1"_s);
    portal.activate(u"pause"_s); // not ours
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pressed.empty(); }));
    EXPECT_EQ(tokens, QStringList({u"token-1"_s}));
    hkmng.ReleaseAllKeys();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 6; }));
    EXPECT_EQ(portal.calls().last(), u"Close"_s);

    // On again, under the same token: the kept one is not asked for again, nor the other named.
    registerAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 9; }));
    QTest::qWait(200);
    EXPECT_EQ(portal.calls().mid(6),
              QStringList({u"CreateSession larkspur"_s + both, u"ListShortcuts"_s,
                           u"BindShortcuts "_s + lockId + u"=Ctrl+Caps Lock="_s}));
    EXPECT_EQ(reports.size(), 2u);
    portal.activate(u"next"_s, u"/org/freedesktop/portal/desktop/session/1_1/gone"_s);
    portal.activate(u"next"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pressed.size() == 2; }));
    EXPECT_EQ(pressed, std::vector<quint32>({n, n}));

    // A Close not answered holds the next session under its token back.
    portal.mute = QStringList{u"Close"_s};
    hkmng.ReleaseAllKeys();
    QTest::qWait(100);
    registerAll();
    EXPECT_FALSE(QTest::qWaitFor([&] { return portal.calls().last() != u"Close"_s; }, 300));
}

// A request's Response seen before the call's reply: the next request is still heard.
TEST(PortalHotKeys, AResponseBeforeItsReplyDoesNotStallTheNextRequest)
{
    test::StandInPortal portal;
    portal.responseFirst = true;
    const HotKeyValue n = ParseHotKey(u"Ctrl+Shift+N"_s, false);
    PortalHooks hooks{u"org.example.Player"_s,
                      [](HotKeyValue) { return std::optional(PortalShortcutName{u"next"_s, u"Next"_s}); },
                      {}};
    THotKeyManager hkmng(makePortalHotKeyBackend(
        QDBusConnection::connectToBus(portal.address(), u"early response"_s), hooks));
    EXPECT_NE(hkmng.RegisterKey(n), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 5; }));
    hkmng.ReleaseAllKeys();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls().size() == 6; }));
    EXPECT_EQ(portal.calls().last(), u"Close"_s);
}

// A portal that does not answer holds nothing up: the backend is there at once and says that
// the shortcuts are off; a request whose Response never comes ends in its time, is said, and
// switching the hotkeys off and on asks again.
TEST(PortalHotKeys, APortalThatDoesNotAnswerHoldsNothingUp)
{
    const HotKeyValue n = ParseHotKey(u"Ctrl+Shift+N"_s, false);
    for (const QStringList& mute : {QStringList{u"Register"_s, u"Get"_s}, {u"CreateSession"_s}}) {
        test::StandInPortal portal;
        portal.mute = mute;
        std::vector<std::string> reports;
        PortalHooks hooks{u"org.example.Player"_s, {},
                          [&](const std::string& text) { reports.push_back(text); }};
        hooks.responseTimeoutMs = 300;
        QElapsedTimer made;
        made.start();
        THotKeyManager hkmng(makePortalHotKeyBackend(
            QDBusConnection::connectToBus(portal.address(), mute.join(u' ')), hooks));
        EXPECT_LT(made.elapsed(), 2000) << "waited for the portal";
        ASSERT_TRUE(hkmng.available());
        EXPECT_NE(hkmng.RegisterKey(n), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.empty(); }, 10000));
        EXPECT_NE(reports[0].find(mute.size() == 2 ? "offers no global shortcuts"
                                                   : "did not answer (CreateSession)"),
                  std::string::npos)
            << reports[0];
        if (mute.size() == 2) continue;
        // The session that may still come of it is closed, freeing its token.
        EXPECT_TRUE(QTest::qWaitFor([&] { return portal.calls().last() == u"Close"_s; }));
        hkmng.ReleaseAllKeys();
        EXPECT_NE(hkmng.RegisterKey(n), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return portal.calls().filter(u"Create"_s).size() == 2; }))
            << portal.calls().join(u' ').toStdString();
    }
}
