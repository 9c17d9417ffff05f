#include "file_write.h"

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

// Creates a new file beside `path` for the replacement. It is created with
// the usual 0666 less the umask, which the kernel applies; reading the umask
// would mean changing it, process-wide, under other threads.
int CreateTemporary(const std::string& path, std::string& name)
{
    for (unsigned attempt = 0;; ++attempt) {
        name = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 100)
            return fd;
    }
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
    std::string name;
    const int fd = CreateTemporary(path, name);
    if (fd < 0)
        return fail(errno);
    const auto removeTemporary = [&](int code) {
        ::unlink(name.c_str());
        return fail(code);
    };
    const auto discard = [&](int code) {
        ::close(fd);
        return removeTemporary(code);
    };
    if (const int code = WriteAll(fd, contents))
        return discard(code);
    // A file that is replaced keeps its permissions.
    struct stat old {};
    if ((::stat(path.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0) || ::fsync(fd) != 0)
        return discard(errno);
    if (::close(fd) != 0)
        return removeTemporary(errno);
    if (::rename(name.c_str(), path.c_str()) != 0)
        return removeTemporary(errno);
    // Make the rename itself durable.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
