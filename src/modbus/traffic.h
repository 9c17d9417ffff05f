#pragma once
// The channel's traffic tap: what it sends, what its reader collects, and
// every event that ends a wait for an answer, each stamped with the steady
// clock in microseconds. The channel calls its observer from the link thread
// (sends, verdicts) and from its reader thread (frames collected); an
// observer must not block and must not throw.

#include <chrono>
#include <cstdint>
#include <cstring>

enum class TrafficKind : std::uint8_t {
    Request,      // a frame written; `repeat` for a repeat of the same request, `detail` its
                  // attempt (1 the first; 0 not known)
    Frame,        // bytes the reader collected up to a silence (also a burst too short for a frame)
    Answer,       // the frame last collected was taken as the answer: `detail` the answer time in
                  // microseconds (end of the request to its first byte), `code` its exception code
    TimeOut,      // no answer began in time
    CrcError,     // a frame for the address with a wrong CRC
    OtherAddress, // a frame for another address, passed over; `code` that address
    Stale,        // a frame dropped unjudged: it began before the exchange, or was due to an earlier one
    Misfit,       // a well-framed answer that is not one to the request
    PortLost,     // the device is gone
    Opened,       // the link opened (the link thread says so); `detail` the baud rate
    Echo,         // the line handed our request back (local echo), taken off before the answer
};

inline constexpr std::size_t kTrafficBytes = 256;
// The retry policy's attempts of one request, at most.
inline constexpr int kMostAttempts = 102;

struct TrafficEntry {
    std::int64_t timeUs = 0; // steady clock; for a frame, when its first byte came
    std::int64_t detail = 0;
    TrafficKind kind = TrafficKind::Request;
    bool repeat = false;
    std::uint8_t code = 0;
    std::uint16_t length = 0; // bytes used in `bytes`
    std::uint8_t bytes[kTrafficBytes];

    void SetBytes(const std::uint8_t* from, std::size_t count)
    {
        length = static_cast<std::uint16_t>(count < kTrafficBytes ? count : kTrafficBytes);
        if (length > 0)
            std::memcpy(bytes, from, length);
    }
};

inline std::int64_t TrafficMicros(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

class TrafficObserver {
public:
    virtual void OnTraffic(const TrafficEntry& entry) noexcept = 0;

protected:
    ~TrafficObserver() = default;
};
