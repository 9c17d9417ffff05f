#include "plain_reg_list.h"
#include "reg_list_item_data.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const ModBusRequest& r)
{
    return std::vector<std::uint8_t>(r.data, r.data + r.length);
}

// Wire bytes of a float in C D A B order.
std::vector<std::uint8_t> Cdab(float f)
{
    const auto u = std::bit_cast<std::uint32_t>(f);
    return {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 24),
            static_cast<std::uint8_t>(u >> 16)};
}

TEST(RegKind, TypeWordsAndCounts)
{
    EXPECT_STREQ(RegKindTypeWord(rkUShort), "ushort");
    EXPECT_STREQ(RegKindTypeWord(rkShort), "short");
    EXPECT_STREQ(RegKindTypeWord(rkFloat), "float");
    EXPECT_STREQ(RegKindTypeWord(rkLong), "long");
    EXPECT_EQ(RegKindCount(rkUShort), 1);
    EXPECT_EQ(RegKindCount(rkShort), 1);
    EXPECT_EQ(RegKindCount(rkFloat), 2);
    EXPECT_EQ(RegKindCount(rkLong), 2);
}

TEST(GetValueText, NewObjectsShowZero)
{
    EXPECT_EQ(FloatRegListItemData{}.GetValueText(), "0.000000");
    EXPECT_EQ(SIntRegListItemData{}.GetValueText(), "0");
    EXPECT_EQ(UIntRegListItemData{}.GetValueText(), "0");
    EXPECT_EQ(LongRegListItemData{}.GetValueText(), "0");
}

TEST(GetValueText, SameBitsPerKind)
{
    UIntRegListItemData u;
    SIntRegListItemData s;
    std::int32_t pos = 0;
    const std::uint8_t ffff[2] = {0xFF, 0xFF};
    u.Decode(ffff, pos);
    pos = 0;
    s.Decode(ffff, pos);
    EXPECT_EQ(u.GetValueText(), "65535");
    EXPECT_EQ(s.GetValueText(), "-1");
    s.Set(-32768);
    EXPECT_EQ(s.GetValueText(), "-32768");

    LongRegListItemData l;
    l.Set(0xFFFFFFFFu);
    EXPECT_EQ(l.GetValueText(), "4294967295");
    l.Set(0x80000000u);
    EXPECT_EQ(l.GetValueText(), "2147483648");

    FloatRegListItemData f;
    f.Set(-0.1f);
    EXPECT_EQ(f.GetValueText(), "-0.100000");
}

TEST(BuildWriteRequest, FloatOnRegister2021)
{
    FloatRegListItemData f;
    f.RegAddress = 2021;
    f.RegCount = 2;
    ModBusRequest r;
    r.Rewind();
    f.BuildWriteRequest(r, "1.5");
    EXPECT_EQ(f.Get(), 1.5f);
    std::vector<std::uint8_t> expected{0x10, 0x07, 0xE4, 0x00, 0x02, 0x04};
    const auto v = Cdab(1.5f);
    expected.insert(expected.end(), v.begin(), v.end());
    EXPECT_EQ(Bytes(r), expected);
    // 1.5 = 3F C0 00 00: C D A B puts the low word first.
    EXPECT_EQ(v, (std::vector<std::uint8_t>{0x00, 0x00, 0x3F, 0xC0}));
}

struct IntWrite {
    const char* text;
    std::uint16_t stored; // bit pattern of the 16-bit value
};

TEST(BuildWriteRequest, SixteenBitRowsKeepTheLowBits)
{
    const IntWrite ushortCases[] = {{"70000", 4464}, {"-1", 65535}, {"65535", 65535}, {"$FFFF", 65535}, {"0", 0}};
    for (const auto& c : ushortCases) {
        UIntRegListItemData u;
        u.RegAddress = 42101;
        u.RegCount = 1;
        ModBusRequest r;
        u.BuildWriteRequest(r, c.text);
        EXPECT_EQ(u.Get(), c.stored) << c.text;
        const std::vector<std::uint8_t> expected{0x10, 0xA4, 0x74, 0x00, 0x01, 0x02,
                                                 static_cast<std::uint8_t>(c.stored >> 8),
                                                 static_cast<std::uint8_t>(c.stored)};
        EXPECT_EQ(Bytes(r), expected) << c.text;
    }
    const IntWrite shortCases[] = {{"40000", static_cast<std::uint16_t>(-25536)}, {"-1", 0xFFFF}, {"32767", 0x7FFF}};
    for (const auto& c : shortCases) {
        SIntRegListItemData s;
        s.RegAddress = 53027;
        s.RegCount = 1;
        ModBusRequest r;
        s.BuildWriteRequest(r, c.text);
        EXPECT_EQ(static_cast<std::uint16_t>(s.Get()), c.stored) << c.text;
        EXPECT_EQ(r.data[7], static_cast<std::uint8_t>(c.stored)) << c.text;
    }
    SIntRegListItemData s;
    s.RegAddress = 1;
    s.RegCount = 1;
    ModBusRequest r;
    s.BuildWriteRequest(r, "40000");
    EXPECT_EQ(s.Get(), -25536);
    EXPECT_EQ(s.GetValueText(), "-25536");
}

TEST(BuildWriteRequest, LongRowKeepsTheBitPattern)
{
    LongRegListItemData l;
    l.RegAddress = 53019;
    l.RegCount = 2;
    ModBusRequest r;
    l.BuildWriteRequest(r, "-1");
    EXPECT_EQ(l.Get(), 4294967295u);
    EXPECT_EQ(Bytes(r), (std::vector<std::uint8_t>{0x10, 0xCF, 0x1A, 0x00, 0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}));
    r.Rewind();
    l.BuildWriteRequest(r, "0x12345678");
    // C D A B: 56 78 12 34
    EXPECT_EQ(Bytes(r), (std::vector<std::uint8_t>{0x10, 0xCF, 0x1A, 0x00, 0x02, 0x04, 0x56, 0x78, 0x12, 0x34}));
}

TEST(BuildWriteRequest, RegisterOneGoesToAddressZero)
{
    UIntRegListItemData u;
    u.RegAddress = 1;
    u.RegCount = 1;
    ModBusRequest r;
    u.BuildWriteRequest(r, "7");
    EXPECT_EQ(r.data[1], 0);
    EXPECT_EQ(r.data[2], 0);
}

// A text that does not convert changes neither value nor request.
template <class Row>
void ExpectRejected(Row& row, const char* text)
{
    ModBusRequest r;
    row.BuildWriteRequest(r, "1");
    const auto before = Bytes(r);
    const auto value = row.Get();
    EXPECT_THROW(row.BuildWriteRequest(r, text), ConversionError) << text;
    EXPECT_EQ(row.Get(), value) << text;
    EXPECT_EQ(Bytes(r), before) << text;
}

TEST(BuildWriteRequest, BadTextsThrowAndChangeNothing)
{
    FloatRegListItemData f;
    f.RegAddress = 2021;
    f.RegCount = 2;
    UIntRegListItemData u;
    u.RegAddress = 42101;
    u.RegCount = 1;
    SIntRegListItemData s;
    s.RegAddress = 53027;
    s.RegCount = 1;
    LongRegListItemData l;
    l.RegAddress = 53019;
    l.RegCount = 2;
    for (const char* text : {"abc", "1,5", "", "1.5.", "1e99"})
        ExpectRejected(f, text);
    for (const char* text : {"abc", "", "1.5", "2147483648", "1,5"}) {
        ExpectRejected(u, text);
        ExpectRejected(s, text);
        ExpectRejected(l, text);
    }
    ExpectRejected(l, "4294967295");
}

TEST(AddRegListRow, ReadOnlyAndWritableRows)
{
    PlainRegList items;
    FloatRegListItemData serial;
    LongRegListItemData mask;
    UIntRegListItemData port;
    mask.Set(7);
    AddRegListRow(serial, items, "Серийный номер", 2001, rkFloat, 0);
    AddRegListRow(mask, items, "Маска кодов ошибок", 53019, rkLong, 0);
    AddRegListRow(port, items, "Адрес порта связи", 42101, rkUShort, 1);
    ASSERT_EQ(items.rows.size(), 3u);
    EXPECT_EQ(items.rows[0], (std::vector<std::string>{"Серийный номер", "2001", "float", "0.000000"}));
    EXPECT_EQ(items.rows[1], (std::vector<std::string>{"Маска кодов ошибок", "53019", "long", "7"}));
    EXPECT_EQ(items.rows[2], (std::vector<std::string>{"Адрес порта связи", "42101", "ushort", "0", "+"}));
    EXPECT_EQ(serial.RegAddress, 2001);
    EXPECT_EQ(serial.RegCount, 2);
    EXPECT_EQ(serial.Writable, 0);
    EXPECT_EQ(serial.ListItem, 0);
    EXPECT_EQ(mask.RegCount, 2);
    EXPECT_EQ(port.RegCount, 1);
    EXPECT_EQ(port.Writable, 1);
    EXPECT_EQ(port.ListItem, 2);
    EXPECT_EQ(items.objects[2], &port);

    SIntRegListItemData shortRow;
    AddRegListRow(shortRow, items, "x", 65535, rkShort, 1);
    EXPECT_EQ(items.rows[3], (std::vector<std::string>{"x", "65535", "short", "0", "+"}));
    EXPECT_EQ(shortRow.RegCount, 1);
}

} // namespace
