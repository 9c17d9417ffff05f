#include "crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(Crc16, CheckValueOfTheNineDigits)
{
    const char* digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)), 0x4B37);
}

TEST(Crc16, ReadOneRegisterFrameEndsWithKnownBytes)
{
    const std::vector<std::uint8_t> head = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    const std::uint16_t crc = Crc16(head.data(), head.size());
    EXPECT_EQ(crc & 0xFF, 0x84);
    EXPECT_EQ(crc >> 8, 0x0A);
}

TEST(Crc16, AFrameWithItsOwnCrcAppendedChecksToZero)
{
    std::vector<std::uint8_t> frame = {0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02};
    const std::uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    EXPECT_EQ(Crc16(frame.data(), frame.size()), 0);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
}

TEST(Crc16, PutCrcWritesTheLowByteFirstAndCrcMatchesChecksEveryByte)
{
    std::vector<std::uint8_t> frame = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
    PutCrc(frame.data(), 6);
    EXPECT_EQ(frame[6], 0x84);
    EXPECT_EQ(frame[7], 0x0A);
    EXPECT_TRUE(CrcMatches(frame.data(), frame.size()));
    for (std::size_t i = 0; i < frame.size(); ++i) {
        std::vector<std::uint8_t> damaged = frame;
        damaged[i] ^= 0x01;
        EXPECT_FALSE(CrcMatches(damaged.data(), damaged.size())) << "byte " << i;
    }
    EXPECT_FALSE(CrcMatches(frame.data(), 1));
}
