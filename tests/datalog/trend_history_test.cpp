#include "trend_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr std::int64_t kStart = 1'700'000'000'000LL;

bool Has(const std::vector<TrendPoint>& points, std::int64_t time, float value)
{
    return std::any_of(points.begin(), points.end(),
                       [&](const TrendPoint& p) { return p.timeMs == time && p.value == value; });
}

} // namespace

TEST(TrendHistory, KeepsADayAndStartsAnewWhenTheClockGoesBack)
{
    TrendHistory history(2);
    const int day = 24 * 3600;
    for (int s = 0; s <= day + 100; ++s)
        history.Append(kStart + s * 1000LL, {static_cast<float>(s), 0});
    EXPECT_EQ(history.Size(), static_cast<std::size_t>(day + 1));
    EXPECT_EQ(history.LastTime() - history.FirstTime(), TrendHistory::kKeepMs);
    history.Append(history.LastTime() - 1, {1, 2});
    EXPECT_EQ(history.Size(), 1u);
}

TEST(TrendHistory, ThinningKeepsTheLowestAndHighestOfEveryColumn)
{
    std::mt19937 random(12);
    std::uniform_real_distribution<float> noise(-1, 1);
    const int points = 86'400;
    TrendHistory history(1);
    std::vector<float> values;
    for (int i = 0; i < points; ++i) {
        // A slow wave, noise, spikes now and then, gaps (NaN).
        float v = std::sin(i / 5000.0f) * 10 + noise(random) + (i % 7919 == 0 ? 50.0f : 0.0f);
        if (i % 1000 == 500)
            v = NAN;
        values.push_back(v);
        history.Append(kStart + i * 1000LL, {v});
    }
    const struct {
        std::int64_t from, to;
        int columns;
    } cases[] = {
        {kStart, kStart + (points - 1) * 1000LL, 600},
        {kStart, kStart + (points - 1) * 1000LL, 37},
        {kStart + 3'600'000, kStart + 7'200'000, 800},
    };
    std::vector<TrendPoint> out;
    for (const auto& c : cases) {
        history.Thin(0, c.from, c.to, c.columns, out);
        ASSERT_LE(out.size(), 2u * c.columns + 2);
        EXPECT_TRUE(std::is_sorted(out.begin(), out.end(),
                                   [](const TrendPoint& a, const TrendPoint& b) { return a.timeMs < b.timeMs; }));
        EXPECT_TRUE(std::none_of(out.begin(), out.end(), [](const TrendPoint& p) { return std::isnan(p.value); }));
        // Per column: its lowest and its highest value are drawn.
        const double perMs = static_cast<double>(c.columns) / static_cast<double>(c.to - c.from);
        std::vector<int> low(c.columns, -1), high(c.columns, -1);
        for (int i = 0; i < points; ++i) {
            const std::int64_t t = kStart + i * 1000LL;
            if (t < c.from || t > c.to || std::isnan(values[i]))
                continue;
            const int col = std::min<int>(c.columns - 1, static_cast<int>((t - c.from) * perMs));
            if (low[col] < 0 || values[i] < values[low[col]])
                low[col] = i;
            if (high[col] < 0 || values[i] > values[high[col]])
                high[col] = i;
        }
        for (int col = 0; col < c.columns; ++col) {
            if (low[col] < 0)
                continue;
            ASSERT_TRUE(Has(out, kStart + low[col] * 1000LL, values[low[col]])) << "column " << col;
            ASSERT_TRUE(Has(out, kStart + high[col] * 1000LL, values[high[col]])) << "column " << col;
        }
    }
    // Few points: all of them, with the nearest neighbour outside each end.
    history.Thin(0, kStart + 10'000, kStart + 20'000, 600, out);
    ASSERT_EQ(out.size(), 13u);
    EXPECT_EQ(out.front().timeMs, kStart + 9'000);
    EXPECT_EQ(out.back().timeMs, kStart + 21'000);
}

TEST(TrendHistory, LinesBreakWhereNoGoodPollCame)
{
    struct Sample {
        std::int64_t ms;
        float value = 1;
        bool breakBefore = false;
    };
    const struct {
        const char* name;
        std::vector<Sample> samples;
        std::string joins; // per drawn point: '+' joined to the one before, '-' not
    } cases[] = {
        {"steady polls", {{0}, {1000}, {2000}, {3000}}, "-+++"},
        {"twice the period joins, longer breaks", {{0}, {2000}, {4001}, {5000}}, "-+-+"},
        {"a marked break", {{0}, {1000}, {2000, 1, true}, {3000}}, "-+-+"},
        {"around a value that is not a number", {{0}, {1000, NAN}, {2000}, {3000}}, "--+"},
        // Polls slower than the period: once four spacings are known, the
        // shortest of them is the expected one.
        {"a slow line", {{0}, {3000}, {6000}, {9000}, {12000}, {15000}, {18000}, {24000}, {30001}}, "-----+++-"},
        {"a marked break's silence is not learnt",
         {{0}, {1000}, {2000}, {3000}, {4000}, {60000, 1, true}, {61000}, {64000}},
         "-++++-+-"},
    };
    for (const auto& c : cases) {
        TrendHistory history(1);
        history.SetPollPeriod(1000);
        for (const Sample& s : c.samples) {
            if (s.breakBefore)
                history.Break();
            history.Append(kStart + s.ms, {s.value});
        }
        std::vector<TrendPoint> out;
        history.Thin(0, kStart, history.LastTime(), 1000, out);
        std::string joins;
        for (const TrendPoint& p : out)
            joins += p.joined ? '+' : '-';
        EXPECT_EQ(joins, c.joins) << c.name;
    }
}

TEST(TrendHistory, ThinnedLinesBreakWhereTheirSamplesDo)
{
    // A day at 1 Hz with a marked break, a silence of a minute, and a run of
    // values that are not numbers, thinned to a few hundred columns and
    // seen from ranges that start and end between the pieces.
    TrendHistory history(1);
    std::vector<std::int64_t> breaks; // the first time of every piece
    std::int64_t t = kStart;
    for (int i = 0; i < 86'400; ++i) {
        t += i == 50'000 ? 61'000 : 1000;
        if (i == 20'000)
            history.Break();
        const bool notANumber = i >= 70'000 && i < 70'010;
        if (i == 0 || i == 20'000 || i == 50'000 || i == 70'010)
            breaks.push_back(t);
        history.Append(t, {notANumber ? NAN : static_cast<float>(i % 100)});
    }
    const struct {
        std::int64_t from, to;
        int columns;
    } cases[] = {
        {history.FirstTime(), history.LastTime(), 600},
        {history.FirstTime(), history.LastTime(), 97},
        {breaks[1] + 5'000, breaks[3] - 5'000, 400},
        {breaks[2] - 30'000, breaks[2] + 30'000, 800}, // all points, the silence in the middle
    };
    std::vector<TrendPoint> out;
    for (const auto& c : cases) {
        history.Thin(0, c.from, c.to, c.columns, out);
        ASSERT_FALSE(out.empty());
        // Between every drawn point and the next: joined exactly when no
        // piece starts after the first up to the second.
        for (std::size_t k = 1; k < out.size(); ++k) {
            const bool breakBetween = std::any_of(breaks.begin(), breaks.end(), [&](std::int64_t b) {
                return b > out[k - 1].timeMs && b <= out[k].timeMs;
            });
            ASSERT_EQ(out[k].joined, !breakBetween) << "point " << k << " at " << out[k].timeMs - kStart;
        }
    }
}
