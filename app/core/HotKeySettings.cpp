#include "app/core/HotKeySettings.h"

namespace larkspur {

HotKeyValue settingHotKey(const std::string& text)
{
    const QString t = QString::fromLocal8Bit(text);
    if (const HotKeyValue value = ParseHotKey(t, false)) return value;
    return ParsePortalTrigger(t.trimmed());
}

HotKeySettings defaultHotKeySettings()
{
    HotKeySettings s;
    for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i)
        s.texts[i] = kHotKeyBindings[i].defaultText;
    return s;
}

HotKeySettings loadHotKeySettings(SettingsStore& store)
{
    HotKeySettings s = defaultHotKeySettings();
    for (std::size_t i = 0; i < kHotKeyBindings.size(); ++i)
        if (auto text = store.read(kHotKeyBindings[i].settingName)) s.texts[i] = *text;
    if (auto on = store.read(kGlobalHotkeys)) s.enabled = *on != "0";
    return s;
}

bool saveHotKeySwitch(SettingsStore& store, bool enabled)
{
    try {
        return store.writeAll({{kGlobalHotkeys, enabled ? "1" : "0"}});
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace larkspur
