#include "support/StandInPortal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace larkspur::test {

namespace {
const QString kPath = u"/org/freedesktop/portal/desktop"_s;
const QString kShortcuts = u"org.freedesktop.portal.GlobalShortcuts"_s;
} // namespace

StandInPortal::StandInPortal(bool serve)
{
    registerPortalTypes();
    m_address = m_bus.address();
    if (!serve) return;
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, u"stand-in portal"_s);
    bus.registerVirtualObject(kPath, this, QDBusConnection::SubPath);
    m_thread.start();
    moveToThread(&m_thread);
    bus.registerService(u"org.freedesktop.portal.Desktop"_s);
}

StandInPortal::~StandInPortal()
{
    QDBusConnection::disconnectFromBus(u"stand-in portal"_s);
    m_thread.quit();
    m_thread.wait();
}

QStringList StandInPortal::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

void StandInPortal::activate(const QString& id, const QString& in, const QString& token)
{
    QMutexLocker lock(&m_mutex);
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kShortcuts, u"Activated"_s);
    signal << QVariant::fromValue(QDBusObjectPath(in.isEmpty() ? m_session : in)) << id
           << qulonglong(1) << QVariantMap{{u"activation_token"_s, token}};
    QDBusConnection(u"stand-in portal"_s).send(signal);
}

bool StandInPortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    QMutexLocker lock(&m_mutex);
    QDBusConnection bus = connection;
    const QVariantList args = message.arguments();
    const QString member = message.member();
    QString sender = message.service().mid(1);
    sender.replace(u'.', u'_');
    // Each call answers with its request object, whose Response carries the outcome.
    const auto respond = [&](uint code, const QVariantMap& results) {
        const QString token =
            qdbus_cast<QVariantMap>(args.last()).value(u"handle_token"_s).toString();
        const QString request = kPath + u"/request/"_s + sender + u'/' + token;
        QDBusMessage response =
            QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response << code << results;
        if (responseFirst && !mute.contains(member)) bus.send(response);
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (!responseFirst && !mute.contains(member)) bus.send(response);
    };
    m_calls << member;
    const auto text = [&](const QList<PortalShortcut>& shortcuts) {
        for (const PortalShortcut& s : shortcuts)
            m_calls.last() += u' ' + s.id + u'=' + s.properties.value(u"description"_s).toString() +
                              u'=' + s.properties.value(u"preferred_trigger"_s).toString();
    };
    if (mute.contains(member) && (member == u"Get" || member == u"Register" || member == u"Close"))
        return true;
    if (member == u"Get" && args.value(0) == kShortcuts) {
        bus.send(message.createReply(QVariant::fromValue(QDBusVariant(2u))));
    } else if (member == u"Register") {
        m_calls.last() += u' ' + args.value(0).toString();
        bus.send(message.createReply());
    } else if (member == u"CreateSession") {
        const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
        const QString token = options.value(u"session_handle_token"_s).toString();
        m_calls.last() += u' ' + token;
        text(qdbus_cast<QList<PortalShortcut>>(
            options.value(u"shortcuts"_s).value<QDBusArgument>()));
        const QString session = kPath + u"/session/"_s + sender + u'/' + token;
        if (session == m_session) return respond(2, {}), true; // no second object on that path
        if (!mute.contains(member)) m_session = session;
        respond(0, {{u"session_handle"_s, session}});
    } else if (member == u"ListShortcuts") {
        respond(0, {{u"shortcuts"_s, QVariant::fromValue(m_kept)}});
    } else if (member == u"BindShortcuts") {
        QList<PortalShortcut> shortcuts = qdbus_cast<QList<PortalShortcut>>(args.value(1));
        text(shortcuts);
        shortcuts.removeIf([&](const PortalShortcut& s) { return decline.contains(s.id); });
        for (const PortalShortcut& s : shortcuts) // kept for the app, and named in the answer
            if (std::none_of(m_kept.begin(), m_kept.end(), [&](auto& k) { return k.id == s.id; }))
                m_kept << s;
        respond(0, {{u"shortcuts"_s, QVariant::fromValue(shortcuts)}});
    } else if (member == u"Close" && message.path() == m_session) {
        m_session.clear();
        bus.send(message.createReply());
    } else {
        bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    }
    return true;
}

} // namespace larkspur::test
