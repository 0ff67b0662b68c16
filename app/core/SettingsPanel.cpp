#include "app/core/SettingsPanel.h"

namespace larkspur {

namespace {

// Takes `text` into `value` when it reads as a number within the range of `name`; otherwise
// keeps `value` and adds the refusal to `refused`.
void takeNumber(const std::string& text, std::string_view name, const char* caption,
                int& value, std::string& refused)
{
    const int wanted = lenientInteger(text);
    for (const SettingRange& r : kSettingRanges) {
        if (r.name != name || (wanted >= r.lowest && wanted <= r.highest)) continue;
        if (!refused.empty()) refused += ' ';
        refused += std::string(caption) + " must be " + std::to_string(r.lowest) + " to " +
                   std::to_string(r.highest) + "; kept " + std::to_string(value) + ".";
        return;
    }
    value = wanted;
}

} // namespace

OptionEdits optionEditsFrom(const FormState& state)
{
    return {state.SplitterChar, state.Preamble, state.Appendix,
            std::to_string(state.EntriesPerPage), std::to_string(state.FadeSpeed)};
}

std::string applyOptionEdits(const OptionEdits& edits, FormState& state)
{
    state.Preamble = edits.preamble;
    state.Appendix = edits.appendix;
    state.SplitterChar = edits.splitter;
    std::string refused;
    takeNumber(edits.entriesPerPage, kEntriesPerPage, "Results per page", state.EntriesPerPage,
               refused);
    takeNumber(edits.fadeSpeed, kFadeSpeed, "Fade speed", state.FadeSpeed, refused);
    // A single character assigned, which also sidesteps a false -Wrestrict of GCC 12.
    if (state.SplitterChar.empty()) state.SplitterChar.assign(1, '-');
    return refused;
}

void applySettingsToState(const Settings& settings, FormState& state)
{
    state.Preamble = settings.preamble;
    state.Appendix = settings.appendix;
    state.SplitterChar = settings.splitter;
    state.EntriesPerPage = settings.entriesPerPage;
    state.FadeSpeed = settings.fadeSpeed;
}

void copyStateToSettings(const FormState& state, Settings& settings)
{
    settings.preamble = state.Preamble;
    settings.appendix = state.Appendix;
    settings.splitter = state.SplitterChar;
    settings.entriesPerPage = state.EntriesPerPage;
    settings.fadeSpeed = state.FadeSpeed;
}

} // namespace larkspur
