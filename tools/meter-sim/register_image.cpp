#include "register_image.h"

#include "codecs.h"
#include "file_write.h"

#include <fstream>
#include <sstream>

namespace {

// A two-register value put into the image in the wire order of its codec.
template <class Codec, class T>
void PutPair(RegisterImage& image, std::uint16_t address, T value)
{
    std::uint8_t bytes[4];
    std::int32_t pos = 0;
    Codec(value).Encode(bytes, pos);
    image[address] = static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
    image[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint16_t>((bytes[2] << 8) | bytes[3]);
}

} // namespace

void PutFloat(RegisterImage& image, std::uint16_t address, float value)
{
    PutPair<ModBusFloatReg>(image, address, value);
}

float GetFloat(const RegisterImage& image, std::uint16_t address)
{
    const std::uint16_t lo = image[address];
    const std::uint16_t hi = image[static_cast<std::uint16_t>(address + 1)];
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(lo >> 8), static_cast<std::uint8_t>(lo),
                                   static_cast<std::uint8_t>(hi >> 8), static_cast<std::uint8_t>(hi)};
    ModBusFloatReg reg;
    std::int32_t pos = 0;
    reg.Decode(bytes, pos);
    return reg.Get();
}

void PutU32(RegisterImage& image, std::uint16_t address, std::uint32_t value)
{
    PutPair<ModBusULongReg>(image, address, value);
}

namespace {

// One set of meter settings; the two built-in images differ by `variant`.
RegisterImage BuildImage(int variant)
{
    using namespace meter_regs;
    const float v = static_cast<float>(variant);
    RegisterImage im{};

    PutFloat(im, kSerial, variant == 0 ? 20417.0f : 10001.0f);
    PutFloat(im, kWaterCutTrunc, 12.0f);
    PutFloat(im, kTemperature, 24.5f);
    PutFloat(im, 2014, 0.0f);
    PutFloat(im, kPhase, 0.0f);
    PutFloat(im, 2018, 0.0f);
    PutFloat(im, kSalinitySetting, 1.5f + v);
    PutFloat(im, kOilAdjust, 0.25f + v);
    PutFloat(im, kWaterAdjust, -0.5f + v);
    PutFloat(im, 2026, 0.0f);
    PutFloat(im, kWaterCut, 12.375f);
    PutFloat(im, kOilIndex, 912.5f + 10 * v);
    PutFloat(im, kWaterIndex, 843.25f + 10 * v);

    im[kPortAddress] = 1;
    im[kPortSpeed] = 7; // speed code of 115200

    PutFloat(im, 53008, 1000.0f + 100 * v); // P.D.Freq
    im[53010] = static_cast<std::uint16_t>(40 + variant); // P.D.Thres
    PutFloat(im, 53011, 650.0f + v);  // N.S.Start
    PutFloat(im, 53013, 1150.0f + v); // N.S.End
    PutFloat(im, kLiveSalinity, 1.5f + v);
    im[kModAnalyzer] = 4;
    PutU32(im, kErrorMask, 0);
    im[kFirmware] = 10712;
    PutFloat(im, kBoardTemperature, 31.25f);
    PutFloat(im, 53023, 3.3f);
    im[53025] = 17;
    im[53026] = static_cast<std::uint16_t>(static_cast<std::int16_t>(-12 - variant)); // NShift
    PutFloat(im, 53027, 0.5f);
    PutFloat(im, 53029, 0.125f + v); // DAC P0
    PutFloat(im, 53031, 16.0f + v);  // DAC P1

    for (int p = 0; p < 2; ++p) {
        const std::uint16_t s = kPhaseBlock[p];
        const float f = static_cast<float>(p);
        im[s] = static_cast<std::uint16_t>(3 + p + variant);  // SG1CrossN
        PutFloat(im, s + 1, 600.0f + 50 * f);                 // SG1Start
        PutFloat(im, s + 3, 1200.0f + 50 * f);                // SG1End
        im[s + 5] = static_cast<std::uint16_t>(2 + p);        // SG2CrossN
        PutFloat(im, s + 6, 35.0f + f + v);                   // SG2Win
        for (int i = 0; i < 7; ++i)
            PutFloat(im, static_cast<std::uint16_t>(s + 8 + 2 * i), 100.0f * (i + 1) + f + v);
        PutFloat(im, s + 22, 0.75f + f);
        PutFloat(im, s + 24, 1.25f + f);
        // Adjust and index: the values the main block's rows show.
        PutFloat(im, s + 26, GetFloat(im, p == 0 ? kOilAdjust : kWaterAdjust));
        PutFloat(im, s + 28, GetFloat(im, p == 0 ? kOilIndex : kWaterIndex));

        for (int t = 0; t < 10; ++t) {
            const auto w = static_cast<std::uint16_t>(kSaltTable[p] + 30 * t);
            const float ft = static_cast<float>(t);
            // The first tables are in use (salt below 100), the rest unused.
            PutFloat(im, w, t < 6 ? 2.5f * ft + f + v : 100.0f + ft);
            PutFloat(im, w + 2, 0.001f * (ft + 1));
            PutFloat(im, w + 4, 0.0005f * (ft + 1));
            PutFloat(im, w + 6, 1.5f + ft);
            PutFloat(im, w + 8, 0.25f + 0.01f * ft);
            for (int i = 0; i < 10; ++i)
                PutFloat(im, static_cast<std::uint16_t>(w + 10 + 2 * i), 1.0f / static_cast<float>(i + 1) + ft + f);
        }

        const std::uint16_t q = kPointSet[p];
        im[q] = static_cast<std::uint16_t>(p == 0 ? 1 : variant);      // Mode
        PutFloat(im, q + 1, 20.0f + f);                                // T0
        PutFloat(im, q + 3, 1.5f + f + v);                             // Salt
        PutFloat(im, q + 5, 0.002f);                                   // XMean
        PutFloat(im, q + 7, 0.0001f);                                  // XStd
        PutFloat(im, q + 9, 3.5f);                                     // YMean
        PutFloat(im, q + 11, 0.3f);                                    // YStd
        for (int i = 0; i < 10; ++i)
            PutFloat(im, static_cast<std::uint16_t>(q + 13 + 2 * i), 0.5f * static_cast<float>(i) - f);
        im[q + 33] = 5;                                                // PCount
        for (int i = 0; i < 20; ++i) {
            PutFloat(im, static_cast<std::uint16_t>(q + 34 + 4 * i), 10.0f * static_cast<float>(i) + f);
            PutFloat(im, static_cast<std::uint16_t>(q + 36 + 4 * i), 5.0f * static_cast<float>(i) + v);
        }
    }

    im[kDensity] = static_cast<std::uint16_t>(1 - variant); // Enable
    const float density[8] = {850.0f, 780.0f, 950.0f, 1.0e-3f, -2.5e-4f, 3.0e-6f, 862.5f, 4.75f};
    for (int i = 0; i < 8; ++i)
        PutFloat(im, static_cast<std::uint16_t>(kDensity + 1 + 2 * i), density[i] + v);
    return im;
}

} // namespace

RegisterImage StartupImage() { return BuildImage(0); }

RegisterImage FactoryImage() { return BuildImage(1); }

bool LoadImageFile(const std::string& path, RegisterImage& image, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    RegisterImage loaded{};
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::istringstream fields(line);
        long address = -1, value = -1;
        std::string rest;
        if (!(fields >> address >> value) || (fields >> rest) || address < 0 || address > 65535 ||
            value < 0 || value > 65535) {
            error = path + ":" + std::to_string(lineNo) + ": expected \"address value\"";
            return false;
        }
        loaded[static_cast<std::size_t>(address)] = static_cast<std::uint16_t>(value);
    }
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    image = loaded;
    return true;
}

bool SaveImageFile(const std::string& path, const RegisterImage& image)
{
    std::ostringstream out;
    out << "# vok-meter-sim register image: protocol address, value\n";
    for (std::size_t a = 0; a < image.size(); ++a)
        if (image[a] != 0)
            out << a << ' ' << image[a] << '\n';
    std::string error;
    return ReplaceFileContents(path, out.str(), error);
}
