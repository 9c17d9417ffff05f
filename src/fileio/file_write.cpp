#include "file_write.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

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
    if (const int code = WriteAll(fd, contents))
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

// The replacement through an unnamed file. False when the file system (or
// the kernel, or a missing /proc) does not allow it; `code` is then 0 and
// the caller falls back. A failure of the writing itself sets `code`.
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

// The replacement through a named file beside the target.
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

int WriteAll(int fd, std::string_view contents)
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

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string& error)
{
    const auto fail = [&error](int code) {
        error = std::system_category().message(code);
        return false;
    };
    if (path.empty())
        return fail(ENOENT);
    const std::string folder = FolderOf(path);
    int code = 0;
    if (!ReplaceThroughUnnamed(path, folder, contents, code))
        code = ReplaceThroughNamed(path, folder, contents);
    if (code != 0)
        return fail(code);
    // Make the new name itself durable.
    SyncFolder(folder);
    return true;
}
