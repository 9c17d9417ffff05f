#pragma once
// Where the window keeps its INI file. Beside the executable (its path with
// ".ini" for its extension) while that folder is the user's to write, as for
// a program run from its build or unpacked folder. An installed program's
// folder is not: then the file is $XDG_CONFIG_HOME/vok-tarnel/vok-tarnel.ini
// (by default ~/.config/vok-tarnel/vok-tarnel.ini). A folder under /usr
// counts as not writable also for root, since /usr stays read-only while
// programs run. vokctl asks the same rule for the window's executable beside
// it, so both read one file.

#include <optional>
#include <string>

std::string LinkSettingsPath(const std::string& executablePath);

// The folder for the INI file in the user's configuration folder, honouring
// an absolute $XDG_CONFIG_HOME, else $HOME/.config, else the home folder of
// the user's account.
std::string UserSettingsFolder();

// Creates the folder that holds `iniPath` with any missing parents (mode
// 0700, as the user's configuration folder is made). The INI layer's message
// when that fails.
std::optional<std::string> MakeSettingsFolder(const std::string& iniPath);
