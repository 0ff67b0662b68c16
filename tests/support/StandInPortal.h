#pragma once
// A desktop portal with GlobalShortcuts on a private session bus of its own, as the portals
// newer than Debian 12's answer (xdg-desktop-portal 1.18+ with KDE's 6.4+ or GNOME's 48+
// backend; KDE 5.27's runs for real in the real-stack test): CreateSession's "shortcuts"
// option is dropped and its answer names the session only; ListShortcuts names what the
// desktop keeps for the app across sessions; BindShortcuts binds the ids it is given and
// names them. A session's token is refused while a session of that token lives. Request
// objects answer with Response signals. It keeps a line per call it gets, and answers on a
// thread of its own, as the player waits for some answers without its loop.

#include "app/core/PortalHotKeyBackend.h"
#include "support/SessionBus.h"

#include <QDBusVirtualObject>
#include <QMutex>
#include <QStringList>
#include <QThread>

namespace larkspur::test {

class StandInPortal : public QDBusVirtualObject
{
  public:
    explicit StandInPortal(bool serve = true);
    ~StandInPortal() override;
    QString address() const { return m_address; }
    // Presses the shortcut of this id in the open session, or in the one given, with an
    // activation token when one is given.
    void activate(const QString& id, const QString& session = {}, const QString& token = {});

    // "Register <app>", "Get", "CreateSession <token> <shortcuts>", "ListShortcuts",
    // "BindShortcuts <shortcuts>", "Close"; shortcuts as "<id>=<text>=<trigger>" with blanks
    // between.
    QStringList calls() const;
    // Each request's Response signal before the call's reply, which the bus allows.
    bool responseFirst = false;
    // Calls that get no reply (Register, Get, Close) or whose Response never comes (the
    // requests).
    QStringList mute;
    // Ids the user declines to bind when asked.
    QStringList decline;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    SessionBus m_bus;
    QThread m_thread;
    mutable QMutex m_mutex;
    QStringList m_calls;
    QString m_session;
    QString m_address;
    QList<PortalShortcut> m_kept;
};

} // namespace larkspur::test
