// The simulator's framing and image file, without a line.

#include "crc16.h"
#include "register_image.h"
#include "rtu_framer.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes f)
{
    f.resize(f.size() + 2);
    PutCrc(f.data(), f.size() - 2);
    return f;
}

TEST(RtuFramer, CutsBackToBackFramesByFunctionLength)
{
    const Bytes read = WithCrc({1, 3, 0x07, 0xD0, 0, 30});
    const Bytes write = WithCrc({1, 16, 0, 10, 0, 2, 4, 1, 2, 3, 4});
    Bytes line = read;
    line.insert(line.end(), write.begin(), write.end());
    RtuFramer framer;
    // Byte by byte: nothing comes out before a frame is complete.
    std::vector<Bytes> out;
    for (std::uint8_t b : line) {
        framer.Feed(&b, 1);
        while (auto f = framer.Next())
            out.push_back(*f);
    }
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], read);
    EXPECT_EQ(out[1], write);
    EXPECT_FALSE(framer.Pending());
}

TEST(RtuFramer, GarbageIsDroppedAtSilenceAndUnknownFunctionsSettleBySilence)
{
    RtuFramer framer;
    Bytes bad = WithCrc({1, 3, 0, 0, 0, 1});
    bad[7] ^= 1;
    framer.Feed(bad.data(), bad.size());
    EXPECT_FALSE(framer.Next());
    const Bytes good = WithCrc({1, 3, 0, 0, 0, 1});
    framer.Feed(good.data(), good.size()); // still within the garbage burst
    EXPECT_FALSE(framer.Next());
    EXPECT_FALSE(framer.Silence());
    framer.Feed(good.data(), good.size());
    EXPECT_EQ(framer.Next(), good);

    const Bytes other = WithCrc({1, 0x2B, 0x0E, 1, 0});
    framer.Feed(other.data(), other.size());
    EXPECT_FALSE(framer.Next());
    EXPECT_TRUE(framer.Pending());
    EXPECT_EQ(framer.Silence(), other);
    EXPECT_FALSE(framer.Pending());
}

TEST(RegisterImage, FloatsLieLowWordFirst)
{
    RegisterImage im{};
    PutFloat(im, 100, 1.0f);
    EXPECT_EQ(im[100], 0x0000);
    EXPECT_EQ(im[101], 0x3F80);
    EXPECT_EQ(GetFloat(im, 100), 1.0f);
    PutU32(im, 200, 0x12345678);
    EXPECT_EQ(im[200], 0x5678);
    EXPECT_EQ(im[201], 0x1234);
}

TEST(RegisterImage, StartupAndFactoryImagesDiffer)
{
    const RegisterImage a = StartupImage(), b = FactoryImage();
    EXPECT_NE(GetFloat(a, meter_regs::kSerial), GetFloat(b, meter_regs::kSerial));
    EXPECT_GE(a[meter_regs::kFirmware], 10700);
    int below = 0, above = 0;
    for (int s = 0; s < 10; ++s)
        (GetFloat(a, static_cast<std::uint16_t>(54000 + 30 * s)) < 100.0f ? below : above)++;
    EXPECT_GT(below, 0);
    EXPECT_GT(above, 0);
}

TEST(RegisterImage, FileRoundTripAndRejectedLines)
{
    const TempDir dir;
    const std::string path = dir.File("image.txt");
    RegisterImage im = StartupImage();
    im[0] = 1;
    im[65535] = 65535;
    ASSERT_TRUE(SaveImageFile(path, im));
    RegisterImage back{};
    std::string error;
    ASSERT_TRUE(LoadImageFile(path, back, error)) << error;
    EXPECT_EQ(back, im);

    for (const char* line : {"65536 1", "1 65536", "1", "1 2 3", "x 1", "-1 4"}) {
        SCOPED_TRACE(line);
        std::ofstream(path) << "# comment\n\n" << line << "\n";
        RegisterImage kept = im;
        EXPECT_FALSE(LoadImageFile(path, kept, error));
        EXPECT_EQ(kept, im);
    }
    EXPECT_FALSE(LoadImageFile(dir.File("missing"), back, error));
}

} // namespace
