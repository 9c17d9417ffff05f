// The channel's side of the traffic tap: the entries it hands its observer.

#include "rtu.h"

#include <algorithm>

void ModBusRtu::Tell(TrafficObserver& observer, TrafficKind kind, const std::uint8_t* bytes, std::uint32_t count,
                     Clock::time_point at, std::uint8_t code, std::int64_t detail)
{
    TrafficEntry entry;
    entry.timeUs = TrafficMicros(at);
    entry.kind = kind;
    entry.repeat = kind == TrafficKind::Request && repeating_;
    entry.code = code;
    entry.detail = kind == TrafficKind::Request ? attempt_ : detail;
    entry.SetBytes(bytes, count);
    observer.OnTraffic(entry);
}

void ModBusRtu::NoteSent()
{
    // The port takes the frame at once; it is on the line for its wire time.
    if (observer_.load(std::memory_order_acquire))
        requestEnd_ = Clock::now() + byteTime_ * frameLength;
}

void ModBusRtu::NoteAnswer(std::int32_t exception)
{
    TrafficObserver* o = observer_.load(std::memory_order_acquire);
    if (!o)
        return;
    // A repeat may take the answer to an earlier attempt, begun before its
    // own request ended: that counts as no wait at all.
    const auto waited = std::max(takenStart_ - requestEnd_, Clock::duration::zero());
    Tell(*o, TrafficKind::Answer, nullptr, 0, Clock::now(), static_cast<std::uint8_t>(exception),
         std::chrono::duration_cast<std::chrono::microseconds>(waited).count());
}

void ModBusRtu::ThrowTimeOut()
{
    Note(TrafficKind::TimeOut);
    throw kTimeOut;
}
