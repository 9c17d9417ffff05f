#include "rtu_framer.h"

#include "crc16.h"
#include "frame_length.h"

namespace {

constexpr std::size_t kMaxFrame = 256;

// The shortest request frame: address, function, one byte, CRC.
constexpr std::size_t kMinFrame = 4;

bool CrcGood(const std::uint8_t* frame, std::size_t length)
{
    return length >= kMinFrame && CrcMatches(frame, length);
}

// Length of the request frame starting in `buffer`; 0 while unknown.
std::size_t ExpectedLength(const std::vector<std::uint8_t>& buffer)
{
    const FrameExtent extent = FrameExtentOf(FrameSide::Request, buffer.data(), buffer.size());
    return extent.kind == FrameExtent::Kind::Whole ? extent.bytes : 0;
}

} // namespace

void RtuFramer::Feed(const std::uint8_t* bytes, std::size_t count)
{
    if (discarding_)
        return;
    buffer_.insert(buffer_.end(), bytes, bytes + count);
}

std::optional<RtuFramer::Frame> RtuFramer::Next()
{
    if (discarding_)
        return std::nullopt;
    const std::size_t expected = ExpectedLength(buffer_);
    if (expected == 0) {
        if (buffer_.size() > kMaxFrame)
            discarding_ = true;
        return std::nullopt;
    }
    if (buffer_.size() < expected)
        return std::nullopt;
    if (!CrcGood(buffer_.data(), expected)) {
        discarding_ = true;
        return std::nullopt;
    }
    Frame frame(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(expected));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(expected));
    return frame;
}

std::optional<RtuFramer::Frame> RtuFramer::Silence()
{
    std::optional<Frame> frame;
    if (!discarding_ && buffer_.size() <= kMaxFrame && CrcGood(buffer_.data(), buffer_.size()))
        frame = std::move(buffer_);
    buffer_.clear();
    discarding_ = false;
    return frame;
}
