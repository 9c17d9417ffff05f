#include "frame_queue.h"

void FrameQueue::Push(std::uint32_t length, Clock::time_point started, std::uint64_t answers)
{
    if (count_ == kWaiting)
        Pop();
    waiting_[(head_ + count_) % kWaiting] = {{buffers_[filling_].data(), length, started, answers}, filling_};
    ++count_;
    // The next buffer is one that no waiting frame holds.
    std::array<bool, kWaiting + 1> held{};
    for (std::size_t i = 0; i < count_; ++i)
        held[waiting_[(head_ + i) % kWaiting].buffer] = true;
    for (std::size_t b = 0; b < held.size(); ++b) {
        if (!held[b]) {
            filling_ = b;
            break;
        }
    }
}

void FrameQueue::Pop()
{
    if (count_ == 0)
        return;
    head_ = (head_ + 1) % kWaiting;
    --count_;
}
