#pragma once
// The time a Win32 wait is given: whole milliseconds rounded up, 0 for a
// time already passed, INFINITE only for no limit (a long wait stays finite).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>

inline DWORD WaitMilliseconds(std::optional<std::chrono::nanoseconds> waitFor)
{
    if (!waitFor)
        return INFINITE;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*waitFor).count();
    return static_cast<DWORD>(std::clamp<long long>(ms, 0, INFINITE - 1));
}

inline DWORD MillisecondsUntil(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    if (!deadline)
        return INFINITE;
    return WaitMilliseconds(*deadline - std::chrono::steady_clock::now());
}
