#pragma once
// A desktop portal with GlobalShortcuts on a private session bus of its own: answers as
// xdg-desktop-portal does (request objects and their Response signals, sessions), keeps
// what an app bound across its sessions as desktops do, and keeps a line per call it gets.
// It answers on a thread of its own, as the player waits for some answers without its loop.

#include "app/core/PortalHotKeyBackend.h"

#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
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
    void activate(const QString& id, const QString& session = {});

    // "Register <app>", "CreateSession", "BindShortcuts <id>=<text>=<trigger> ..."
    QStringList calls() const;
    // Each request's Response signal before the call's reply, which the bus allows.
    bool responseFirst = false;
    // Calls that get no reply (Register, Get) or whose Response never comes (the requests).
    QStringList mute;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    QProcess m_daemon;
    QThread m_thread;
    mutable QMutex m_mutex;
    QStringList m_calls;
    QString m_session;
    QString m_address;
    QList<PortalShortcut> m_kept;
};

} // namespace larkspur::test
