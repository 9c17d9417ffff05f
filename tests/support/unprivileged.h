#pragma once
// Circumstances of an installed program, for a scope: file access without
// root's privileges, and environment variables.

#include <cstdlib>
#include <linux/capability.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

// Lowers the calling thread's effective capabilities for file access
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER), so that a test run as
// root meets permission bits as a user does. A user who holds none is not
// changed.
class UnprivilegedFileAccess {
public:
    UnprivilegedFileAccess()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            lowered[cap / 32].effective &= ~(1u << (cap % 32));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~UnprivilegedFileAccess()
    {
        if (lowered_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
    UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

// Sets an environment variable (or unsets it, for nullptr) while the object
// lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = ::getenv(name))
            old_ = old, hadOld_ = true;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { hadOld_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};
