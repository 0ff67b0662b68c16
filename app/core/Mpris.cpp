#include "app/core/Mpris.h"
#include "app/core/PostError.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace larkspur {

namespace {

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

void call(const std::function<void()>& f)
{
    if (!f) return;
    try {
        f();
    } catch (...) {
        // The bus caller gets its answer at once; the error is reported on the event loop,
        // where every handler's error is.
        postError(std::current_exception());
    }
}

QString trackIdOf(const MprisTrack& t)
{
    return t.index < 0 ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                       : QStringLiteral("/org/larkspur/track/%1").arg(t.index);
}
// Bytes a path keeps unescaped in a file URI, as GLib's path table has them.
bool keptInPath(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}


QVariantMap metadataOf(const MprisTrack& t)
{
    QVariantMap m;
    // A track id is required even when nothing plays.
    m[QStringLiteral("mpris:trackid")] = QVariant::fromValue(QDBusObjectPath(trackIdOf(t)));
    if (t.index < 0) return m;
    m[QStringLiteral("xesam:title")] = QString::fromStdString(t.title);
    if (!t.artist.empty())
        m[QStringLiteral("xesam:artist")] = QStringList{QString::fromStdString(t.artist)};
    if (!t.album.empty()) m[QStringLiteral("xesam:album")] = QString::fromStdString(t.album);
    if (t.trackNumber > 0) m[QStringLiteral("xesam:trackNumber")] = int(t.trackNumber);
    if (t.lengthMs > 0) m[QStringLiteral("mpris:length")] = qlonglong(t.lengthMs) * 1000;
    m[QStringLiteral("xesam:url")] = QString::fromStdString(fileUri(t.path));
    return m;
}

class RootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    RootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Larkspur"); }
    QString desktopEntry() const { return QStringLiteral("io.github.larkspur_player.Larkspur"); }
    QStringList none() const { return {}; }

public slots:
    void Raise() { call(m_service->control().raise); }
    void Quit() { call(m_service->control().quit); }

private:
    MprisService* m_service;
};

class PlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one WRITE setRate)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ yes)
    Q_PROPERTY(bool CanControl READ yes)

public:
    PlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}
    const MprisControl& c() const { return m_service->control(); }
    QString playbackStatus() const { return c().status ? c().status() : QStringLiteral("Stopped"); }
    double one() const { return 1.0; }
    // The one rate there is stays; 0.0 is a pause, as clients that pause that way expect.
    void setRate(double rate)
    {
        if (rate == 0.0) call(c().pause);
    }
    QVariantMap metadata() const { return metadataOf(track()); }
    double volume() const { return c().volume ? c().volume() : 1.0; }
    void setVolume(double v)
    {
        // NaN and infinities are no level; a cast of them would be undefined.
        if (c().setVolume && std::isfinite(v)) c().setVolume(std::clamp(v, 0.0, 1.0));
    }
    qlonglong position() const { return c().positionMs ? qlonglong(c().positionMs()) * 1000 : 0; }
    bool canGoPrevious() const { return c().canGoPrevious && c().canGoPrevious(); }
    bool yes() const { return true; }
    bool no() const { return false; }

public slots:
    void Next() { call(c().next); }
    void Previous() { call(c().previous); }
    void Pause() { call(c().pause); }
    void PlayPause() { call(c().playPause); }
    void Stop() { call(c().stop); }
    void Play() { call(c().play); }
    // Offsets and positions are microseconds.
    void Seek(qlonglong Offset)
    {
        const MprisTrack t = track();
        if (t.index < 0 || !c().positionMs) return;
        const long long target = c().positionMs() + Offset / 1000;
        if (t.lengthMs > 0 && target > t.lengthMs)
            call(c().next);
        else
            seekTo(std::max(0LL, target));
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
    {
        const MprisTrack t = track();
        // Another id is a client that has not yet seen the song change.
        if (t.index < 0 || TrackId.path() != trackIdOf(t) || Position < 0 ||
            (t.lengthMs > 0 && Position / 1000 > t.lengthMs))
            return;
        seekTo(Position / 1000);
    }
    void OpenUri(const QString& Uri) { Q_UNUSED(Uri); } // no schemes are offered

signals:
    void Seeked(qlonglong Position);

private:
    MprisTrack track() const { return c().track ? c().track() : MprisTrack{}; }
    void seekTo(long long ms)
    {
        if (c().seek) call([this, ms] { c().seek(ms); });
    }

    MprisService* m_service;
};

} // namespace
std::string fileUri(std::string_view path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (keptInPath(b)) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[b >> 4];
            uri += hex[b & 0xF];
        }
    }
    return uri;
}


MprisService::MprisService(MprisControl control, QObject* parent)
    : QObject(parent), m_control(std::move(control))
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
}

MprisService::~MprisService()
{
    if (!m_registered) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(QString::fromLatin1(kServiceName));
}

bool MprisService::registerOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this)) return false;
    if (!bus.registerService(QString::fromLatin1(kServiceName))) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    m_registered = true;
    return true;
}

void MprisService::playerChanged(const QStringList& properties)
{
    if (!m_registered || properties.isEmpty()) return;
    auto* player = findChild<PlayerAdaptor*>();
    QVariantMap changed;
    for (const QString& name : properties) {
        const QVariant value = player->property(name.toLatin1().constData());
        // Only changes go out: the window repeats a status that stays (Next while playing).
        if (!value.isValid() || m_announced.value(name) == value) continue;
        changed.insert(name, value);
        m_announced.insert(name, value);
    }
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::seeked(long long positionMs)
{
    if (m_registered) emit findChild<PlayerAdaptor*>()->Seeked(qlonglong(positionMs) * 1000);
}

} // namespace larkspur

#include "Mpris.moc"
