#include "codecs.h"
#include "pdu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const ModBusPdu& pdu)
{
    return {pdu.data, pdu.data + pdu.length};
}

// An answer PDU over a buffer of the test's own.
struct Answer : ModBusAnswer {
    explicit Answer(std::vector<std::uint8_t> b) : bytes(std::move(b))
    {
        data = bytes.data();
        length = static_cast<std::uint32_t>(bytes.size());
    }
    std::vector<std::uint8_t> bytes;
};

} // namespace

TEST(ModBusRequest, NewRequestIsEmpty)
{
    ModBusRequest r;
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.Size(), 0u);
    EXPECT_EQ(r.values, nullptr);
    EXPECT_EQ(r.offset, 0);
}

TEST(ModBusRequest, FiveByteFormForReadsAndSingleWrites)
{
    ModBusRequest r(3, 0, 1);
    EXPECT_EQ(Bytes(r), (std::vector<std::uint8_t>{0x03, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(r.values, nullptr);
    r.Build(6, 49988, 1234);
    EXPECT_EQ(Bytes(r), (std::vector<std::uint8_t>{0x06, 0xC3, 0x44, 0x04, 0xD2}));
}

TEST(ModBusRequest, MultipleWriteFormHasValueAreaAfterByteCount)
{
    ModBusRequest r(16, 2000, 2);
    ASSERT_EQ(r.Size(), 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(r.data, r.data + 6),
              (std::vector<std::uint8_t>{0x10, 0x07, 0xD0, 0x00, 0x02, 0x04}));
    EXPECT_EQ(r.values, r.data + 6);
}

TEST(ModBusRequest, OversizedMultipleWriteIsCappedAt253Bytes)
{
    ModBusRequest r(16, 0, 124);
    EXPECT_EQ(r.Size(), 253u);
    EXPECT_EQ(r.data[5], static_cast<std::uint8_t>(248));
    // Only the values that fit go in: 123 registers of room, 62 floats need 124.
    ModBusFloatReg f(1.0f);
    for (int i = 0; i < 62; ++i)
        r << f;
    EXPECT_EQ(r.offset, 61 * 4 + 0);
    ModBusUShortReg u(7);
    r << u;
    EXPECT_EQ(r.offset, 246);
}

TEST(ModBusRequest, RebuildToSameLengthKeepsBufferAndOffset)
{
    ModBusRequest r(3, 2000, 30);
    const std::uint8_t* buffer = r.data;
    r.offset = 3;
    r.Build(3, 53011, 16);
    EXPECT_EQ(r.data, buffer);
    EXPECT_EQ(r.offset, 3);
    EXPECT_EQ(Bytes(r), (std::vector<std::uint8_t>{0x03, 0xCF, 0x13, 0x00, 0x10}));
}

TEST(ModBusRequest, UnknownFunctionLeavesRequestAsItWas)
{
    ModBusRequest r(3, 1, 2);
    const auto before = Bytes(r);
    r.Build(7, 5, 5);
    r.Build(0, 5, 5);
    EXPECT_EQ(Bytes(r), before);
}

TEST(ModBusRequest, SetAddressAndCopyTo)
{
    ModBusRequest r(3, 0, 30);
    r.SetAddress(0xD050);
    std::uint8_t out[8] = {};
    r.CopyTo(out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 5), (std::vector<std::uint8_t>{0x03, 0xD0, 0x50, 0x00, 0x1E}));
    ModBusRequest empty;
    empty.SetAddress(5);
    empty.CopyTo(out); // copies nothing
    EXPECT_EQ(out[0], 0x03);
}

TEST(ModBusRequest, ResizeKeepsContentsOnlyForTheSameLength)
{
    ModBusRequest r;
    std::uint8_t* p = r.Resize(4);
    p[0] = 0xAA;
    EXPECT_EQ(r.Resize(4), p);
    EXPECT_EQ(r.data[0], 0xAA);
    r.Resize(300);
    EXPECT_EQ(r.Size(), 253u);
}

TEST(ModBusAnswer, ParseTable)
{
    struct Case {
        std::vector<std::uint8_t> pdu;
        bool ok;
        std::int32_t exception;
        bool hasValues;
    };
    const Case cases[] = {
        {{0x83, 0x02}, true, 2, false},
        {{0x83, 0x00}, true, 0, false},
        {{0x03, 0x02, 0x12, 0x34}, true, 0, true},
        {{0x03, 0x04, 0x12, 0x34}, false, 0, false},
        {{0x03, 0x00}, false, 0, false},
        {{0x06, 0x00, 0x01, 0x00, 0x02}, true, 0, false},
        {{0x06, 0x00, 0x01, 0x00, 0x02, 0x00}, false, 0, false},
        {{0x10, 0x07, 0xD0, 0x00, 0x02}, true, 0, false},
        {{0x07, 0x00, 0x00, 0x00, 0x00}, false, 0, false},
        {{0x03}, false, 0, false},
    };
    for (const Case& c : cases) {
        Answer a(c.pdu);
        std::int32_t exception = -1;
        EXPECT_EQ(a.Parse(exception), c.ok) << "PDU of " << c.pdu.size() << " bytes, function " << int(c.pdu[0]);
        if (c.ok) {
            EXPECT_EQ(exception, c.exception);
        }
        EXPECT_EQ(a.values != nullptr, c.hasValues);
        EXPECT_EQ(a.offset, 0);
    }
}

TEST(ModBusAnswer, ReadAnswerWithAnyConsistentByteCountIsAccepted)
{
    Answer a({0x03, 0x06, 1, 2, 3, 4, 5, 6});
    std::int32_t exception = 0;
    EXPECT_TRUE(a.Parse(exception));
    EXPECT_EQ(a.values, a.data + 2);
}

TEST(AnswerFits, AnAnswerMustMatchItsRequest)
{
    const ModBusRequest read(3, 2000, 2);
    const ModBusRequest single(6, 49988, 1234);
    ModBusRequest multiple(16, 60063, 5);
    const struct {
        const ModBusRequest* request;
        std::vector<std::uint8_t> answer;
        bool fits;
    } cases[] = {
        {&read, {0x03, 0x04, 1, 2, 3, 4}, true},
        {&read, {0x03, 0x02, 1, 2}, false},                   // fewer registers than asked
        {&read, {0x03, 0x06, 1, 2, 3, 4, 5, 6}, false},       // more
        {&read, {0x04, 0x04, 1, 2, 3, 4}, false},             // another function
        {&read, {0x10, 0x07, 0xD0, 0x00, 0x02}, false},       // a write echo
        {&read, {0x83, 0x02}, true},                          // its exception
        {&read, {0x83, 0x00}, false},                         // exception code 0
        {&read, {0x86, 0x02}, false},                         // another function's exception
        {&read, {0x83, 0x02, 0x00}, false},
        {&single, {0x06, 0xC3, 0x44, 0x04, 0xD2}, true},
        {&single, {0x06, 0xC3, 0x44, 0x00, 0x00}, false},     // another value
        {&single, {0x06, 0xC3, 0x45, 0x04, 0xD2}, false},     // another address
        {&multiple, {0x10, 0xEA, 0x9F, 0x00, 0x05}, true},
        {&multiple, {0x10, 0xEA, 0x9F, 0x00, 0x04}, false},   // another quantity
        {&multiple, {0x10, 0xEA, 0xA0, 0x00, 0x05}, false},   // another address
        {&multiple, {0x03, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        const Answer answer(c.answer);
        EXPECT_EQ(AnswerFits(*c.request, answer), c.fits)
            << "request function " << int(c.request->data[0]) << ", answer of " << c.answer.size() << " bytes";
    }
}
