#pragma once
// The start-up dialog that asks for the song list.

#include <string>

class QWidget;

namespace larkspur {

// Asks for an existing song list in `folder`; opens on the text filter, since song lists are
// text files, with the playlist filters still offered. Empty when cancelled.
std::string askListFileDialog(QWidget* parent, const std::string& folder);

} // namespace larkspur
