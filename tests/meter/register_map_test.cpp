#include "plain_reg_list.h"
#include "register_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ExpectedRow {
    const char* caption;
    std::uint16_t number;
    RegKind kind;
    int writable;
};

const ExpectedRow kRows[16] = {
    {"Серийный номер", 2001, rkFloat, 0},
    {"Обводненность (trunc.), %", 2011, rkFloat, 0},
    {"Температура среды, С°", 2013, rkFloat, 0},
    {"Фаза эмульсии", 2017, rkFloat, 0},
    {"Соленость, %", 2021, rkFloat, 1},
    {"Oil Adjust, %", 2023, rkFloat, 1},
    {"Water Adjust, %", 2025, rkFloat, 1},
    {"Обводненность, %", 2029, rkFloat, 0},
    {"Oil Index, МГц", 2031, rkFloat, 1},
    {"Water Index, МГц", 2033, rkFloat, 1},
    {"Режим работы", 40020, rkUShort, 0},
    {"Версия прошивки", 40024, rkUShort, 0},
    {"Адрес порта связи", 42101, rkUShort, 1},
    {"Скорость порта связи", 42102, rkUShort, 1},
    {"Маска кодов ошибок", 53019, rkLong, 0},
    {"Температура платы, С°", 53022, rkFloat, 0},
};

TEST(RegRows, SixteenRowsInDisplayOrder)
{
    auto regs = std::make_unique<MeterRegisters>();
    const auto rows = RegRows(*regs);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_STREQ(rows[i].caption, kRows[i].caption) << i;
        EXPECT_EQ(rows[i].registerNumber, kRows[i].number) << i;
        EXPECT_EQ(rows[i].kind, kRows[i].kind) << i;
        EXPECT_EQ(rows[i].writable, kRows[i].writable) << i;
    }
    // The "С" of the temperature captions is the Cyrillic letter Es.
    EXPECT_EQ(std::string(rows[2].caption).substr(std::string(rows[2].caption).size() - 4), "\xD0\xA1\xC2\xB0");
    // Objects behind the rows whose value comes from elsewhere.
    EXPECT_EQ(rows[4].object, &regs->Salinity);
    EXPECT_EQ(rows[5].object, &regs->Phases[0].Tail[2]);
    EXPECT_EQ(rows[6].object, &regs->Phases[1].Tail[2]);
    EXPECT_EQ(rows[8].object, &regs->Phases[0].Tail[3]);
    EXPECT_EQ(rows[9].object, &regs->Phases[1].Tail[3]);
    EXPECT_EQ(rows[10].object, &regs->ModAnalyzer);
    EXPECT_EQ(rows[11].object, &regs->FirmwareVersion);
    EXPECT_EQ(rows[14].object, &regs->ErrorMask);
    EXPECT_EQ(rows[15].object, &regs->BoardTemperature);
    // Every row has its own object, and its class matches the kind.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t j = i + 1; j < rows.size(); ++j)
            EXPECT_NE(rows[i].object, rows[j].object);
        const bool isFloat = dynamic_cast<FloatRegListItemData*>(rows[i].object) != nullptr;
        const bool isUShort = dynamic_cast<UIntRegListItemData*>(rows[i].object) != nullptr;
        const bool isLong = dynamic_cast<LongRegListItemData*>(rows[i].object) != nullptr;
        EXPECT_EQ(isFloat, rows[i].kind == rkFloat) << i;
        EXPECT_EQ(isUShort, rows[i].kind == rkUShort) << i;
        EXPECT_EQ(isLong, rows[i].kind == rkLong) << i;
    }
}

TEST(AddRegListRows, FillsTheListAndTheRowFields)
{
    auto regs = std::make_unique<MeterRegisters>();
    regs->PortSpeed.Set(9600);
    PlainRegList items;
    AddRegListRows(*regs, items);
    ASSERT_EQ(items.rows.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        const auto& texts = items.rows[i];
        ASSERT_EQ(texts.size(), kRows[i].writable ? 5u : 4u) << i;
        EXPECT_EQ(texts[0], kRows[i].caption);
        EXPECT_EQ(texts[1], std::to_string(kRows[i].number));
        EXPECT_EQ(texts[2], RegKindTypeWord(kRows[i].kind));
        if (kRows[i].writable) {
            EXPECT_EQ(texts[4], "+");
        }
        EXPECT_EQ(items.objects[i]->ListItem, static_cast<int>(i));
        EXPECT_EQ(items.objects[i]->RegAddress, kRows[i].number);
        EXPECT_EQ(items.objects[i]->RegCount, RegKindCount(kRows[i].kind));
    }
    EXPECT_EQ(items.rows[0][3], "0.000000");
    EXPECT_EQ(items.rows[13][3], "9600");
    // Objects without a row keep their row fields unset.
    EXPECT_EQ(regs->NShift.ListItem, -1);
    EXPECT_EQ(regs->NSStart.RegAddress, 0);
}

struct ParamCase {
    std::uint16_t mode;
    float phase;
    std::uint16_t selector; // SG1CrossN of the selected block
    int expectedItem;       // 5..11, or -1 for NaN
};

TEST(ParameterValue, SelectionRules)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ParamCase cases[] = {
        {3, 0.0f, 0, -1},      {4, 0.0f, 0, 5},       {4, 1.7f, 3, 8},      {4, 0.0f, 20001, 5},
        {4, 0.0f, 20000, -1},  {4, 0.0f, 10001, -1},  {4, 0.0f, 7, -1},     {4, 0.0f, 6, 11},
        {4, 2.0f, 0, -1},      {4, -1.0f, 0, -1},     {4, -0.5f, 2, 7},     {4, -0.9f, 1, 6},
        {4, 0.5f, 1, 6},       {4, 1.99f, 65535, 5},  {4, nan, 0, -1},      {4, 3e9f, 0, -1},
        {4, -3e9f, 0, -1},     {65535, 1.0f, 0, 5},   {0, 1.0f, 0, -1},
        {4, std::numeric_limits<float>::infinity(), 0, -1},
    };
    for (const auto& c : cases) {
        PhaseBlock phases[2];
        for (int b = 0; b < 2; ++b)
            for (int i = 0; i < 7; ++i)
                phases[b].Params[i].Set(static_cast<float>(100 * b + 5 + i));
        const int block = c.phase >= 1.0f ? 1 : 0;
        phases[block].SG1CrossN.Set(c.selector);
        // The other block selects something else, so that a wrong block shows.
        phases[1 - block].SG1CrossN.Set(c.selector == 0 ? 1 : 0);
        const float v = ParameterValue(c.mode, c.phase, phases);
        if (c.expectedItem < 0) {
            EXPECT_TRUE(std::isnan(v)) << c.mode << ' ' << c.phase << ' ' << c.selector << " got " << v;
        } else {
            EXPECT_EQ(v, static_cast<float>(100 * block + c.expectedItem))
                << c.mode << ' ' << c.phase << ' ' << c.selector;
        }
    }
}

} // namespace
