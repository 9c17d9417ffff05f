#include "history_place.h"

#include <cstdlib>

std::string DefaultHistoryPath()
{
    std::string folder;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/')
        folder = dataHome;
    else if (home && home[0] != '\0')
        folder = std::string(home) + "/.local/share";
    else
        return {};
    return folder + "/vok-tarnel/history.sqlite";
}
