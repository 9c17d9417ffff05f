#pragma once
// The length rule of fast framing: how long an RTU frame is, as far as its
// first bytes tell. Answers: function 3, 5 + its byte count; functions 6 and
// 16, 8 bytes; an exception (bit 7 set), 5 bytes. Requests: functions 3 and
// 6, 8 bytes; 16, 9 + its byte count. Any other function code gives no
// length: such a frame ends by silence.

#include <cstddef>
#include <cstdint>

enum class FrameSide { Answer, Request };

struct FrameExtent {
    enum class Kind {
        Whole,    // the frame is `bytes` long
        NeedMore, // `bytes` are needed before the length is known
        Unknown,  // the header gives no length
    };
    Kind kind;
    std::size_t bytes = 0;
};

// From the `count` bytes of `frame` received so far; a length beyond the
// 256 bytes of a frame is Unknown.
FrameExtent FrameExtentOf(FrameSide side, const std::uint8_t* frame, std::size_t count);
