#pragma once
// Slave-side RTU framing: frames are cut by their function code's length as
// soon as they are complete (the length rule of fast framing, shared with
// the master); frames of unknown length, and garbage, are settled by line
// silence.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class RtuFramer {
public:
    using Frame = std::vector<std::uint8_t>;

    static constexpr int kSilenceMs = 5;

    void Feed(const std::uint8_t* bytes, std::size_t count);
    // The next complete frame with a good CRC, if one is in.
    std::optional<Frame> Next();
    // Bytes wait that only silence can settle.
    bool Pending() const { return !buffer_.empty(); }
    // The line went silent: what is buffered is taken as one frame when its
    // CRC is good (a function of unknown length), else dropped.
    std::optional<Frame> Silence();

private:
    Frame buffer_;
    bool discarding_ = false;
};
