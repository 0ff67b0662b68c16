#include "app/core/PortalHotKeyBackend.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QTimer>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace larkspur {

namespace {

const QString kService = u"org.freedesktop.portal.Desktop"_s;
const QString kPath = u"/org/freedesktop/portal/desktop"_s;
const QString kShortcuts = u"org.freedesktop.portal.GlobalShortcuts"_s;
// The portal starts on the first call; a slow start must not look like a missing portal.
constexpr int kStartTimeoutMs = 5000;
// The Response that never came: not one of the portal's own codes (0 to 2).
constexpr uint kNoAnswer = 100;
// One session token for every run: desktops name the app's shortcut group after it (KDE's
// portal before 6.1), so the keys a user chose there carry over from one run to the next.
const QString kSessionToken = u"larkspur"_s;

QString pathOf(const QVariant& v)
{
    // The session handle is documented as a string but some versions send an object path.
    return v.metaType() == QMetaType::fromType<QDBusObjectPath>()
               ? v.value<QDBusObjectPath>().path()
               : v.toString();
}

QVariantMap mapOf(const QVariant& v)
{
    return v.metaType() == QMetaType::fromType<QDBusArgument>()
               ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
               : v.toMap();
}

// The ids of an answer's "shortcuts" list; none when it has no such list.
std::set<QString> shortcutIds(const QVariantMap& results)
{
    std::set<QString> ids;
    const QVariant list = results.value(u"shortcuts"_s);
    if (list.metaType() != QMetaType::fromType<QDBusArgument>()) return ids;
    const QDBusArgument arg = list.value<QDBusArgument>();
    if (arg.currentSignature() != u"a(sa{sv})"_s) return ids;
    for (const PortalShortcut& s : qdbus_cast<QList<PortalShortcut>>(arg))
        ids.insert(s.id);
    return ids;
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s)
{
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s)
{
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

void registerPortalTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

bool isWaylandSession(const QString& qtPlatform)
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qtPlatform.startsWith(u"wayland"_s);
}

std::unique_ptr<HotKeyBackend> makePortalHotKeyBackend(QDBusConnection bus, PortalHooks hooks)
{
    registerPortalTypes();
    if (!bus.isConnected()) return nullptr;
    // Only the bus itself is asked here, which answers at once; the portal may be slow to
    // start or not answer at all, so it is asked without waiting.
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon) return nullptr;
    const QDBusReply<bool> running = daemon->isServiceRegistered(kService);
    const QDBusReply<QStringList> startable = daemon->activatableServiceNames();
    if (!(running.isValid() && running.value()) &&
        !(startable.isValid() && startable.value().contains(kService)))
        return nullptr;
    return std::make_unique<PortalHotKeyBackend>(bus, std::move(hooks));
}

PortalHotKeyBackend::PortalHotKeyBackend(QDBusConnection bus, PortalHooks hooks)
    : m_bus(std::move(bus)), m_hooks(std::move(hooks))
{
    m_bus.connect(kService, kPath, kShortcuts, u"Activated"_s, this,
                  SLOT(onActivated(QDBusMessage)));
    m_responseTimer.setSingleShot(true);
    connect(&m_responseTimer, &QTimer::timeout, this, [this] {
        if (m_done) finish(kNoAnswer, {});
    });
    // Registering must come before any other portal call; portals before 1.19 do not know it
    // and take the app id from the process instead. The bus keeps the order of our calls.
    if (!m_hooks.appId.isEmpty()) {
        QDBusMessage reg = QDBusMessage::createMethodCall(
            kService, kPath, u"org.freedesktop.host.portal.Registry"_s, u"Register"_s);
        reg << m_hooks.appId << QVariantMap();
        m_bus.asyncCall(reg, kStartTimeoutMs);
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << kShortcuts << u"version"_s;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kStartTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->reply().type() == QDBusMessage::ReplyMessage) {
            m_portal = Portal::Ready;
            scheduleFlush();
            return;
        }
        m_portal = Portal::Missing;
        report("The desktop's portal offers no global shortcuts (" +
               watcher->reply().errorMessage().toStdString() + "); the global hotkeys are off.");
    });
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    m_bus.disconnect(kService, kPath, kShortcuts, u"Activated"_s, this,
                     SLOT(onActivated(QDBusMessage)));
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(kService, m_requestPath, u"org.freedesktop.portal.Request"_s,
                         u"Response"_s, this, SLOT(onResponse(QDBusMessage)));
    closeSession();
}

bool PortalHotKeyBackend::grab(std::uint16_t modifiers, std::uint16_t key)
{
    const HotKeyValue value = ComposeHotKey(modifiers, key);
    std::optional<PortalShortcutName> name = m_hooks.name ? m_hooks.name(value) : std::nullopt;
    if (!name)
        name =
            PortalShortcutName{u"key-"_s + QString::number(value), HotKeyDisplayText(value, false)};
    // One action per id: the portal would merge two shortcuts of the same id.
    if (std::any_of(m_wanted.begin(), m_wanted.end(),
                    [&](const Wanted& w) { return w.value == value || w.name.id == name->id; }))
        return false;
    m_wanted.push_back({value, *name});
    scheduleFlush();
    return true;
}

bool PortalHotKeyBackend::ungrab(std::uint16_t modifiers, std::uint16_t key)
{
    const HotKeyValue value = ComposeHotKey(modifiers, key);
    const bool found =
        std::erase_if(m_wanted, [&](const Wanted& w) { return w.value == value; }) > 0;
    if (m_wanted.empty()) m_failed.clear(); // switched off: the next switch on asks anew
    scheduleFlush();
    return found;
}

void PortalHotKeyBackend::scheduleFlush()
{
    // A registration round grabs one key after the other; the portal gets them all at once.
    if (m_flushQueued) return;
    m_flushQueued = true;
    QTimer::singleShot(0, this, &PortalHotKeyBackend::flush);
}

void PortalHotKeyBackend::flush()
{
    m_flushQueued = false;
    if (m_portal != Portal::Ready) return; // again once the portal answered
    if (m_done || m_closing) return;       // again when the call in flight is answered
    if (m_wanted.empty()) {
        m_failed.clear();
        closeSession();
        return;
    }
    const std::set<QString> ids = wantedIds();
    if (ids == m_failed) return;
    if (!m_session.isEmpty()) {
        if (ids == m_sessionIds) return;
        // A session's shortcuts are set up once; a new set needs a new session, under the
        // same token once the old one is gone.
        closeSession();
        return;
    }
    createSession();
}

void PortalHotKeyBackend::request(const QString& method, QVariantList args, Done done)
{
    const QString token = u"larkspur"_s + QString::number(++m_serial);
    QVariantMap options = args.takeLast().toMap();
    options.insert(u"handle_token"_s, token);
    args << options;
    m_done = std::move(done);
    // Subscribed before the call, so a quick answer is not missed.
    watchRequest(objectPath(u"request"_s, token));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kShortcuts, method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kStartTimeoutMs), this);
    // A portal that never answers must not hold back every later request.
    m_responseTimer.start(method == u"BindShortcuts"_s ? m_hooks.bindTimeoutMs
                                                       : m_hooks.responseTimeoutMs);
    const unsigned serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method, serial] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        // The answer's Response may come first, and the next request go out, before this
        // reply is seen: it must not take that request's place.
        if (!m_done || serial != m_serial) return;
        if (reply.type() == QDBusMessage::ErrorMessage) {
            report("The desktop's portal refused " + method.toStdString() + ": " +
                   reply.errorMessage().toStdString());
            finish(2, {});
            return;
        }
        // Portals before 0.9 chose the request's path themselves.
        const QString path = pathOf(reply.arguments().value(0));
        if (!path.isEmpty() && path != m_requestPath) watchRequest(path);
    });
}

void PortalHotKeyBackend::watchRequest(const QString& path)
{
    const QString request = u"org.freedesktop.portal.Request"_s;
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(kService, m_requestPath, request, u"Response"_s, this,
                         SLOT(onResponse(QDBusMessage)));
    m_requestPath = path;
    m_bus.connect(kService, path, request, u"Response"_s, this, SLOT(onResponse(QDBusMessage)));
}

void PortalHotKeyBackend::onResponse(const QDBusMessage& message)
{
    if (m_requestPath.isEmpty() || message.path() != m_requestPath) return;
    const QVariantList args = message.arguments();
    finish(args.value(0).toUInt(), mapOf(args.value(1)));
}

void PortalHotKeyBackend::finish(uint response, const QVariantMap& results)
{
    m_responseTimer.stop();
    m_bus.disconnect(kService, m_requestPath, u"org.freedesktop.portal.Request"_s, u"Response"_s,
                     this, SLOT(onResponse(QDBusMessage)));
    m_requestPath.clear();
    const Done done = std::exchange(m_done, nullptr);
    done(response, results);
    scheduleFlush();
}

void PortalHotKeyBackend::createSession()
{
    // KDE's portal before 6.1 binds only what this option names; newer ones drop it.
    const QVariantMap options{{u"session_handle_token"_s, kSessionToken},
                              {u"shortcuts"_s, QVariant::fromValue(portalShortcuts())}};
    m_sessionIds = wantedIds();
    request(u"CreateSession"_s, {options}, [this](uint response, const QVariantMap& results) {
        m_session = response == 0 ? pathOf(results.value(u"session_handle"_s)) : QString();
        if (m_session.isEmpty()) {
            // The portal may still make a session it never answered for, under our token: it
            // is closed, or the next try would be refused.
            if (response == kNoAnswer) {
                m_session = objectPath(u"session"_s, kSessionToken);
                closeSession();
            }
            return refused("CreateSession", response);
        }
        m_bus.connect(kService, m_session, u"org.freedesktop.portal.Session"_s, u"Closed"_s, this,
                      SLOT(onSessionClosed(QDBusMessage)));
        std::set<QString> have = shortcutIds(results);
        const std::set<QString> ids = wantedIds();
        if (std::includes(have.begin(), have.end(), ids.begin(), ids.end()))
            settle(have);
        else
            listShortcuts(std::move(have));
    });
}

void PortalHotKeyBackend::listShortcuts(std::set<QString> have)
{
    // The desktop keeps what an app bound before (and what the user changed since): binding
    // again at every start would ask the user again on some desktops.
    request(u"ListShortcuts"_s, {QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap()},
            [this, have](uint response, const QVariantMap& results) mutable {
                if (response == 0) have.merge(shortcutIds(results));
                const std::set<QString> ids = wantedIds();
                if (std::includes(have.begin(), have.end(), ids.begin(), ids.end()))
                    settle(have);
                else
                    bindShortcuts(std::move(have));
            });
}

void PortalHotKeyBackend::bindShortcuts(std::set<QString> have)
{
    // Only what is still missing: a desktop asks the user about each id it is given anew.
    std::set<QString> missing;
    for (const QString& id : wantedIds())
        if (!have.count(id)) missing.insert(id);
    request(u"BindShortcuts"_s,
            {QVariant::fromValue(QDBusObjectPath(m_session)),
             QVariant::fromValue(portalShortcuts(&missing)), QString(), QVariantMap()},
            [this, have](uint response, const QVariantMap& results) mutable {
                if (response != 0) {
                    refused("BindShortcuts", response);
                    closeSession();
                    return;
                }
                have.merge(shortcutIds(results));
                settle(have);
            });
}

void PortalHotKeyBackend::settle(const std::set<QString>& have)
{
    // Success is what the answers name, never an empty answer.
    m_bound.clear();
    std::string names;
    std::set<QString> missing;
    for (const Wanted& w : m_wanted) {
        if (have.count(w.name.id)) {
            m_bound.insert(w.name.id);
            continue;
        }
        missing.insert(w.name.id);
        names += (names.empty() ? "\"" : ", \"") + w.name.description.toStdString() + '"';
    }
    if (missing.empty() || missing == m_missingReported) return;
    m_missingReported = missing;
    report("The desktop did not bind these global hotkeys: " + names +
           "; choose their keys in its keyboard settings.");
}

QList<PortalShortcut> PortalHotKeyBackend::portalShortcuts(const std::set<QString>* ids)
{
    QList<PortalShortcut> shortcuts;
    for (const Wanted& w : m_wanted) {
        if (ids && !ids->count(w.name.id)) continue;
        QVariantMap properties{{u"description"_s, w.name.description}};
        const QString trigger = PortalTrigger(w.value);
        if (!trigger.isEmpty())
            properties.insert(u"preferred_trigger"_s, trigger);
        else if (m_reported.insert(w.value).second)
            report("The desktop takes no " + HotKeyDisplayText(w.value, false).toStdString() +
                   " as a shortcut; choose the keys for \"" + w.name.description.toStdString() +
                   "\" in its keyboard settings.");
        shortcuts.push_back({w.name.id, properties});
    }
    return shortcuts;
}

void PortalHotKeyBackend::refused(const char* what, uint response)
{
    m_failed = wantedIds();
    if (response == kNoAnswer)
        report(std::string("The desktop's portal did not answer (") + what +
               "); switch \"Global hotkeys\" off and on to try again.");
    else if (response == 1)
        report("The global hotkeys were not set up: the desktop's request was cancelled.");
    else
        report(std::string("The desktop did not set up the global hotkeys (") + what + ").");
}

QString PortalHotKeyBackend::objectPath(const QString& kind, const QString& token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    return kPath + u'/' + kind + u'/' + sender + u'/' + token;
}

void PortalHotKeyBackend::closeSession()
{
    if (m_session.isEmpty()) return;
    m_bus.disconnect(kService, m_session, u"org.freedesktop.portal.Session"_s, u"Closed"_s, this,
                     SLOT(onSessionClosed(QDBusMessage)));
    const QDBusPendingCall closed =
        m_bus.asyncCall(QDBusMessage::createMethodCall(
                            kService, m_session, u"org.freedesktop.portal.Session"_s, u"Close"_s),
                        m_hooks.responseTimeoutMs);
    m_session.clear();
    m_sessionIds.clear();
    m_bound.clear();
    // The next session takes the same token: the portal refuses it while this one lives.
    m_closing = true;
    auto* watcher = new QDBusPendingCallWatcher(closed, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_closing = false;
        scheduleFlush();
    });
}

void PortalHotKeyBackend::onSessionClosed(const QDBusMessage& message)
{
    if (message.path() != m_session) return;
    m_session.clear();
    m_sessionIds.clear();
    m_bound.clear();
    m_failed = wantedIds(); // not reopened behind the desktop's back
    report("The desktop ended the global hotkeys; switch \"Global hotkeys\" off and on to get "
           "them back.");
}

void PortalHotKeyBackend::onActivated(const QDBusMessage& message)
{
    const QVariantList args = message.arguments();
    if (m_session.isEmpty() || pathOf(args.value(0)) != m_session) return;
    const QString id = args.value(1).toString();
    for (const Wanted& w : m_wanted)
        if (w.name.id == id) {
            std::uint16_t modifiers = 0, key = 0;
            SplitHotKey(w.value, modifiers, key);
            if (m_hooks.activationToken)
                m_hooks.activationToken(
                    mapOf(args.value(3)).value(u"activation_token"_s).toString());
            if (pressed) pressed(modifiers, key);
            return;
        }
}

std::set<QString> PortalHotKeyBackend::wantedIds() const
{
    std::set<QString> ids;
    for (const Wanted& w : m_wanted)
        ids.insert(w.name.id);
    return ids;
}

void PortalHotKeyBackend::report(const std::string& text) const
{
    if (m_hooks.report) m_hooks.report(text);
}

} // namespace larkspur
