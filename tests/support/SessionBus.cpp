#include "support/SessionBus.h"

#include <QFile>

namespace larkspur::test {

SessionBus::SessionBus(const QStringList& serviceFolders)
{
    // As the session bus's own configuration, less its service folders and its limits.
    QByteArray config = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                        "Configuration 1.0//EN\" "
                        "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                        "<busconfig><type>session</type><listen>unix:dir=" +
                        m_dir.path().toUtf8() +
                        "</listen><auth>EXTERNAL</auth>"
                        "<policy context=\"default\"><allow send_destination=\"*\" "
                        "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                        "</policy>";
    for (const QString& folder : serviceFolders)
        config += "<servicedir>" + folder.toUtf8() + "</servicedir>";
    config += "</busconfig>\n";
    QFile file(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) return;
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + file.fileName(), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
}

SessionBus::~SessionBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished(3000);
}

} // namespace larkspur::test
