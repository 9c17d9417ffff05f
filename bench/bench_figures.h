#pragma once
// How the benchmark programs turn their runs into figures.

#include <algorithm>
#include <chrono>
#include <vector>

// A duration in milliseconds, with fractions.
template <typename Rep, typename Period>
double Ms(std::chrono::duration<Rep, Period> d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The middle value of the runs (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
