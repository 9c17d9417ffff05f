#include "file_read.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string TooLarge()
{
    return "файл больше " + std::to_string(kMaxReadFileSize / (1024 * 1024)) + " МиБ";
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    bytes.clear();
    error.clear();
    const auto fail = [&](std::string reason) {
        bytes.clear();
        bytes.shrink_to_fit();
        error = std::move(reason);
        return false;
    };
    const auto failCode = [&](int code) { return fail(std::system_category().message(code)); };

    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return failCode(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return failCode(errno);
    if (S_ISDIR(st.st_mode))
        return failCode(EISDIR);
    if (!S_ISREG(st.st_mode))
        return fail("не обычный файл");
    if (st.st_size < 0 || static_cast<std::size_t>(st.st_size) > kMaxReadFileSize)
        return fail(TooLarge());
    // A regular file: reads wait in the ordinary way from here on.
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

    // One byte more than the cap tells a file that grew past it.
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > kMaxReadFileSize)
                return fail(TooLarge());
            bytes.resize(std::min(kMaxReadFileSize + 1, done + 65536));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0)
            break;
        else if (errno != EINTR)
            return failCode(errno);
    }
    bytes.resize(done);
    return true;
}
