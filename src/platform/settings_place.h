#pragma once
// Where the tool keeps its files. The window's INI file goes beside the
// executable (its path with ".ini" for its extension) while that folder is
// the user's to write, as for a program run from its build or unpacked
// folder. An installed program's folder is not: then the file is in the
// user's configuration folder (Linux: $XDG_CONFIG_HOME/vok-tarnel/
// vok-tarnel.ini, by default ~/.config/vok-tarnel/vok-tarnel.ini; a folder
// under /usr counts as not writable also for root, since /usr stays
// read-only while programs run). vokctl asks the same rule for the window's
// executable beside it, so both read one file.

#include <optional>
#include <string>

std::string LinkSettingsPath(const std::string& executablePath);

// The INI file beside an executable: its path with ".ini" for its extension.
std::string IniPathFor(const std::string& executablePath);

// The folder for the INI file in the user's configuration folder (Linux:
// an absolute $XDG_CONFIG_HOME, else $HOME/.config, else the home folder of
// the user's account, with vok-tarnel below).
std::string UserSettingsFolder();

// The folder for the user's own data (records of visits and the like), not
// settings (Linux: an absolute $XDG_DATA_HOME, else $HOME/.local/share,
// with vok-tarnel below). Not created here: see MakeFolders.
std::string UserDataFolder();

// The running program's own file, as the system knows it; empty when it
// cannot be told.
std::string ExecutablePath();

// Creates `folder` with any missing parents, private to the user. The
// system's reason when that fails.
std::optional<std::string> MakeFolders(const std::string& folder);

// Creates the folder that holds `iniPath` with any missing parents. The
// INI layer's message when that fails.
std::optional<std::string> MakeSettingsFolder(const std::string& iniPath);
