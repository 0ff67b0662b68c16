#pragma once
// The persisted window geometry and options: a plain struct with the start-up defaults, the
// thirteen value names in the order they are read and written, and the conversions.
//
// Texts are bytes in the system encoding. Numbers are stored as decimal text. An empty stored
// text counts as a missing value: the setting keeps whatever the struct held before loading.
//
// Typical use in the window:
//   Settings s;                                   // defaults
//   QSettingsStore store;                         // per-user location
//   for (const auto& name : loadSettings(store, s)) { /* optional: note the ignored value */ }
//   apply s to the window: geometry, Preamble, ..., FadeSpeed before the volume track bar;
//   ...
//   fill s from the window, then: if (!saveSettings(store, s)) { /* report, close anyway */ }

#include "app/core/SettingsStore.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur {

// Value names, in read and write order.
inline constexpr const char* kWindowXPosition = "Window X position";
inline constexpr const char* kWindowYPosition = "Window Y position";
inline constexpr const char* kWindowXSize = "Window X size";
inline constexpr const char* kWindowYSize = "Window Y size";
inline constexpr const char* kPanelSize = "Panel size";
inline constexpr const char* kPreambel = "Preambel";
inline constexpr const char* kAppendix = "Appendix";
inline constexpr const char* kSplitter = "Splitter";
inline constexpr const char* kEntriesPerPage = "Entries per page";
inline constexpr const char* kFontSize = "Font size";
inline constexpr const char* kFadeSpeed = "Fade speed";
inline constexpr const char* kVolume = "Volume";
inline constexpr const char* kLyricsDatabase = "LyricsDatabase";

inline constexpr std::array<const char*, 13> kSettingNames = {
    kWindowXPosition, kWindowYPosition, kWindowXSize,   kWindowYSize,    kPanelSize,
    kPreambel,        kAppendix,        kSplitter,      kEntriesPerPage, kFontSize,
    kFadeSpeed,       kVolume,          kLyricsDatabase};

// The sane range of each number: a value out of it (a hand edit, a corrupt store) is pulled
// to the nearer end on load and from the settings frame, so a window is never placed off
// every screen and the catalogue's paging never overflows.
struct SettingRange
{
    const char* name;
    int lowest, highest;
};
inline constexpr std::array<SettingRange, 9> kSettingRanges = {{
    {kWindowXPosition, -16384, 16384},
    {kWindowYPosition, -16384, 16384},
    {kWindowXSize, 100, 8192},
    {kWindowYSize, 100, 8192},
    {kPanelSize, 20, 4096},
    {kEntriesPerPage, 1, 1000},
    {kFontSize, 4, 96},
    {kFadeSpeed, 1, 1000},
    {kVolume, 0, 1000},
}};

// `value` pulled into the range of the setting `name`; unchanged for a name without one.
int clampSetting(std::string_view name, int value);

struct Settings
{
    std::optional<int> windowX; // left edge, pixels; none: the system places the window
    std::optional<int> windowY; // top edge, pixels
    int windowWidth = 367;      // without the side frame
    int windowHeight = 457;
    int panelWidth = 230; // width of the side frame panel
    std::string preamble = "lyrics";
    std::string appendix;
    std::string splitter = "-";
    int entriesPerPage = 10;
    int fontPointSize = 8; // the lyrics memo's font
    int fadeSpeed = 50;
    int volumeTrackPosition = 100; // 0..100; stored as position x 10, loaded as value / 10
    bool lyricsDatabase = true;    // ask the lyrics database at a song start; stored as 1 or 0

    bool operator==(const Settings&) const = default;
};

// Decimal integer with optional leading blanks and sign, nothing else; none otherwise.
std::optional<int> strictInteger(std::string_view text);

// The text's leading integer (blanks skipped, optional sign, digits up to the first other
// character); 0 when the text does not start with one. Saturates at the int range.
int lenientInteger(std::string_view text);

// Overlays the stored values on `settings`, reading the names in order. Absent and
// empty values leave the field as it was. A value that should be a strict integer but is not
// also leaves the field alone: its name is returned, and loading goes on with the next value.
std::vector<std::string> loadSettings(SettingsStore& store, Settings& settings);

// Writes all values in order and commits the store. An unset window position is
// written as empty text, which loads back as "unset". Returns false when any write or the
// commit failed; never throws for an unwritable store.
bool saveSettings(SettingsStore& store, const Settings& settings);

} // namespace larkspur
