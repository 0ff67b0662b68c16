#include "app/core/QSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace larkspur {

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
    for (const auto& [name, text] : values)
        settings->setValue(QString::fromLocal8Bit(name), QString::fromLocal8Bit(text));
    settings->sync();
    m_reader.reset();
    return settings->status() == QSettings::NoError;
}

} // namespace larkspur
