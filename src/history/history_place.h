#pragma once
// Where the history file lives: the user's data folder.

#include <string>

// $XDG_DATA_HOME/vok-tarnel/history.sqlite, ~/.local/share/vok-tarnel/...
// when XDG_DATA_HOME is not set (or not absolute); "" when neither it nor
// HOME is known.
std::string DefaultHistoryPath();
