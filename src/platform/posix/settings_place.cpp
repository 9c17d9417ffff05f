#include "settings_place.h"

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

// An XDG base folder: the variable when it holds an absolute path, else
// `fallback` below the home folder.
std::string XdgFolder(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return std::string(value) + "/vok-tarnel";
    return HomeFolder() + "/" + fallback + "/vok-tarnel";
}

} // namespace

std::string IniPathFor(const std::string& executablePath)
{
    const auto slash = executablePath.find_last_of('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = executablePath.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return executablePath + ".ini";
    return executablePath.substr(0, dot) + ".ini";
}

std::string UserSettingsFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

std::string LinkSettingsPath(const std::string& executablePath)
{
    const std::string folder = FolderOf(executablePath);
    if (!UnderUsr(folder) && Writable(folder))
        return IniPathFor(executablePath);
    return UserSettingsFolder() + "/vok-tarnel.ini";
}

std::string ExecutablePath()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::string> MakeFolders(const std::string& folder)
{
    const auto isFolder = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && !isFolder(part) && ::mkdir(part.c_str(), 0700) != 0) {
            const int error = errno == EEXIST && !isFolder(part) ? ENOTDIR : errno;
            if (error != EEXIST)
                return std::string(std::strerror(error));
        }
        if (slash == std::string::npos)
            return std::nullopt;
    }
}

std::optional<std::string> MakeSettingsFolder(const std::string& iniPath)
{
    if (auto reason = MakeFolders(FolderOf(iniPath)))
        return "Не удалось записать файл настроек " + iniPath + ": " + *reason;
    return std::nullopt;
}
