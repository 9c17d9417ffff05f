// Differences of configurations in the meter's terms, and the service
// report's table of them.

#include "config_diff.h"
#include "layout_writer.h"
#include "meter_config.h"
#include "service_report.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

MeterConfig Base()
{
    MeterConfig c;
    c.Serial = 20417;
    c.OilAdjust = 0.25f;
    c.FirmwareVersion = 10712;
    c.Phase[1].Salt[3].Salt = 50;
    c.PointSet[0].PCount = 3;
    return c;
}

struct Case {
    const char* what;
    std::function<void(MeterConfig&)> change;
    ConfigChange expected;
};

} // namespace

TEST(ConfigDiffTest, EachChangeIsNamedBySectionRegisterAndCaption)
{
    const std::vector<Case> cases = {
        {"list caption", [](MeterConfig& c) { c.OilAdjust = 0.75f; },
         {"Общие", 2023, "float", "Oil Adjust, %", "0.25", "0.75"}},
        {"serial", [](MeterConfig& c) { c.Serial = 31000; },
         {"Общие", 2001, "float", "Серийный номер", "20417", "31000"}},
        {"set-1 name", [](MeterConfig& c) { c.PDThres = 17; }, {"Set-1", 53011, "ushort", "P.D.Thres", "0", "17"}},
        {"sshort", [](MeterConfig& c) { c.NShift = -3; }, {"Set-2", 53027, "sshort", "NShift", "0", "-3"}},
        {"phase 1", [](MeterConfig& c) { c.Phase[1].SG1Start = 1.5f; },
         {"Phase: 1", 53602, "float", "SG1Start", "0", "1.5"}},
        {"salt table of phase 1", [](MeterConfig& c) { c.Phase[1].Salt[3].XStd = 2.0f; },
         {"Phase: 1, Salt: 3", 55095, "float", "XStd", "0", "2"}},
        {"density", [](MeterConfig& c) { c.RoMax = 900.0f; },
         {"Density correction", 56006, "float", "RoMax", "0", "900"}},
        {"point pair", [](MeterConfig& c) { c.PointSet[0].PairW[2] = 0.5f; },
         {"Point set, phase: 0", 57000 + 37 + 8, "float", "W[2]", "0", "0.5"}},
        {"only in the new", [](MeterConfig& c) { c.PointSet[0].PCount = 4; },
         {"Point set, phase: 0", 57000 + 34, "ushort", "PCount", "3", "4"}},
    };
    const std::string base = ParamFileText(Base());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterConfig changed = Base();
        c.change(changed);
        const ConfigDiff diff = DiffConfigurations(base, ParamFileText(changed));
        ASSERT_TRUE(diff.valid);
        ASSERT_FALSE(diff.changes.empty());
        const ConfigChange& got = diff.changes.front();
        EXPECT_EQ(got.section, c.expected.section);
        EXPECT_EQ(got.registerNumber, c.expected.registerNumber);
        EXPECT_EQ(got.typeWord, c.expected.typeWord);
        EXPECT_EQ(got.caption, c.expected.caption);
        EXPECT_EQ(got.oldValue, c.expected.oldValue);
        EXPECT_EQ(got.newValue, c.expected.newValue);
        // The reverse comparison names the same register the other way round.
        const ConfigDiff back = DiffConfigurations(ParamFileText(changed), base);
        ASSERT_FALSE(back.changes.empty());
        EXPECT_EQ(back.changes.front().oldValue, c.expected.newValue);
    }
}

TEST(ConfigDiffTest, AddedLinesAndInvalidTextsAreReported)
{
    MeterConfig more = Base();
    more.PointSet[0].PCount = 4;
    more.PointSet[0].PairP[3] = 7;
    const ConfigDiff diff = DiffConfigurations(ParamFileText(Base()), ParamFileText(more));
    ASSERT_EQ(diff.changes.size(), 3u); // PCount, P[3], W[3]
    EXPECT_EQ(diff.changes[1].caption, "P[3]");
    EXPECT_EQ(diff.changes[1].oldValue, "нет");
    EXPECT_EQ(diff.changes[1].newValue, "7");
    EXPECT_EQ(diff.changes[2].newValue, "0");

    EXPECT_TRUE(DiffConfigurations(ParamFileText(Base()), ParamFileText(Base())).changes.empty());
    const ConfigDiff bad = DiffConfigurations(ParamFileText(Base()), "2001 float abc\r\n");
    EXPECT_FALSE(bad.valid);
    ASSERT_EQ(bad.messages.size(), 1u);
    EXPECT_EQ(bad.messages[0].rfind("стало: ", 0), 0u) << bad.messages[0];
}

TEST(ServiceReportTest, TheHtmlHoldsEveryChangeAndTheLiveValuesEscaped)
{
    MeterConfig changed = Base();
    changed.Serial = 31000;
    changed.PDThres = 17;
    Snapshot before, after;
    before.id = 4;
    before.config = ParamFileText(Base());
    before.kind = SnapshotKind::AsFound;
    after.id = 9;
    after.serial = "31000";
    after.firmware = 10712;
    after.config = ParamFileText(changed);
    after.kind = SnapshotKind::AsLeft;
    after.takenLocal = "2026-03-01T10:00:00+03:00";
    after.link = {"/dev/ttyUSB0", 9600, 300, 7, false};
    after.liveValues = "Обводненность, %\t12.5\nA<B\t1\n";
    const ConfigDiff diff = DiffConfigurations(before.config, after.config);
    const std::string html = ServiceReportHtml(before, after, diff, {"Иванов & Ко", "Куст 5", "2.0"});
    for (const ConfigChange& c : diff.changes) {
        const std::string row = "<td class=\"num\">" + std::to_string(c.registerNumber) + "</td><td>" + c.caption +
                                "</td><td>" + c.typeWord + "</td><td class=\"num\">" + c.oldValue +
                                "</td><td class=\"num\">" + c.newValue + "</td></tr>";
        EXPECT_NE(html.find(row), std::string::npos) << row;
    }
    EXPECT_EQ(diff.changes.size(), 2u);
    for (const char* text : {"Иванов &amp; Ко", "Куст 5", "2026-03-01", "/dev/ttyUSB0, 9600", "адрес 7",
                             "<td>A&lt;B</td>", "Обводненность, %", "VOK Tarnel V2 2.0", "size: A4",
                             "<meta charset=\"utf-8\">"})
        EXPECT_NE(html.find(text), std::string::npos) << text;
    // Self-contained: nothing is fetched.
    for (const char* external : {"src=", "href=", "@import", "url("})
        EXPECT_EQ(html.find(external), std::string::npos) << external;
}
