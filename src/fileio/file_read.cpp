#include "file_read.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int code = errno;
            ::close(fd);
            bytes.clear();
            return code;
        }
    }
    ::close(fd);
    return 0;
}
