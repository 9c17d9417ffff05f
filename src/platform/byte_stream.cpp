#include "byte_stream.h"

#include <algorithm>

std::chrono::milliseconds ConnectTimeoutFor(std::uint32_t answerTimeoutMs)
{
    return std::max(std::chrono::milliseconds(2000), std::chrono::milliseconds(std::uint64_t{answerTimeoutMs} * 10));
}
