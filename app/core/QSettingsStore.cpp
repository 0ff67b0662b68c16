#include "app/core/QSettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace larkspur {

namespace {

// "lock", "lock.rmlock", "lock.rmlock.rmlock"...: Qt's lock file and the locks guarding
// its take-over.
bool isLockChain(QStringView suffix)
{
    const QLatin1String lock("lock"), rmlock(".rmlock");
    if (!suffix.startsWith(lock)) return false;
    suffix = suffix.mid(lock.size());
    while (suffix.startsWith(rmlock)) suffix = suffix.mid(rmlock.size());
    return suffix.isEmpty();
}

// A holder writes its process id right after making its lock file, so an empty one older
// than a second is a killed holder's. Qt would take such a file for a live lock for half a
// minute, and the window would hang in the save for as long.
void removeEmptyLocks(const QString& file)
{
    const QFileInfo info(file);
    const QString prefix = info.fileName() + QLatin1Char('.');
    QDir folder = info.dir();
    const auto names = folder.entryList({prefix + QStringLiteral("lock*")},
                                        QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!isLockChain(QStringView(name).mid(prefix.size()))) continue;
        for (;;) {
            const QFileInfo lock(folder.filePath(name));
            if (!lock.exists() || lock.size() != 0) break;
            const qint64 age = lock.lastModified().msecsTo(QDateTime::currentDateTime());
            if (age >= 1000 || age < 0) {
                folder.remove(name);
                break;
            }
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(1000 - age, 200)) + 1);
        }
    }
}

// Qt saves the settings to a new file and renames it over the old one, under the lock file
// "<file>.lock". The new file is unnamed where the file system allows, but is named
// "<file>.XXXXXX" just before the rename (and all along elsewhere). Qt takes over the lock
// of a killed holder by way of "<file>.lock.rmlock", itself a lock that a kill can leave,
// and so on. A kill can leave any of these; under Qt's lock no save is under way, so such a
// file is a leftover.
void removeKilledSaves(const QString& file)
{
    removeEmptyLocks(file);
    const QString lockName = file + QStringLiteral(".lock");
    QLockFile lock(lockName);
    if (!lock.tryLock(1000)) return;
    const QFileInfo info(file);
    const QString prefix = info.fileName() + QLatin1Char('.');
    QDir folder = info.dir();
    const auto names = folder.entryList({prefix + QLatin1Char('*')},
                                        QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        QStringView suffix = QStringView(name).mid(prefix.size());
        // Qt's six random letters and digits; a word in lower case ("backup") may be the user's.
        bool leftover =
            suffix.size() == 6 &&
            std::all_of(suffix.begin(), suffix.end(),
                        [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }) &&
            !std::all_of(suffix.begin(), suffix.end(), [](QChar c) { return c.isLower(); });
        if (suffix != QLatin1String("lock") && isLockChain(suffix)) leftover = true;
        if (leftover) folder.remove(name);
    }
}

} // namespace

QString QSettingsStore::userConfigFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Larkspur/Larkspur.conf");
}

QSettingsStore::QSettingsStore()
{
#ifndef Q_OS_WIN
    // QSettings caches its default folders for the whole process; naming the file here
    // makes a later change of XDG_CONFIG_HOME count.
    m_iniFile = userConfigFile();
#endif
}

QSettingsStore::QSettingsStore(QString iniFile) : m_iniFile(std::move(iniFile)) {}

QSettingsStore::~QSettingsStore() = default;

std::string QSettingsStore::location() const
{
    return (m_iniFile.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\Larkspur") : m_iniFile)
        .toLocal8Bit()
        .toStdString();
}

std::unique_ptr<QSettings> QSettingsStore::open() const
{
    if (m_iniFile.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Larkspur"),
                                           QSettings::NativeFormat);
    return std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
}

std::optional<std::string> QSettingsStore::read(const std::string& name)
{
    if (!m_reader) m_reader = open();
    const QVariant value = m_reader->value(QString::fromLocal8Bit(name));
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().toLocal8Bit().toStdString();
}

bool QSettingsStore::writeAll(const SettingValues& values)
{
    // A fresh object, so its status tells about this write alone.
    auto settings = open();
    if (!settings->isWritable()) return false;
    if (!m_iniFile.isEmpty()) removeKilledSaves(m_iniFile);
    for (const auto& [name, text] : values)
        settings->setValue(QString::fromLocal8Bit(name), QString::fromLocal8Bit(text));
    settings->sync();
    m_reader.reset();
    return settings->status() == QSettings::NoError;
}

} // namespace larkspur
