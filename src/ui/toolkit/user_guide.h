#pragma once
// The Russian user guide, one HTML page with the window's pictures, opened
// with F1 in the system's browser. It lies beside the installed program:
// share/vok-tarnel/guide/ of the installation (Debian), or guide/ in the
// program's own folder (a folder that holds the program on Windows).

#include <string>

// Where the guide of the program in `programFolder` is looked for, in order.
std::string UserGuidePath(const std::string& programFolder);

// Opens the guide; an error box when it is not there or nothing can show it.
void OpenUserGuide();
