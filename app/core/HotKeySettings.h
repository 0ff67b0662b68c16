#pragma once
// The ten global hotkeys of the window: their stored names, default texts and the switch
// that turns them all off and on. A text that is absent from the store is the default; an
// empty one stands for no hotkey. Kept apart from the twelve window settings, whose order of
// writing is fixed.

#include "app/core/SettingsStore.h"

#include <array>
#include <string>

namespace larkspur {

// In the order the window registers and compares them.
enum class HotKeyAction {
    Pause,
    Next,
    FindSong,
    Translate,
    Catalogue,
    VolumeDown,
    VolumeUp,
    LyricsSearch,
    Show,
    Close
};

struct HotKeyBinding
{
    HotKeyAction action;
    const char* settingName;
    const char* defaultText;
};

inline constexpr std::array<HotKeyBinding, 10> kHotKeyBindings = {{
    {HotKeyAction::Pause, "Hotkey Pause", "Ctrl+Shift+P"},
    {HotKeyAction::Next, "Hotkey Next", "Ctrl+Shift+N"},
    {HotKeyAction::FindSong, "Hotkey Find song", "Ctrl+Shift+F"},
    {HotKeyAction::Translate, "Hotkey Translate", "Ctrl+Shift+T"},
    {HotKeyAction::Catalogue, "Hotkey Lyrics catalogue", "Ctrl+Shift+L"},
    {HotKeyAction::VolumeDown, "Hotkey Volume down", "Ctrl+Shift+1"},
    {HotKeyAction::VolumeUp, "Hotkey Volume up", "Ctrl+Shift+2"},
    {HotKeyAction::LyricsSearch, "Hotkey Lyrics search", "Ctrl+Shift+E"},
    {HotKeyAction::Show, "Hotkey Show", "Ctrl+Shift+S"},
    {HotKeyAction::Close, "Hotkey Close", "Ctrl+Shift+C"},
}};

inline constexpr const char* kGlobalHotkeys = "Global hotkeys";

struct HotKeySettings
{
    std::array<std::string, 10> texts; // by binding
    bool enabled = true;
};

HotKeySettings defaultHotKeySettings();
// Stored texts over the defaults; the switch is off only for a stored "0".
HotKeySettings loadHotKeySettings(SettingsStore& store);
// Only the switch is written: the texts are the user's to add, and the window's own
// settings stay the twelve it writes at exit.
bool saveHotKeySwitch(SettingsStore& store, bool enabled);

} // namespace larkspur
