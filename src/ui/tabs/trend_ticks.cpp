#include "trend_ticks.h"

#include <algorithm>
#include <cmath>

namespace trend_ticks {

namespace {

constexpr std::int64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute;
constexpr std::int64_t kTimeSteps[] = {kSecond,      2 * kSecond,  5 * kSecond,  10 * kSecond, 15 * kSecond,
                                       30 * kSecond, kMinute,      2 * kMinute,  5 * kMinute,  10 * kMinute,
                                       15 * kMinute, 30 * kMinute, kHour,        2 * kHour,    3 * kHour,
                                       6 * kHour,    12 * kHour,   24 * kHour};

// The floor of a / b for a positive b.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && a < 0 ? 1 : 0); }

} // namespace

double ValueStep(double span, int maxTicks)
{
    maxTicks = std::max(maxTicks, 1);
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double raw = span / maxTicks;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (const double mantissa : {1.0, 2.0, 5.0})
            if (mantissa * power >= raw * (1 - 1e-9))
                return mantissa * power;
        power *= 10;
    }
}

int DecimalsOf(double step) { return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9))); }

std::vector<double> ValueTicks(double min, double max, int maxTicks)
{
    std::vector<double> ticks;
    if (!(max > min) || !std::isfinite(min) || !std::isfinite(max))
        return ticks;
    const double step = ValueStep(max - min, maxTicks);
    const double tolerance = step * 1e-9;
    for (double k = std::ceil((min - tolerance) / step); k * step <= max + tolerance; ++k) {
        const double tick = k * step;
        ticks.push_back(tick == 0 ? 0.0 : tick); // never "-0"
    }
    return ticks;
}

Range RoundOut(double min, double max, int maxTicks)
{
    if (!(max > min))
        return {min, max};
    // Widening may need a coarser step: try until the step stays the same.
    double low = min, high = max;
    for (int i = 0; i < 4; ++i) {
        const double step = ValueStep(high - low, maxTicks);
        low = std::floor(min / step + 1e-9) * step;
        high = std::ceil(max / step - 1e-9) * step;
        if (ValueStep(high - low, maxTicks) == step)
            break;
    }
    return {low, high};
}

std::int64_t TimeStepMs(std::int64_t spanMs, int maxTicks)
{
    maxTicks = std::max(maxTicks, 1);
    for (const std::int64_t step : kTimeSteps)
        if (spanMs <= step * maxTicks)
            return step;
    const std::int64_t day = kTimeSteps[std::size(kTimeSteps) - 1];
    return (spanMs / (day * maxTicks) + 1) * day;
}

std::vector<std::int64_t> TimeTicks(std::int64_t fromMs, std::int64_t toMs, int maxTicks, std::int64_t utcOffsetMs)
{
    std::vector<std::int64_t> ticks;
    if (toMs <= fromMs)
        return ticks;
    const std::int64_t step = TimeStepMs(toMs - fromMs, maxTicks);
    const std::int64_t firstLocal = (FloorDiv(fromMs + utcOffsetMs - 1, step) + 1) * step;
    for (std::int64_t local = firstLocal; local - utcOffsetMs <= toMs; local += step)
        ticks.push_back(local - utcOffsetMs);
    return ticks;
}

} // namespace trend_ticks
