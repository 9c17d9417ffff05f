#include "settings_place.h"

#include "file_access.h"
#include "wide_text.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <string_view>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The parts of a path that exist or do not but are never made: "", "\\",
// "C:", "\\server" and "\\server\share".
bool IsRoot(const std::string& part)
{
    if (part.find_first_not_of("\\/") == std::string::npos || part.back() == ':')
        return true;
    if (part.size() > 2 && IsSeparator(part[0]) && IsSeparator(part[1]))
        return std::count_if(part.begin() + 2, part.end(), IsSeparator) <= 1;
    return false;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash);
}

// Writable as far as a file made there by this user goes: what ACLs, a
// read-only medium and Program Files under UAC say together, which only
// trying tells. The probe vanishes with its handle.
bool Writable(const std::string& folder)
{
    static std::atomic<unsigned> counter{0};
    const std::string probe = folder + "\\~vok-probe-" + std::to_string(::GetCurrentProcessId()) + "-" +
                              std::to_string(counter++) + ".tmp";
    const HANDLE h = ::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

// A known folder of the user's (roaming or local application data), with
// the tool's own folder below it; the environment's variable when the
// shell does not answer.
std::string KnownFolder(const KNOWNFOLDERID& id, const char* variable)
{
    std::string base;
    PWSTR path = nullptr;
    if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK && path)
        base = Narrow(path);
    ::CoTaskMemFree(path);
    if (base.empty()) {
        wchar_t value[MAX_PATH];
        const std::wstring name = Widen(variable);
        const DWORD n = ::GetEnvironmentVariableW(name.c_str(), value, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            base = Narrow(std::wstring_view(value, n));
    }
    return base + "\\VOK Tarnel";
}

} // namespace

std::string IniPathFor(const std::string& executablePath)
{
    const auto slash = executablePath.find_last_of("\\/");
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = executablePath.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return executablePath + ".ini";
    return executablePath.substr(0, dot) + ".ini";
}

std::string UserSettingsFolder() { return KnownFolder(FOLDERID_RoamingAppData, "APPDATA"); }

std::string UserDataFolder() { return KnownFolder(FOLDERID_LocalAppData, "LOCALAPPDATA"); }

// Beside the executable in a folder the user may write (a portable copy on
// a stick or an unpacked archive), else %APPDATA%\VOK Tarnel\vok-tarnel.ini
// (an installed copy under Program Files).
std::string LinkSettingsPath(const std::string& executablePath)
{
    if (Writable(FolderOf(executablePath)))
        return IniPathFor(executablePath);
    return UserSettingsFolder() + "\\vok-tarnel.ini";
}

std::string ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size())
            return Narrow(std::wstring_view(path.data(), n));
        path.resize(path.size() * 2);
    }
}

std::optional<std::string> MakeFolders(const std::string& folder)
{
    for (std::size_t at = 0; at <= folder.size(); ++at) {
        if (at < folder.size() && !IsSeparator(folder[at]))
            continue;
        const std::string part = folder.substr(0, at);
        if (IsRoot(part))
            continue;
        if (::CreateDirectoryW(Widen(part).c_str(), nullptr))
            continue;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            return SystemErrorText(static_cast<int>(error));
        const DWORD attributes = ::GetFileAttributesW(Widen(part).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return SystemErrorText(ERROR_DIRECTORY);
    }
    return std::nullopt;
}

std::optional<std::string> MakeSettingsFolder(const std::string& iniPath)
{
    if (auto reason = MakeFolders(FolderOf(iniPath)))
        return "Не удалось записать файл настроек " + iniPath + ": " + *reason;
    return std::nullopt;
}
