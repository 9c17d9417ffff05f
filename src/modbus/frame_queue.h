#pragma once
// The frames the reader thread has handed over and no receive has taken
// yet, oldest first, in fixed receive buffers: one more than may wait, so
// that the reader always has one to fill. A frame that follows another at
// once (as fast framing hands them over) waits behind it instead of
// replacing it; when more wait than there is room for, the oldest goes.
// The owner guards every operation but Filling with its own lock.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

class FrameQueue {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kCapacity = 256; // bytes of a frame
    static constexpr std::size_t kWaiting = 3;

    struct Frame {
        const std::uint8_t* bytes;
        std::uint32_t length;
        Clock::time_point started; // when its first byte came
        std::uint64_t answers;     // the exchange whose request it answers; 0 for none
    };

    // The buffer the reader fills next; only the reader calls it, and only
    // the reader's Push changes it.
    std::uint8_t* Filling() { return buffers_[filling_].data(); }
    // Hands over the frame of `length` bytes in Filling().
    void Push(std::uint32_t length, Clock::time_point started, std::uint64_t answers = 0);

    bool Empty() const { return count_ == 0; }
    std::size_t Size() const { return count_; }
    const Frame& Front() const { return waiting_[head_].frame; }
    void Pop();
    void Clear() { count_ = 0; }

private:
    struct Entry {
        Frame frame;
        std::size_t buffer;
    };
    std::array<std::array<std::uint8_t, kCapacity>, kWaiting + 1> buffers_{};
    std::array<Entry, kWaiting> waiting_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t filling_ = 0;
};
