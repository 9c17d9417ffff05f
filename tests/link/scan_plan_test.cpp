// The finder's order of probes, its answer time per speed and the texts
// vokctl takes for its ranges.

#include "scan_plan.h"

#include <gtest/gtest.h>

#include <set>

TEST(ScanPlan, CurrentSettingsFirstThenEveryPairOnce)
{
    const std::vector<std::uint32_t> speeds(kScanSpeeds.begin(), kScanSpeeds.end());
    const std::vector<ScanProbe> order = ScanOrder(speeds, 1, 247, 19200, 37);
    ASSERT_EQ(order.size(), 6u * 247u);
    const std::vector<ScanProbe> head = {{19200, 37}, {115200, 37}, {57600, 37}, {38400, 37}, {9600, 37},
                                         {4800, 37},  {19200, 1},   {19200, 2}};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), order.begin()));
    EXPECT_TRUE((order[6 + 246] == ScanProbe{115200, 1}));
    EXPECT_TRUE((order.back() == ScanProbe{4800, 247}));
    std::set<std::pair<std::uint32_t, int>> seen;
    for (const ScanProbe& p : order)
        EXPECT_TRUE(seen.insert({p.baud, p.address}).second) << p.baud << " " << int(p.address);

    // Current values outside the lists are not added; a repeated speed counts once.
    const std::vector<ScanProbe> narrow = ScanOrder({9600, 4800, 9600}, 5, 6, 1200, 200);
    EXPECT_EQ(narrow, (std::vector<ScanProbe>{{9600, 5}, {9600, 6}, {4800, 5}, {4800, 6}}));
    EXPECT_EQ(DefaultScanSpeeds(1200).front(), 1200u);
    EXPECT_EQ(DefaultScanSpeeds(1200).size(), 7u);
    EXPECT_EQ(DefaultScanSpeeds(9600), speeds);
}

TEST(ScanPlan, AProbeWaitsForTheLineAndAShortTurnaround)
{
    // The request (8 bytes) and 3.5 characters of silence at 11 bits, plus 25 ms.
    EXPECT_EQ(ProbeTimeoutMs(115200), 27u);
    EXPECT_EQ(ProbeTimeoutMs(9600), 39u);
    EXPECT_EQ(ProbeTimeoutMs(4800), 52u);
    // Six speeds of 247 addresses, each probe with the 20 ms that settle
    // the line after it, fit well in two minutes.
    std::uint64_t total = 0;
    for (std::uint32_t baud : kScanSpeeds)
        total += 247u * (ProbeTimeoutMs(baud) + 20u);
    EXPECT_LT(total, 100'000u);
}

TEST(ScanPlan, RangeTexts)
{
    EXPECT_EQ(ParseSpeedList("115200,9600"), (std::vector<std::uint32_t>{115200, 9600}));
    EXPECT_EQ(ParseSpeedList("4800"), (std::vector<std::uint32_t>{4800}));
    EXPECT_EQ(ParseAddressRange("1-247"), (std::pair<std::uint8_t, std::uint8_t>{1, 247}));
    EXPECT_EQ(ParseAddressRange("37"), (std::pair<std::uint8_t, std::uint8_t>{37, 37}));
    for (const char* bad : {"", "9600,", ",9600", "0", "-5", "fast", "9600;4800"})
        EXPECT_FALSE(ParseSpeedList(bad)) << bad;
    for (const char* bad : {"", "0-5", "1-248", "10-5", "a-b", "5-", "-5"})
        EXPECT_FALSE(ParseAddressRange(bad)) << bad;
    EXPECT_EQ(FoundMeterLine({37, 19200, "20417.000000", "10712"}), "37\t19200\t20417.000000\t10712");
    EXPECT_EQ(FoundMeterLine({5, 9600, "", ""}), "5\t9600\t-\t-");
}
