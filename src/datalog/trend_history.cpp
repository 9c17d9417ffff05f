#include "trend_history.h"

#include <algorithm>
#include <cmath>

TrendHistory::TrendHistory(std::size_t lines, std::int64_t keepMs) : keepMs_(keepMs), values_(lines) {}

void TrendHistory::Append(std::int64_t timeMs, const std::vector<float>& values)
{
    if (!times_.empty() && timeMs < times_.back())
        Clear();
    times_.push_back(timeMs);
    for (std::size_t line = 0; line < values_.size(); ++line)
        values_[line].push_back(line < values.size() ? values[line] : NAN);
    while (times_.front() < timeMs - keepMs_) {
        times_.pop_front();
        for (auto& v : values_)
            v.pop_front();
    }
}

void TrendHistory::Clear()
{
    times_.clear();
    for (auto& v : values_)
        v.clear();
}

void TrendHistory::Thin(std::size_t line, std::int64_t fromMs, std::int64_t toMs, int columns,
                        std::vector<TrendPoint>& out) const
{
    out.clear();
    if (line >= values_.size() || times_.empty() || toMs <= fromMs || columns < 1)
        return;
    const std::deque<float>& v = values_[line];
    const auto first = std::lower_bound(times_.begin(), times_.end(), fromMs);
    const auto last = std::upper_bound(first, times_.end(), toMs);
    const std::size_t begin = static_cast<std::size_t>(first - times_.begin());
    const std::size_t end = static_cast<std::size_t>(last - times_.begin());
    const auto finite = [&](std::size_t i) { return std::isfinite(v[i]); };
    const auto push = [&](std::size_t i) { out.push_back({times_[i], v[i]}); };

    // The nearest finite point outside each end.
    std::size_t before = begin;
    while (before > 0 && !finite(before - 1))
        --before;
    if (before > 0)
        push(before - 1);

    if (end - begin <= 2 * static_cast<std::size_t>(columns)) {
        for (std::size_t i = begin; i < end; ++i)
            if (finite(i))
                push(i);
    } else {
        const double perMs = static_cast<double>(columns) / static_cast<double>(toMs - fromMs);
        const auto columnOf = [&](std::size_t i) {
            return std::min<std::int64_t>(columns - 1, static_cast<std::int64_t>((times_[i] - fromMs) * perMs));
        };
        std::size_t i = begin;
        while (i < end) {
            const std::int64_t column = columnOf(i);
            std::size_t low = end, high = end;
            for (; i < end && columnOf(i) == column; ++i) {
                if (!finite(i))
                    continue;
                if (low == end || v[i] < v[low])
                    low = i;
                if (high == end || v[i] > v[high])
                    high = i;
            }
            if (low == end)
                continue;
            push(std::min(low, high));
            if (high != low)
                push(std::max(low, high));
        }
    }

    std::size_t after = end;
    while (after < times_.size() && !finite(after))
        ++after;
    if (after < times_.size())
        push(after);
}
