#pragma once
// The five options of the settings frame, as the texts of its edits, and their transfer to
// and from the window state. Shown by ShowSettingsFrame, applied by btnsaveClick:
//   applyOptionEdits({edit1, edit2, edit3, edit4, edit5}, state);

#include "app/core/FormState.h"
#include "app/core/Settings.h"

#include <string>

namespace larkspur {

struct OptionEdits
{
    std::string splitter;       // Edit1, at most one character
    std::string preamble;       // Edit2
    std::string appendix;       // Edit3
    std::string entriesPerPage; // Edit4
    std::string fadeSpeed;      // Edit5
};

// The texts the edits show when the frame opens.
OptionEdits optionEditsFrom(const FormState& state);

// Takes the texts over; the numbers leniently (letters alone give 0, "30abc" 30), an empty
// splitter becomes "-". A number outside its sane range is refused and the old value kept;
// the result then says so for the status line ("Results per page must be 1 to 1000; kept
// 10."), and is empty otherwise.
std::string applyOptionEdits(const OptionEdits& edits, FormState& state);

// The options between the persisted settings and the window state (the window applies the
// geometry, font and volume itself, the fade speed before the volume).
void applySettingsToState(const Settings& settings, FormState& state);
void copyStateToSettings(const FormState& state, Settings& settings);

} // namespace larkspur
