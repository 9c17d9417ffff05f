#include "history_place.h"

#include "settings_place.h"

std::string DefaultHistoryPath()
{
    const std::string folder = UserDataFolder();
    if (folder.empty())
        return {};
    return folder + "/history.sqlite";
}
