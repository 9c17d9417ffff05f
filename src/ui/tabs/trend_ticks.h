#pragma once
// The ticks of the trend chart's axes at round steps, whatever range a zoom
// leaves: values at 1, 2 or 5 times a power of ten, times at whole seconds,
// minutes or hours of the local clock. No Qt.

#include <cstdint>
#include <vector>

namespace trend_ticks {

// The smallest step of 1, 2 or 5 times a power of ten that divides `span`
// into at most `maxTicks` steps.
double ValueStep(double span, int maxTicks);
// The decimals that show every multiple of `step` exactly.
int DecimalsOf(double step);
// The multiples of the step for (`min`, `max`) within that range.
std::vector<double> ValueTicks(double min, double max, int maxTicks);

struct Range {
    double min;
    double max;
};
// The range widened to the nearest multiples of its step.
Range RoundOut(double min, double max, int maxTicks);

// The smallest of the round time steps (1 s ... 1 day) that divides the
// span into at most `maxTicks` steps.
std::int64_t TimeStepMs(std::int64_t spanMs, int maxTicks);
// The times within (`fromMs`, `toMs`) that are multiples of the step on the
// local clock, which is `utcOffsetMs` ahead of UTC.
std::vector<std::int64_t> TimeTicks(std::int64_t fromMs, std::int64_t toMs, int maxTicks, std::int64_t utcOffsetMs);

} // namespace trend_ticks
