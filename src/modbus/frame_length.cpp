#include "frame_length.h"

namespace {

constexpr std::size_t kLongestFrame = 256;

FrameExtent Whole(std::size_t bytes)
{
    if (bytes > kLongestFrame)
        return {FrameExtent::Kind::Unknown};
    return {FrameExtent::Kind::Whole, bytes};
}

// A frame whose length stands in a byte count at `at`, `fixed` bytes besides.
FrameExtent Counted(const std::uint8_t* frame, std::size_t count, std::size_t at, std::size_t fixed)
{
    if (count <= at)
        return {FrameExtent::Kind::NeedMore, at + 1};
    return Whole(fixed + frame[at]);
}

} // namespace

FrameExtent FrameExtentOf(FrameSide side, const std::uint8_t* frame, std::size_t count)
{
    if (count < 2)
        return {FrameExtent::Kind::NeedMore, 2};
    const std::uint8_t function = frame[1];
    if (side == FrameSide::Answer) {
        if (function & 0x80)
            return Whole(5);
        switch (function) {
        case 3:
            return Counted(frame, count, 2, 5);
        case 6:
        case 16:
            return Whole(8);
        default:
            return {FrameExtent::Kind::Unknown};
        }
    }
    switch (function) {
    case 3:
    case 6:
        return Whole(8);
    case 16:
        return Counted(frame, count, 6, 9);
    default:
        return {FrameExtent::Kind::Unknown};
    }
}
