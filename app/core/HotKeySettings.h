#pragma once
// The ten global hotkeys of the window: their stored names, default texts and the switch
// that turns them all off and on. A text that is absent from the store is the default; an
// empty one stands for no hotkey. Kept apart from the twelve window settings, whose order of
// writing is fixed.

#include "app/core/HotKeyText.h"
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
    const char* portalId;    // the desktop portal keeps the keys the user chose under it
    const char* description; // how the desktop lists it
};

inline constexpr std::array<HotKeyBinding, 10> kHotKeyBindings = {{
    {HotKeyAction::Pause, "Hotkey Pause", "Ctrl+Shift+P", "pause", "Pause or resume"},
    {HotKeyAction::Next, "Hotkey Next", "Ctrl+Shift+N", "next", "Next song"},
    {HotKeyAction::FindSong, "Hotkey Find song", "Ctrl+Shift+F", "find-song", "Find a song"},
    {HotKeyAction::Translate, "Hotkey Translate", "Ctrl+Shift+T", "translate",
     "Translate the selected word"},
    {HotKeyAction::Catalogue, "Hotkey Lyrics catalogue", "Ctrl+Shift+L", "lyrics-catalogue",
     "Lyrics catalogue search"},
    {HotKeyAction::VolumeDown, "Hotkey Volume down", "Ctrl+Shift+1", "volume-down", "Volume down"},
    {HotKeyAction::VolumeUp, "Hotkey Volume up", "Ctrl+Shift+2", "volume-up", "Volume up"},
    {HotKeyAction::LyricsSearch, "Hotkey Lyrics search", "Ctrl+Shift+E", "lyrics-search",
     "Switch the lyrics search on or off"},
    {HotKeyAction::Show, "Hotkey Show", "Ctrl+Shift+S", "show", "Show the window"},
    {HotKeyAction::Close, "Hotkey Close", "Ctrl+Shift+C", "close", "Close the player"},
}};

inline constexpr const char* kGlobalHotkeys = "Global hotkeys";

struct HotKeySettings
{
    std::array<std::string, 10> texts; // by binding
    bool enabled = true;
};

// A stored text as a hotkey value: the window's own syntax ("Ctrl+Shift+P") or a desktop
// portal's trigger ("CTRL+SHIFT+p", "LOGO+Page_Up"); 0 when it is neither.
HotKeyValue settingHotKey(const std::string& text);

HotKeySettings defaultHotKeySettings();
// Stored texts over the defaults; the switch is off only for a stored "0".
HotKeySettings loadHotKeySettings(SettingsStore& store);
// Only the switch is written: the texts are the user's to add, and the window's own
// settings stay the twelve it writes at exit.
bool saveHotKeySwitch(SettingsStore& store, bool enabled);

} // namespace larkspur
