#pragma once
// The simulated meter's holding registers: 65536 words by protocol address,
// with helpers for the two-register values (low word first, see codecs.h).

#include <array>
#include <cstdint>
#include <string>

using RegisterImage = std::array<std::uint16_t, 65536>;

void PutFloat(RegisterImage& image, std::uint16_t address, float value);
float GetFloat(const RegisterImage& image, std::uint16_t address);
void PutU32(RegisterImage& image, std::uint16_t address, std::uint32_t value);

// Protocol addresses the simulator gives a meaning.
namespace meter_regs {
inline constexpr std::uint16_t kSerial = 2000;
inline constexpr std::uint16_t kWaterCutTrunc = 2010;
inline constexpr std::uint16_t kTemperature = 2012;
inline constexpr std::uint16_t kPhase = 2016;
inline constexpr std::uint16_t kSalinitySetting = 2020;
inline constexpr std::uint16_t kOilAdjust = 2022;
inline constexpr std::uint16_t kWaterAdjust = 2024;
inline constexpr std::uint16_t kWaterCut = 2028;
inline constexpr std::uint16_t kOilIndex = 2030;
inline constexpr std::uint16_t kWaterIndex = 2032;
inline constexpr std::uint16_t kPortAddress = 42100;
inline constexpr std::uint16_t kPortSpeed = 42101;
inline constexpr std::uint16_t kNvramCommand = 49989;
inline constexpr std::uint16_t kLiveSalinity = 53015;
inline constexpr std::uint16_t kModAnalyzer = 53017;
inline constexpr std::uint16_t kErrorMask = 53018;
inline constexpr std::uint16_t kFirmware = 53020;
inline constexpr std::uint16_t kBoardTemperature = 53021;
inline constexpr std::uint16_t kPhaseBlock[2] = {53300, 53600};
inline constexpr std::uint16_t kSaltTable[2] = {54000, 55000};
inline constexpr std::uint16_t kDensity = 56000;
inline constexpr std::uint16_t kPointSet[2] = {57000, 57300};
inline constexpr std::uint16_t kFactoryCommand = 60064;
} // namespace meter_regs

// Plausible contents of every block the service tool reads. The factory
// image differs from the start-up image in most values (serial number too).
RegisterImage StartupImage();
RegisterImage FactoryImage();

// Image files are text: one "address value" pair of decimal numbers per
// line (protocol address 0..65535, register value 0..65535); registers not
// listed are 0; blank lines and lines starting with '#' are ignored.
// Load returns false with a message when the file cannot be read or a line
// is malformed; the image is then unchanged.
bool LoadImageFile(const std::string& path, RegisterImage& image, std::string& error);
// Writes the non-zero registers; false when the file cannot be written.
bool SaveImageFile(const std::string& path, const RegisterImage& image);
