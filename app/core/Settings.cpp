#include "app/core/Settings.h"

#include "playback/SongList.h"

#include <algorithm>
#include <climits>

namespace larkspur {

std::optional<int> strictInteger(std::string_view text)
{
    return parseCount(text);
}

int lenientInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

namespace {

std::string decimal(int value)
{
    return std::to_string(value);
}

} // namespace

int clampSetting(std::string_view name, int value)
{
    for (const SettingRange& r : kSettingRanges)
        if (name == r.name) return std::clamp(value, r.lowest, r.highest);
    return value;
}

std::vector<std::string> loadSettings(SettingsStore& store, Settings& s)
{
    std::vector<std::string> rejected;
    for (const char* name : kSettingNames) {
        const std::optional<std::string> stored = store.read(name);
        if (!stored || stored->empty()) continue;
        const std::string_view key = name;
        const std::string& text = *stored;

        if (key == kPreambel)
            s.preamble = text;
        else if (key == kAppendix)
            s.appendix = text;
        else if (key == kSplitter)
            s.splitter = text;
        else if (key == kEntriesPerPage)
            s.entriesPerPage = clampSetting(key, lenientInteger(text));
        else if (key == kFadeSpeed)
            s.fadeSpeed = clampSetting(key, lenientInteger(text));
        else if (key == kLyricsDatabase)
            s.lyricsDatabase = lenientInteger(text) != 0;
        else {
            std::optional<int> value = strictInteger(text);
            if (value) value = clampSetting(key, *value);
            if (!value) {
                rejected.emplace_back(name);
                continue;
            }
            if (key == kWindowXPosition)
                s.windowX = *value;
            else if (key == kWindowYPosition)
                s.windowY = *value;
            else if (key == kWindowXSize)
                s.windowWidth = *value;
            else if (key == kWindowYSize)
                s.windowHeight = *value;
            else if (key == kPanelSize)
                s.panelWidth = *value;
            else if (key == kFontSize)
                s.fontPointSize = *value;
            else if (key == kVolume)
                s.volumeTrackPosition = *value / 10;
        }
    }
    return rejected;
}

bool saveSettings(SettingsStore& store, const Settings& s)
{
    const SettingValues values = {
        {kWindowXPosition, s.windowX ? decimal(*s.windowX) : std::string()},
        {kWindowYPosition, s.windowY ? decimal(*s.windowY) : std::string()},
        {kWindowXSize, decimal(s.windowWidth)},
        {kWindowYSize, decimal(s.windowHeight)},
        {kPanelSize, decimal(s.panelWidth)},
        {kPreambel, s.preamble},
        {kAppendix, s.appendix},
        {kSplitter, s.splitter},
        {kEntriesPerPage, decimal(s.entriesPerPage)},
        {kFontSize, decimal(s.fontPointSize)},
        {kFadeSpeed, decimal(s.fadeSpeed)},
        {kVolume, decimal(s.volumeTrackPosition * 10)},
        {kLyricsDatabase, s.lyricsDatabase ? "1" : "0"},
    };
    try {
        return store.writeAll(values);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace larkspur
