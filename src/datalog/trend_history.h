#pragma once
// The live values of the last 24 hours in memory for the trend chart, and
// their thinning for drawing: per pixel column only the lowest and the
// highest value are kept, so the drawn line has the shape of all the points
// at a cost bounded by the width, not by the number of points.
//
// A line is drawn only where the polls came: it breaks between two samples
// when no good poll came within twice the poll period, when a break was
// marked between them (the link closed or lost, a poll failed, a load or
// dump ran), and around a value that is not a number.

#include <array>
#include <cstdint>
#include <vector>

struct TrendPoint {
    std::int64_t timeMs; // milliseconds since the epoch
    float value;
    bool joined = false; // the line runs to this point from the one before
};

class TrendHistory {
public:
    static constexpr std::int64_t kKeepMs = 24LL * 60 * 60 * 1000;
    static constexpr std::int64_t kDefaultPeriodMs = 1000;

    // `lines` values per sample; samples older than `keepMs` before the
    // newest are dropped.
    explicit TrendHistory(std::size_t lines, std::int64_t keepMs = kKeepMs);

    // The period at which polls are asked for; a longer silence than twice
    // the period breaks the lines.
    void SetPollPeriod(std::int64_t periodMs) { periodMs_ = periodMs > 0 ? periodMs : kDefaultPeriodMs; }
    // The next sample starts every line anew.
    void Break() { breakPending_ = true; }

    // Appends one sample (a value per line). A sample older than the newest
    // (the clock was set back) starts the history anew, so times stay in order.
    void Append(std::int64_t timeMs, const std::vector<float>& values);
    void Clear();

    std::size_t Size() const { return times_.size() - head_; }
    std::size_t Lines() const { return values_.size(); }
    bool Empty() const { return Size() == 0; }
    std::int64_t FirstTime() const { return times_[head_]; }
    std::int64_t LastTime() const { return times_.back(); }
    // Whether the `index`-th kept sample (0 the oldest) starts the lines anew.
    bool StartsAnew(std::size_t index) const;

    // The points of `line` from `fromMs` to `toMs` thinned for `columns`
    // pixel columns: for each column its lowest and highest value, in time
    // order; all points when there are no more than two per column. The
    // nearest point outside each end is kept too, so that the line runs to
    // the edges. Values that are not finite are left out. A point is joined
    // to the one before it when no break lies between them.
    void Thin(std::size_t line, std::int64_t fromMs, std::int64_t toMs, int columns,
              std::vector<TrendPoint>& out) const;

private:
    // The spacing of polls expected now: the poll period, or the shortest
    // of the last few spacings when the polls take longer than the period
    // (a slow line), so that such a line does not break at every poll.
    std::int64_t ExpectedSpacing() const;

    // Contiguous arrays, so that thinning scans plain memory; samples before
    // head_ are dropped ones, given back in chunks.
    std::int64_t keepMs_;
    std::int64_t periodMs_ = kDefaultPeriodMs;
    bool breakPending_ = false;
    std::array<std::int64_t, 4> spacings_{}; // the last spacings without a marked break
    std::size_t spacingCount_ = 0;
    // The breaks are few: kept as the sorted indexes of the samples that
    // start anew, and per line of the samples that are not finite, so that
    // thinning finds them by search instead of scanning every sample again.
    std::size_t head_ = 0;
    std::vector<std::int64_t> times_;
    std::vector<std::vector<float>> values_;
    std::vector<std::size_t> starts_;
    std::vector<std::vector<std::size_t>> notFinite_;
};
