#pragma once
// Global hotkeys on Wayland through the desktop portal's GlobalShortcuts interface
// (xdg-desktop-portal 1.16+). The portal binds shortcuts by id, not by key: the grabs of one
// registration round go out together, with the hotkey texts as preferred triggers the
// desktop may follow or not, and each Activated id is reported as the combination it was
// grabbed with, so the manager's callers see presses as on X11. All grabs given back close
// the portal session; the next grab opens a new one under the same token, which desktops
// name the app's shortcuts after. Interface thread only.
//
// KDE's portal before 6.1 takes the shortcuts only from CreateSession's options and ignores
// BindShortcuts' list (opening its settings instead); newer portals drop that option and
// bind through BindShortcuts. So CreateSession carries them all, and BindShortcuts follows
// only for ids neither its answer nor ListShortcuts' names.
//
//   auto backend = makePortalHotKeyBackend(QDBusConnection::sessionBus(), hooks);
//   if (!backend) ... // no portal: fall back to X11 or to none

#include "app/core/HotKeyManager.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace larkspur {

struct PortalShortcut // one entry of the portal's a(sa{sv}) lists
{
    QString id;
    QVariantMap properties;
};
QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s);
const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s);
void registerPortalTypes();

struct PortalShortcutName
{
    QString id;
    QString description;
};

struct PortalHooks
{
    QString appId; // the desktop entry's name, registered first where the portal asks for it
    // The id and description of a grabbed combination; none: one made from its text.
    std::function<std::optional<PortalShortcutName>(HotKeyValue)> name;
    // What the user must know: a refusal, a text the portal cannot take, shortcuts the
    // desktop did not bind (once each).
    std::function<void(const std::string&)> report;
    // Called before a press is passed on, with the activation token the desktop sent with it
    // (empty: none), which lets the window that the press raises take the focus.
    std::function<void(const QString&)> activationToken = {};
    // How long a request's Response may take, binding (which may wait for the user) apart.
    int responseTimeoutMs = 10000;
    int bindTimeoutMs = 120000;
};

// Whether the program runs in a Wayland session, whatever Qt platform (given by its name) it
// uses: XWayland's key grabs reach it only while one of its windows has the focus.
bool isWaylandSession(const QString& qtPlatform);

// Null when the bus has no portal, running or to be started. Whether it offers
// GlobalShortcuts is asked without waiting: one that does not is reported through the hooks.
std::unique_ptr<HotKeyBackend> makePortalHotKeyBackend(QDBusConnection bus, PortalHooks hooks);

class PortalHotKeyBackend final : public QObject, public HotKeyBackend
{
    Q_OBJECT

  public:
    PortalHotKeyBackend(QDBusConnection bus, PortalHooks hooks);
    ~PortalHotKeyBackend() override;

    bool grab(std::uint16_t modifiers, std::uint16_t key) override;
    bool ungrab(std::uint16_t modifiers, std::uint16_t key) override;

  private slots:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);
    void onSessionClosed(const QDBusMessage& message);

  private:
    struct Wanted
    {
        HotKeyValue value;
        PortalShortcutName name;
    };
    using Done = std::function<void(uint response, const QVariantMap& results)>;

    void scheduleFlush();
    void flush();
    void request(const QString& method, QVariantList args, Done done);
    void watchRequest(const QString& path);
    void finish(uint response, const QVariantMap& results);
    void createSession();
    void listShortcuts(std::set<QString> have);
    void bindShortcuts(std::set<QString> have);
    void settle(const std::set<QString>& have);
    void closeSession();
    // Where the portal puts our request or session ("request", "session") of this token.
    QString objectPath(const QString& kind, const QString& token) const;
    void refused(const char* what, uint response);
    std::set<QString> wantedIds() const;
    // The wanted shortcuts in the portal's form, those of `ids` only when given.
    QList<PortalShortcut> portalShortcuts(const std::set<QString>* ids = nullptr);
    void report(const std::string& text) const;

    QDBusConnection m_bus;
    PortalHooks m_hooks;
    std::vector<Wanted> m_wanted;   // in grab order
    QString m_session;              // empty: none open
    std::set<QString> m_sessionIds; // the ids the open session was made for
    std::set<QString> m_bound;      // of those, the ids the desktop has
    std::set<QString> m_failed;     // ids a request failed for; not asked again until all go
    std::set<HotKeyValue> m_reported;
    std::set<QString> m_missingReported; // the ids last said to be left unbound
    bool m_closing = false;              // a Close not answered yet: the token is still taken
    QString m_requestPath;               // the one request in flight
    Done m_done;
    unsigned m_serial = 0;
    bool m_flushQueued = false;
    QTimer m_responseTimer; // the request in flight gets no answer
    enum class Portal { Asked, Ready, Missing } m_portal = Portal::Asked;
};

} // namespace larkspur

Q_DECLARE_METATYPE(larkspur::PortalShortcut)
