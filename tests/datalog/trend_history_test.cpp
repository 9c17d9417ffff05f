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
