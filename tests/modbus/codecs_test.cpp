#include "codecs.h"
#include "pdu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

template <class Reg>
std::vector<std::uint8_t> Encoded(const Reg& reg)
{
    std::vector<std::uint8_t> out(reg.ByteSize());
    std::int32_t pos = 0;
    reg.Encode(out.data(), pos);
    EXPECT_EQ(pos, reg.ByteSize());
    return out;
}

struct Answer : ModBusAnswer {
    explicit Answer(std::vector<std::uint8_t> b) : bytes(std::move(b))
    {
        data = bytes.data();
        length = static_cast<std::uint32_t>(bytes.size());
        std::int32_t e;
        parsed = Parse(e);
    }
    std::vector<std::uint8_t> bytes;
    bool parsed = false;
};

} // namespace

TEST(Codecs, SixteenBitWireOrderIsHighByteFirst)
{
    EXPECT_EQ(Encoded(ModBusShortReg(-2)), (std::vector<std::uint8_t>{0xFF, 0xFE}));
    EXPECT_EQ(Encoded(ModBusUShortReg(0x1234)), (std::vector<std::uint8_t>{0x12, 0x34}));
    const std::uint8_t fffe[] = {0xFF, 0xFE};
    ModBusShortReg s;
    ModBusUShortReg u;
    std::int32_t p1 = 0, p2 = 0;
    s.Decode(fffe, p1);
    u.Decode(fffe, p2);
    EXPECT_EQ(s.Get(), -2);
    EXPECT_EQ(u.Get(), 65534);
}

TEST(Codecs, ThirtyTwoBitRowTwoIsLowWordFirst)
{
    EXPECT_EQ(Encoded(ModBusFloatReg(1.0f)), (std::vector<std::uint8_t>{0x00, 0x00, 0x3F, 0x80}));
    EXPECT_EQ(Encoded(ModBusULongReg(0x12345678)), (std::vector<std::uint8_t>{0x56, 0x78, 0x12, 0x34}));
    const std::uint8_t one[] = {0x00, 0x00, 0x3F, 0x80};
    ModBusFloatReg f;
    std::int32_t pos = 0;
    f.Decode(one, pos);
    EXPECT_EQ(f.Get(), 1.0f);
}

TEST(Codecs, EveryByteOrderRowPlacesTheBytesAsItsNameSays)
{
    const std::uint32_t v = 0xA1B2C3D4;
    EXPECT_EQ(Encoded(tModBus4ByteReg<std::uint32_t, 0>(v)), (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(Encoded(tModBus4ByteReg<std::uint32_t, 1>(v)), (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(Encoded(tModBus4ByteReg<std::uint32_t, 2>(v)), (std::vector<std::uint8_t>{0xC3, 0xD4, 0xA1, 0xB2}));
    EXPECT_EQ(Encoded(tModBus4ByteReg<std::uint32_t, 3>(v)), (std::vector<std::uint8_t>{0xB2, 0xA1, 0xD4, 0xC3}));
}

TEST(Codecs, NonFinitePatternsPassUnchanged)
{
    const std::uint32_t patterns[] = {0x7FC00001, 0xFF800000, 0x7F800000, 0x80000000};
    for (std::uint32_t bits : patterns) {
        ModBusFloatReg a(std::bit_cast<float>(bits)), b;
        const auto wire = Encoded(a);
        std::int32_t pos = 0;
        b.Decode(wire.data(), pos);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(b.Get()), bits);
    }
}

TEST(Codecs, RegisterBytesAndWords)
{
    ModBusFloatReg f(1.0f);
    std::uint8_t d[2] = {0xEE, 0xEE};
    f.GetRegBytes(1, d);
    EXPECT_EQ(d[0], 0x3F);
    EXPECT_EQ(d[1], 0x80);
    f.GetRegBytes(0, d);
    EXPECT_EQ(d[0], 0x00);
    EXPECT_EQ(d[1], 0x00);
    d[0] = d[1] = 0xEE;
    f.GetRegBytes(2, d);
    EXPECT_EQ(d[0], 0xEE);

    // A register word holds its two wire bytes, the first at the lower address.
    auto word = [](std::uint8_t first, std::uint8_t second) {
        std::uint16_t w;
        const std::uint8_t b[2] = {first, second};
        std::memcpy(&w, b, 2);
        return w;
    };
    ModBusFloatReg g;
    g.SetRegWord(1, word(0x40, 0x49));
    g.SetRegWord(0, word(0x0F, 0xDB));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(g.Get()), 0x40490FDBu);
    g.SetRegWord(5, word(0, 0));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(g.Get()), 0x40490FDBu);
    ModBusUShortReg u;
    u.SetRegWord(0, word(0x12, 0x34));
    EXPECT_EQ(u.Get(), 0x1234);
}

TEST(Codecs, StoreReportsDifferenceAndLoadRoundTrips)
{
    std::uint8_t image[8] = {};
    ModBusFloatReg f(2.5f);
    ModBusShortReg s(-7);
    std::int32_t pos = 0;
    EXPECT_NE(f.Store(image, pos), 0);
    EXPECT_NE(s.Store(image, pos), 0);
    EXPECT_EQ(pos, 6);
    pos = 0;
    EXPECT_EQ(f.Store(image, pos), 0);
    ModBusFloatReg f2;
    ModBusShortReg s2;
    pos = 0;
    f2.Load(image, pos);
    s2.Load(image, pos);
    EXPECT_EQ(f2.Get(), 2.5f);
    EXPECT_EQ(s2.Get(), -7);
}

TEST(CodecStreams, OneFloatFitsASecondIsLeftOut)
{
    ModBusRequest r(16, 2000, 2);
    r.Rewind();
    ModBusFloatReg one(1.0f), two(2.0f);
    r << one << two;
    EXPECT_EQ(std::vector<std::uint8_t>(r.data, r.data + r.Size()),
              (std::vector<std::uint8_t>{0x10, 0x07, 0xD0, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80}));
    EXPECT_EQ(r.offset, 4);
}

TEST(CodecStreams, InsertIntoFiveByteRequestChangesNothing)
{
    for (std::uint8_t fn : {std::uint8_t{3}, std::uint8_t{6}}) {
        ModBusRequest r(fn, 10, 20);
        const std::vector<std::uint8_t> before(r.data, r.data + r.Size());
        ModBusFloatReg f(1.0f);
        r << f;
        EXPECT_EQ(std::vector<std::uint8_t>(r.data, r.data + r.Size()), before);
        EXPECT_EQ(r.offset, 0);
    }
}

TEST(CodecStreams, ExtractionStopsAtTheByteCount)
{
    Answer a({0x03, 0x06, 0x00, 0x00, 0x3F, 0x80, 0xFF, 0xFE});
    ASSERT_TRUE(a.parsed);
    ModBusFloatReg f1, f2(9.0f);
    ModBusShortReg s;
    a >> f1 >> s >> f2;
    EXPECT_EQ(f1.Get(), 1.0f);
    EXPECT_EQ(s.Get(), -2);
    EXPECT_EQ(f2.Get(), 9.0f);
}

TEST(CodecStreams, ExtractionFromWriteOrExceptionAnswerKeepsValue)
{
    for (const auto& pdu : {std::vector<std::uint8_t>{0x06, 0, 1, 0, 2}, std::vector<std::uint8_t>{0x83, 0x02}}) {
        Answer a(pdu);
        ASSERT_TRUE(a.parsed);
        ModBusUShortReg u(42);
        a >> u;
        EXPECT_EQ(u.Get(), 42);
    }
}
