#include "port_link.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

PortLink::~PortLink() { Remove(); }

bool PortLink::Make(const std::string& link, const std::string& target, std::string& error)
{
    Remove();
    struct stat st{};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        if (::unlink(link.c_str()) != 0) {
            error = link + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        return false;
    }
    link_ = link;
    target_ = target;
    return true;
}

void PortLink::Remove()
{
    if (link_.empty())
        return;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(link_.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target_)
        ::unlink(link_.c_str());
    link_.clear();
    target_.clear();
}
