#pragma once
// Settings kept by QSettings: on Windows the registry key HKEY_CURRENT_USER\Software\Larkspur,
// elsewhere the per-user file Larkspur/Larkspur.conf under $XDG_CONFIG_HOME (or ~/.config).
// Texts are converted between the system's 8-bit encoding and QString.
//
// Not thread-safe; use it from one thread at a time.

#include "app/core/SettingsStore.h"

#include <QString>
#include <memory>

class QSettings;

namespace larkspur {

class QSettingsStore : public SettingsStore
{
  public:
    // The per-user location, looked up now (so a changed XDG_CONFIG_HOME is honoured).
    QSettingsStore();
    // An INI file at the given path.
    explicit QSettingsStore(QString iniFile);
    ~QSettingsStore() override;

    std::optional<std::string> read(const std::string& name) override;
    bool writeAll(const SettingValues& values) override;
    std::string location() const override;

    // Where the per-user file lives on platforms without a registry.
    static QString userConfigFile();

  private:
    std::unique_ptr<QSettings> open() const;

    QString m_iniFile; // empty: the native per-user location
    std::unique_ptr<QSettings> m_reader;
};

} // namespace larkspur
