#include "file_write.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

mode_t NewFileMode(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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
        error = std::strerror(code);
        return false;
    };
    if (path.empty())
        return fail(ENOENT);
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return fail(errno);
    const auto discard = [&](int code) {
        ::close(fd);
        ::unlink(name.data());
        return fail(code);
    };
    if (const int code = WriteAll(fd, contents))
        return discard(code);
    if (::fchmod(fd, NewFileMode(path)) != 0 || ::fsync(fd) != 0)
        return discard(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(name.data());
        return fail(code);
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(name.data());
        return fail(code);
    }
    // Make the rename itself durable.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
