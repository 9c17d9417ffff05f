#pragma once
// What the POSIX streams share: one descriptor and a wake event, waited on
// together with ppoll, so that Interrupt ends a read or a write at once
// without a polling loop. The serial port and the TCP connection add how
// they open and what their errors mean.

#include "byte_stream.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <sys/types.h>
#include <utility>

// A descriptor closed when it goes out of scope, unless released.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

timespec ToTimespec(std::chrono::nanoseconds d);

class FdStream : public ByteStream {
public:
    FdStream() = default;
    FdStream(const FdStream&) = delete;
    FdStream& operator=(const FdStream&) = delete;
    ~FdStream() override = default; // the final class closes, while its hooks still exist

    void Interrupt() override;
    void Close() override;
    bool IsOpen() const override;
    ReadResult Read(std::uint8_t* buffer, std::size_t capacity,
                    std::optional<std::chrono::nanoseconds> waitFor) override;
    ReadStatus Await(std::optional<std::chrono::nanoseconds> waitFor) override;
    bool InputWaiting() const override;
    // A write that does not finish in time has its pending output discarded
    // where the stream can do that.
    WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs) override;

protected:
    // Makes the wake event and takes the opened descriptor from `fd`; false
    // (with the reason, `fd` left as it was) when the event cannot be made.
    // Call with ioLock_ held.
    bool Adopt(UniqueFd& fd, PortOpenFailure& why);
    bool HoldsDescriptor() const { return fd_.load() >= 0; }

    // An errno of a read or a write that means the device or peer is gone.
    virtual bool Gone(int error) const = 0;
    virtual ssize_t WriteSome(int fd, const std::uint8_t* bytes, std::size_t count) = 0;
    virtual void DiscardOutput(int fd) = 0;
    // Runs before the descriptor is closed.
    virtual void Release(int fd) = 0;

    mutable std::mutex ioLock_; // guards the descriptors against Close during a write or an open

private:
    // Waits for `fd` to be readable or the wake event to fire.
    ReadStatus WaitReadable(int fd, int wake, std::optional<std::chrono::nanoseconds> waitFor, short& revents) const;

    // Changed only under ioLock_; read without it by the reader, which is
    // joined before the descriptor is released.
    std::atomic<int> fd_{-1};
    std::atomic<int> wakeFd_{-1}; // readable once Interrupt has run
};
