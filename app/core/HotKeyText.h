#pragma once
// Hotkey values and their texts ("Ctrl+Shift+P" <-> 0x6050). A value holds a Windows-style
// virtual key code in its low 8 bits and the modifiers above it; the names of keys come
// from a table of the US English keyboard (not localized) or, localized, from the
// translations installed in the application (the same ones Qt uses for shortcuts).

#include <QString>
#include <cstdint>

namespace larkspur {

using HotKeyValue = std::uint32_t;

// Bits of a hotkey value.
inline constexpr HotKeyValue kHotKeyShift = 0x2000;
inline constexpr HotKeyValue kHotKeyCtrl = 0x4000;
inline constexpr HotKeyValue kHotKeyAlt = 0x8000;
inline constexpr HotKeyValue kHotKeyWin = 0x10000;

// Modifier flags as a registration call takes them.
inline constexpr std::uint16_t kModAlt = 1;
inline constexpr std::uint16_t kModCtrl = 2;
inline constexpr std::uint16_t kModShift = 4;
inline constexpr std::uint16_t kModWin = 8;

HotKeyValue ComposeHotKey(std::uint16_t modifiers, std::uint16_t key);
void SplitHotKey(HotKeyValue hotKey, std::uint16_t& modifiers, std::uint16_t& key);

// 0 when the text names no valid hotkey.
HotKeyValue ParseHotKey(const QString& text, bool localized);
std::uint16_t ParseModifiers(const QStringList& tokens, bool localized);
std::uint16_t ParseKeyName(const QStringList& tokens, bool localized);
std::uint16_t FindKeyByName(const QString& name, bool localized);

QString HotKeyDisplayText(HotKeyValue hotKey, bool localized);
QString ModifierPrefix(HotKeyValue hotKey, bool localized);
QString KeyDisplayName(std::uint16_t key, bool extended, bool localized);

// The user's names for Shift, Ctrl, Alt and Win, read once from the installed translations;
// call again after installing a different translator.
void refreshLocalKeyNames();

// The X11 keysym of a virtual key, 0 when the table has none.
std::uint32_t keysymForVirtualKey(std::uint16_t key);

// The desktop portals' trigger text of a hotkey value: modifiers CTRL, ALT, SHIFT, LOGO and
// the key's XKB keysym name, joined by "+" ("CTRL+SHIFT+p" for Ctrl+Shift+P). Empty when the
// key cannot trigger a shortcut there: a modifier or lock key, or one without a keysym name.
QString PortalTrigger(HotKeyValue hotKey);
// The way back; 0 when the text names no key of the table or uses another modifier.
HotKeyValue ParsePortalTrigger(const QString& trigger);

} // namespace larkspur
