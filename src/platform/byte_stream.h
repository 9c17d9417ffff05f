#pragma once
// The byte stream under the RTU channel: a serial port, or a TCP connection
// to a serial device server that passes the line's bytes through unchanged.
// The stream only moves bytes; the channel's reader thread cuts them into
// frames, the same way whatever the stream is.

#include "line_options.h"
#include "port_open_error.h"
#include "time_limit.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct StreamSettings {
    std::uint32_t baud = 115200; // line speed; a TCP connection keeps it and ignores it
    // How long a connection may take to be made; a serial port opens at once.
    std::chrono::milliseconds connectTimeout{2000};
    // RS-485 mode and the held lines of a serial port; a connection ignores them.
    LineOptions line{};
};

// The connection time-out of a link: ten of its answer time-outs, at least 2 s.
std::chrono::milliseconds ConnectTimeoutFor(std::uint32_t answerTimeoutMs);

class ByteStream {
public:
    enum class WriteResult { Ok, TimedOut, Failed, Lost };
    enum class ReadStatus {
        Bytes,       // `count` bytes were read
        Quiet,       // the wait ran out without a byte
        Interrupted, // Interrupt or Close ended the wait
        Lost,        // the device or the connection is gone
        Failed,      // another read error; the stream may still work
    };
    struct ReadResult {
        ReadStatus status;
        std::size_t count = 0;
    };

    static constexpr std::uint32_t kInfinite = kNoTimeLimit;

    virtual ~ByteStream() = default;

    // Opens the stream named `name`, with its input emptied. On failure `why`
    // (when given) says what went wrong, and nothing of the attempt stays.
    virtual bool Open(const std::string& name, const StreamSettings& settings, PortOpenFailure* why) = 0;
    // Ends a pending read or write at once, from any thread, and makes later
    // ones fail; the stream stays held until Close.
    virtual void Interrupt() = 0;
    // Interrupts, then releases the stream. The caller ends its reader first.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Waits up to `waitFor` (no limit when empty) for bytes and reads what
    // has come, at most `capacity`. Only one thread may read.
    virtual ReadResult Read(std::uint8_t* buffer, std::size_t capacity,
                            std::optional<std::chrono::nanoseconds> waitFor) = 0;
    // Waits up to `waitFor` (no limit when empty) until bytes can be read,
    // and reads none of them: Bytes when they are there.
    virtual ReadStatus Await(std::optional<std::chrono::nanoseconds> waitFor) = 0;
    // Whether bytes have come that no read has taken yet. A stream that
    // cannot tell says no.
    virtual bool InputWaiting() const = 0;
    // Writes all bytes within the time-out (kInfinite for no limit).
    virtual WriteResult Write(const std::uint8_t* bytes, std::size_t count, std::uint32_t timeoutMs) = 0;
};
