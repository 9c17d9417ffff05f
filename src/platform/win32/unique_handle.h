#pragma once
// A kernel object handle, closed when it goes out of scope.

#include <windows.h>

#include <utility>

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(Valid(handle) ? handle : INVALID_HANDLE_VALUE) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        handle_ = Valid(handle) ? handle : INVALID_HANDLE_VALUE;
    }

private:
    // CreateFileW fails with INVALID_HANDLE_VALUE, CreateEventW with null.
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    HANDLE handle_;
};

// A manual-reset event, not signalled.
inline UniqueHandle MakeEvent() { return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
