#include "app/core/SettingsPanel.h"

namespace larkspur {

OptionEdits optionEditsFrom(const FormState& state)
{
    return {state.SplitterChar, state.Preamble, state.Appendix,
            std::to_string(state.EntriesPerPage), std::to_string(state.FadeSpeed)};
}

void applyOptionEdits(const OptionEdits& edits, FormState& state)
{
    state.Preamble = edits.preamble;
    state.Appendix = edits.appendix;
    state.SplitterChar = edits.splitter;
    state.EntriesPerPage = clampSetting(kEntriesPerPage, lenientInteger(edits.entriesPerPage));
    state.FadeSpeed = clampSetting(kFadeSpeed, lenientInteger(edits.fadeSpeed));
    // A single character assigned, which also sidesteps a false -Wrestrict of GCC 12.
    if (state.SplitterChar.empty()) state.SplitterChar.assign(1, '-');
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
