#pragma once

#include <cstdint>

// A time-out in milliseconds of this value means no limit.
inline constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFFu;
