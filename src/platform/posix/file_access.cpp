#include "file_access.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

int WriteAllTo(int fd, std::string_view contents)
{
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A name in `folder` that does not depend on the target's name, so that it
// fits wherever the target's name fits.
std::string ShortName(const std::string& folder)
{
    static std::atomic<unsigned> counter{0};
    return folder + "/.vok-tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// Writes the contents, gives the file the permissions of the file it
// replaces and flushes it. 0 or the errno of the failed step.
int Fill(int fd, const std::string& path, std::string_view contents)
{
    if (const int code = WriteAllTo(fd, contents))
        return code;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0)
        return errno;
    return ::fsync(fd) != 0 ? errno : 0;
}

void SyncFolder(const std::string& folder)
{
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Gives the complete unnamed file `fd` the name `path`. A file that is
// already there is replaced by a rename from a short name, which exists
// only between two system calls. 0 or the errno of the failed step.
int LinkUnnamed(int fd, const std::string& path, const std::string& folder)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    for (int attempt = 0;; ++attempt) {
        const std::string name = ShortName(folder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST && attempt < 100)
                continue;
            return errno;
        }
        if (::rename(name.c_str(), path.c_str()) != 0) {
            const int code = errno;
            ::unlink(name.c_str());
            return code;
        }
        return 0;
    }
}

// The replacement through an unnamed file (O_TMPFILE), which an interrupted
// replacement cannot leave behind. False when the file system (or the
// kernel, or a missing /proc) does not allow it; `code` is then 0 and the
// caller falls back. A failure of the writing itself sets `code`.
bool ReplaceThroughUnnamed(const std::string& path, const std::string& folder, std::string_view contents,
                           int& code)
{
    code = 0;
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    code = Fill(fd, path, contents);
    const int linked = code == 0 ? LinkUnnamed(fd, path, folder) : 0;
    ::close(fd);
    // The file vanishes with its descriptor when it was not linked.
    if (code != 0)
        return true;
    return linked == 0;
}

// The replacement through a named file beside the target (where the file
// system has no unnamed files, a file with a short hidden name stands in
// for it while it is written).
int ReplaceThroughNamed(const std::string& path, const std::string& folder, std::string_view contents)
{
    std::string name;
    int fd = -1;
    // Created with the usual 0666 less the umask, which the kernel applies;
    // reading the umask would mean changing it, process-wide.
    for (int attempt = 0; fd < 0; ++attempt) {
        name = ShortName(folder);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            return errno;
    }
    int code = Fill(fd, path, contents);
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(name.c_str(), path.c_str()) != 0)
        code = errno;
    if (code != 0)
        ::unlink(name.c_str());
    return code;
}

} // namespace

std::string SystemErrorText(int code) { return std::system_category().message(code); }

InputFile::~InputFile()
{
    if (handle_ >= 0)
        ::close(Fd(handle_));
}

int InputFile::Open(const std::string& path)
{
    // Without blocking, so that a FIFO or a device never stalls the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    handle_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return 0;
}

int InputFile::Examine(bool& regular, std::uint64_t& size)
{
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0)
        return errno;
    regular = S_ISREG(st.st_mode);
    size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
    // A regular file: reads wait in the ordinary way from here on.
    if (regular) {
        if (const int flags = ::fcntl(Fd(handle_), F_GETFL); flags >= 0)
            ::fcntl(Fd(handle_), F_SETFL, flags & ~O_NONBLOCK);
    }
    return 0;
}

int InputFile::Read(char* into, std::size_t capacity, std::size_t& got)
{
    for (;;) {
        const ssize_t n = ::read(Fd(handle_), into, capacity);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), owned_(std::exchange(other.owned_, false))
{
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

OutputFile::~OutputFile() { Close(); }

OutputFile OutputFile::StandardOutput()
{
    OutputFile out;
    out.handle_ = STDOUT_FILENO;
    return out;
}

int OutputFile::Open(const std::string& path, Create create, bool noWait)
{
    Close();
    const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | (create == Create::Truncate ? O_TRUNC : O_EXCL) |
                      (noWait ? O_NONBLOCK : 0);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        return errno;
    handle_ = fd;
    owned_ = true;
    return 0;
}

bool OutputFile::IsRegular() const
{
    struct stat st {};
    return handle_ >= 0 && ::fstat(Fd(handle_), &st) == 0 && S_ISREG(st.st_mode);
}

int OutputFile::Write(std::string_view bytes) { return WriteAllTo(Fd(handle_), bytes); }

int OutputFile::SyncData() { return ::fdatasync(Fd(handle_)) != 0 ? errno : 0; }

int OutputFile::Close()
{
    int code = 0;
    if (owned_ && handle_ >= 0 && ::close(Fd(handle_)) != 0)
        code = errno;
    handle_ = -1;
    owned_ = false;
    return code;
}

int ReplaceFile(const std::string& path, std::string_view contents)
{
    if (path.empty())
        return ENOENT;
    const std::string folder = FolderOf(path);
    int code = 0;
    if (!ReplaceThroughUnnamed(path, folder, contents, code))
        code = ReplaceThroughNamed(path, folder, contents);
    if (code != 0)
        return code;
    // Make the new name itself durable.
    SyncFolder(folder);
    return 0;
}
