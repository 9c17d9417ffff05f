#include "file_access.h"

#include "unique_handle.h"
#include "wide_text.h"

// <windows.h> names its own ReplaceFileW ReplaceFile; ours is the tool's.
#undef ReplaceFile

#include <algorithm>
#include <atomic>
#include <climits>
#include <utility>

namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Stored(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
// INVALID_HANDLE_VALUE is -1, the classes' "no file".
constexpr std::intptr_t kNone = -1;
// "An operation is not supported on a directory": what opening a folder
// for its contents answers (newer SDKs call it ERROR_DIRECTORY_NOT_SUPPORTED).
constexpr int kFolderCode = 336;

int LastError() { return static_cast<int>(::GetLastError()); }

int WriteAllTo(HANDLE h, std::string_view contents)
{
    std::size_t done = 0;
    while (done < contents.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(h, contents.data() + done, chunk, &n, nullptr))
            return LastError();
        done += n;
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash + (slash == 2 && path[1] == ':' ? 1 : 0));
}

// A name in `folder` that does not depend on the target's name, so that it
// fits wherever the target's name fits.
std::string TemporaryName(const std::string& folder)
{
    static std::atomic<unsigned> counter{0};
    const std::string separator = !folder.empty() && (folder.back() == '\\' || folder.back() == '/') ? "" : "\\";
    return folder + separator + "~vok-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(counter++) + ".tmp";
}

} // namespace

std::string SystemErrorText(int code)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0,
                                     nullptr);
    std::string message = n > 0 && text ? Narrow(std::wstring_view(text, n)) : std::string();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    if (message.empty())
        message = "Windows error " + std::to_string(static_cast<unsigned>(code));
    return message;
}

InputFile::~InputFile()
{
    if (handle_ != kNone)
        ::CloseHandle(Handle(handle_));
}

int InputFile::Open(const std::string& path)
{
    // Backup semantics let a folder open, so that it is told as a folder
    // rather than as a file the user may not read.
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return path.empty() ? ERROR_FILE_NOT_FOUND : LastError();
    handle_ = Stored(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return kFolderCode;
    return 0;
}

int InputFile::Examine(bool& regular, std::uint64_t& size)
{
    const HANDLE h = Handle(handle_);
    regular = ::GetFileType(h) == FILE_TYPE_DISK;
    size = 0;
    if (!regular)
        return 0;
    LARGE_INTEGER bytes{};
    if (!::GetFileSizeEx(h, &bytes))
        return LastError();
    size = static_cast<std::uint64_t>(std::max<LONGLONG>(bytes.QuadPart, 0));
    return 0;
}

int InputFile::Read(char* into, std::size_t capacity, std::size_t& got)
{
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
    if (!::ReadFile(Handle(handle_), into, chunk, &n, nullptr)) {
        const DWORD error = ::GetLastError();
        // A pipe whose writer has gone is at its end.
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            got = 0;
            return 0;
        }
        return static_cast<int>(error);
    }
    got = n;
    return 0;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), owned_(std::exchange(other.owned_, false))
{
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNone);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

OutputFile::~OutputFile() { Close(); }

OutputFile OutputFile::StandardOutput()
{
    OutputFile out;
    out.handle_ = Stored(::GetStdHandle(STD_OUTPUT_HANDLE));
    return out;
}

int OutputFile::Open(const std::string& path, Create create, bool)
{
    // Nothing here blocks on a pipe without a reader: the flag is POSIX's.
    Close();
    const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   create == Create::Truncate ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return path.empty() ? ERROR_FILE_NOT_FOUND : LastError();
    handle_ = Stored(h);
    owned_ = true;
    return 0;
}

bool OutputFile::IsRegular() const { return handle_ != kNone && ::GetFileType(Handle(handle_)) == FILE_TYPE_DISK; }

int OutputFile::Write(std::string_view bytes) { return WriteAllTo(Handle(handle_), bytes); }

int OutputFile::SyncData() { return ::FlushFileBuffers(Handle(handle_)) ? 0 : LastError(); }

int OutputFile::Close()
{
    int code = 0;
    if (owned_ && handle_ != kNone && !::CloseHandle(Handle(handle_)))
        code = LastError();
    handle_ = kNone;
    owned_ = false;
    return code;
}

// The contents go to a temporary file beside the target, are flushed to the
// disk, and the file then takes the target's name in one step that also
// goes through the disk's cache. The temporary file is removed whenever a
// step fails.
int ReplaceFile(const std::string& path, std::string_view contents)
{
    if (path.empty())
        return ERROR_FILE_NOT_FOUND;
    const std::string folder = FolderOf(path);
    std::string name;
    UniqueHandle file;
    for (int attempt = 0; !file; ++attempt) {
        name = TemporaryName(folder);
        file.reset(::CreateFileW(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        if (!file && (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100))
            return LastError();
    }
    int code = WriteAllTo(file.get(), contents);
    if (code == 0 && !::FlushFileBuffers(file.get()))
        code = LastError();
    file.reset();
    if (code == 0 && !::MoveFileExW(Widen(name).c_str(), Widen(path).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = LastError();
    if (code != 0)
        ::DeleteFileW(Widen(name).c_str());
    return code;
}
