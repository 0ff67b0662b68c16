#pragma once
// A private session bus for a test's programs, ended with the test. It has a configuration of
// its own with no standard service folders, so nothing installed on the machine (a desktop
// portal, a notification daemon) is ever started on it; only the folders given are.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace larkspur::test {

class SessionBus
{
  public:
    explicit SessionBus(const QStringList& serviceFolders = {});
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    QString address() const { return m_address; }
    qint64 pid() const { return m_daemon.processId(); }

  private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

} // namespace larkspur::test
