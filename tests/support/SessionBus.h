#pragma once
// A private session bus for a test's programs, ended with the test. Its configuration has no
// service folders, so nothing installed (a desktop portal, a notification daemon) starts on it.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace larkspur::test {

class SessionBus
{
public:
    SessionBus()
    {
        QFile conf(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!conf.open(QIODevice::WriteOnly)) return;
        conf.write("<busconfig><type>session</type><listen>unix:dir=" + m_dir.path().toUtf8() +
                   "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                   "</policy></busconfig>");
        conf.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + conf.fileName(),
                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~SessionBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

} // namespace larkspur::test
