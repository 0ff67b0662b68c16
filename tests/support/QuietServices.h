#pragma once
// The window's services for tests: no dialog ever waits for a person (each answers as if
// cancelled), messages are collected, and every file the window keeps goes to the test's
// folder.

#include "app/TForm1.h"

#include <string>
#include <vector>

namespace larkspur::test {

inline void makeQuiet(FormServices& s, const std::string& folder, std::vector<std::string>* errors)
{
    s.playLogFile = folder + "/log.txt";
    s.backupFolder = folder + "/backup";
    s.runtimeFolder = folder + "/run";
    s.showError = [errors](const std::string& e) {
        if (errors) errors->push_back(e);
    };
    s.showFatal = [errors](const std::string& e) {
        if (errors) errors->push_back("fatal: " + e);
    };
    s.showInfo = [](const std::string&) {};
    s.askListFile = [](const std::string&) { return std::string(); };
    s.askPlaylistFile = [](const std::string&) { return std::string(); };
    s.askDirectory = [](const std::string&) { return std::string(); };
    s.askSaveFile = [](const SaveProposal&) { return std::string(); };
    s.askText = [](const std::string&, std::string&) { return false; };
}

} // namespace larkspur::test
