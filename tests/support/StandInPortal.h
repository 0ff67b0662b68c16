#pragma once
// A desktop portal with GlobalShortcuts on a private session bus of its own: answers as
// xdg-desktop-portal 1.18+ with KDE's 6.4+ or GNOME's backend (request objects and Response
// signals; CreateSession drops "shortcuts" and refuses a token in use; what an app bound is
// kept across its sessions), and keeps a line per call it gets.
// It answers on a thread of its own, as the player waits for some answers without its loop.

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
    // Presses the shortcut of this id in the open session, or in the one given.
    void activate(const QString& id, const QString& session = {}, const QString& token = {});

    // "Register <app>", "CreateSession <token> <shortcuts>", "BindShortcuts <shortcuts>", the
    // shortcuts as "<id>=<text>=<trigger> ..."
    QStringList calls() const;
    // Each request's Response signal before the call's reply, which the bus allows.
    bool responseFirst = false;
    // Calls that get no reply (Register, Get, Close) or whose Response never comes (requests).
    QStringList mute;
    QStringList decline; // ids the user declines to bind

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
