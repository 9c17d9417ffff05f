#pragma once
// The live values of the last 24 hours in memory for the trend chart, and
// their thinning for drawing: per pixel column only the lowest and the
// highest value are kept, so the drawn line has the shape of all the points
// at a cost bounded by the width, not by the number of points.

#include <cstdint>
#include <vector>

struct TrendPoint {
    std::int64_t timeMs; // milliseconds since the epoch
    float value;
};

class TrendHistory {
public:
    static constexpr std::int64_t kKeepMs = 24LL * 60 * 60 * 1000;

    // `lines` values per sample; samples older than `keepMs` before the
    // newest are dropped.
    explicit TrendHistory(std::size_t lines, std::int64_t keepMs = kKeepMs);

    // Appends one sample (a value per line). A sample older than the newest
    // (the clock was set back) starts the history anew, so times stay in order.
    void Append(std::int64_t timeMs, const std::vector<float>& values);
    void Clear();

    std::size_t Size() const { return times_.size() - head_; }
    std::size_t Lines() const { return values_.size(); }
    bool Empty() const { return Size() == 0; }
    std::int64_t FirstTime() const { return times_[head_]; }
    std::int64_t LastTime() const { return times_.back(); }

    // The points of `line` from `fromMs` to `toMs` thinned for `columns`
    // pixel columns: for each column its lowest and highest value, in time
    // order; all points when there are no more than two per column. The
    // nearest point outside each end is kept too, so that the line runs to
    // the edges. Values that are not finite are left out.
    void Thin(std::size_t line, std::int64_t fromMs, std::int64_t toMs, int columns,
              std::vector<TrendPoint>& out) const;

private:
    // Contiguous arrays, so that thinning scans plain memory; samples before
    // head_ are dropped ones, given back in chunks.
    std::int64_t keepMs_;
    std::size_t head_ = 0;
    std::vector<std::int64_t> times_;
    std::vector<std::vector<float>> values_;
};
