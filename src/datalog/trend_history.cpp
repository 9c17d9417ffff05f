#include "trend_history.h"

#include <algorithm>
#include <cmath>

namespace {
// Dropped samples are given back once there are this many and they are at
// least half of the arrays: memory stays within twice a day's samples.
constexpr std::size_t kCompactAt = 4096;
} // namespace

TrendHistory::TrendHistory(std::size_t lines, std::int64_t keepMs)
    : keepMs_(keepMs), values_(lines), notFinite_(lines)
{
}

namespace {
// Drops the indexes below `dropped` and shifts the others down by it.
void DropIndexes(std::vector<std::size_t>& indexes, std::size_t dropped)
{
    const auto kept = std::lower_bound(indexes.begin(), indexes.end(), dropped);
    indexes.erase(indexes.begin(), kept);
    for (std::size_t& i : indexes)
        i -= dropped;
}
} // namespace

bool TrendHistory::StartsAnew(std::size_t index) const
{
    return std::binary_search(starts_.begin(), starts_.end(), head_ + index);
}

std::int64_t TrendHistory::ExpectedSpacing() const
{
    if (spacingCount_ < spacings_.size())
        return periodMs_;
    return std::max(periodMs_, *std::min_element(spacings_.begin(), spacings_.end()));
}

void TrendHistory::Append(std::int64_t timeMs, const std::vector<float>& values)
{
    if (!Empty() && timeMs < LastTime())
        Clear();
    bool startsAnew = Empty() || breakPending_;
    if (!Empty() && !breakPending_) {
        const std::int64_t spacing = timeMs - LastTime();
        startsAnew = spacing > 2 * ExpectedSpacing();
        spacings_[spacingCount_++ % spacings_.size()] = spacing;
        if (spacingCount_ >= 2 * spacings_.size())
            spacingCount_ -= spacings_.size(); // stays full, without overflowing
    }
    breakPending_ = false;
    if (startsAnew)
        starts_.push_back(times_.size());
    for (std::size_t line = 0; line < values_.size(); ++line) {
        const float value = line < values.size() ? values[line] : NAN;
        if (!std::isfinite(value))
            notFinite_[line].push_back(times_.size());
        values_[line].push_back(value);
    }
    times_.push_back(timeMs);
    while (times_[head_] < timeMs - keepMs_)
        ++head_;
    if (head_ >= kCompactAt && 2 * head_ >= times_.size()) {
        const auto dropped = static_cast<std::ptrdiff_t>(head_);
        times_.erase(times_.begin(), times_.begin() + dropped);
        for (auto& v : values_)
            v.erase(v.begin(), v.begin() + dropped);
        DropIndexes(starts_, head_);
        for (auto& n : notFinite_)
            DropIndexes(n, head_);
        head_ = 0;
    }
}

void TrendHistory::Clear()
{
    head_ = 0;
    spacingCount_ = 0;
    times_.clear();
    starts_.clear();
    for (auto& v : values_)
        v.clear();
    for (auto& n : notFinite_)
        n.clear();
}

void TrendHistory::Thin(std::size_t line, std::int64_t fromMs, std::int64_t toMs, int columns,
                        std::vector<TrendPoint>& out) const
{
    out.clear();
    if (line >= values_.size() || Empty() || toMs <= fromMs || columns < 1)
        return;
    const float* v = values_[line].data();
    const std::int64_t* t = times_.data();
    const auto timesBegin = times_.begin() + static_cast<std::ptrdiff_t>(head_);
    const std::size_t begin = static_cast<std::size_t>(std::lower_bound(timesBegin, times_.end(), fromMs) - times_.begin());
    const std::size_t end = static_cast<std::size_t>(std::upper_bound(timesBegin, times_.end(), toMs) - times_.begin());
    const auto finite = [&](std::size_t i) { return std::isfinite(v[i]); };
    // The line runs from sample `from` to sample `to` when no sample after
    // `from` up to `to` starts anew and none between them is not finite.
    const std::vector<std::size_t>& notFinite = notFinite_[line];
    const auto joins = [&](std::size_t from, std::size_t to) {
        const auto start = std::upper_bound(starts_.begin(), starts_.end(), from);
        if (start != starts_.end() && *start <= to)
            return false;
        const auto gap = std::upper_bound(notFinite.begin(), notFinite.end(), from);
        return gap == notFinite.end() || *gap >= to;
    };
    bool any = false;
    std::size_t last = 0; // the sample of the point pushed last
    const auto push = [&](std::size_t i) {
        out.push_back({t[i], v[i], any && joins(last, i)});
        any = true;
        last = i;
    };

    // The nearest finite point outside each end.
    std::size_t before = begin;
    while (before > head_ && !finite(before - 1))
        --before;
    if (before > head_)
        push(before - 1);

    if (end - begin <= 2 * static_cast<std::size_t>(columns)) {
        for (std::size_t i = begin; i < end; ++i)
            if (finite(i))
                push(i);
    } else {
        const double perMs = static_cast<double>(columns) / static_cast<double>(toMs - fromMs);
        const auto columnOf = [&](std::int64_t time) {
            return std::min<std::int64_t>(columns - 1, static_cast<std::int64_t>((time - fromMs) * perMs));
        };
        std::size_t i = begin;
        while (i < end) {
            // The column's points end where the next column's begin, found
            // with the same column rule that placed the first one.
            const std::int64_t column = columnOf(t[i]);
            const std::size_t columnEnd = static_cast<std::size_t>(
                std::upper_bound(t + i, t + end, column,
                                 [&](std::int64_t c, std::int64_t time) { return c < columnOf(time); }) -
                t);
            std::size_t low = i;
            while (low < columnEnd && !finite(low))
                ++low;
            if (low < columnEnd) {
                std::size_t high = low;
                float lowValue = v[low], highValue = v[low];
                for (std::size_t k = low + 1; k < columnEnd; ++k) {
                    // A NaN wins neither comparison; infinities are left out.
                    const float x = v[k];
                    if (x < lowValue) {
                        if (x != -INFINITY) {
                            lowValue = x;
                            low = k;
                        }
                    } else if (x > highValue && x != INFINITY) {
                        highValue = x;
                        high = k;
                    }
                }
                push(std::min(low, high));
                if (high != low)
                    push(std::max(low, high));
            }
            i = columnEnd;
        }
    }

    std::size_t after = end;
    while (after < times_.size() && !finite(after))
        ++after;
    if (after < times_.size())
        push(after);
}
