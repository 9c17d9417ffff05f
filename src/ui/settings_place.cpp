#include "settings_place.h"

#include "link_settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool UnderUsr(const std::string& folder)
{
    return folder == "/usr" || folder.rfind("/usr/", 0) == 0;
}

// Writable by the effective user, as a file created there would be.
bool Writable(const std::string& folder)
{
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* account = ::getpwuid(::geteuid()); account && account->pw_dir)
        return account->pw_dir;
    return {};
}

} // namespace

std::string UserSettingsFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/vok-tarnel";
    return HomeFolder() + "/.config/vok-tarnel";
}

std::string LinkSettingsPath(const std::string& executablePath)
{
    const std::string folder = FolderOf(executablePath);
    if (!UnderUsr(folder) && Writable(folder))
        return IniPathFor(executablePath);
    return UserSettingsFolder() + "/vok-tarnel.ini";
}

std::optional<std::string> MakeSettingsFolder(const std::string& iniPath)
{
    const std::string folder = FolderOf(iniPath);
    const auto isFolder = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!isFolder(part) && ::mkdir(part.c_str(), 0700) != 0) {
            const int error = errno == EEXIST && !isFolder(part) ? ENOTDIR : errno;
            if (error != EEXIST)
                return "Не удалось записать файл настроек " + iniPath + ": " + std::strerror(error);
        }
        if (slash == std::string::npos)
            return std::nullopt;
    }
}
