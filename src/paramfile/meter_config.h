#pragma once
// The meter's configuration as the parameter dump reads it: one field per
// value that the parameter file layout names.

#include <cstdint>

// The statistics and coefficients that a salt table and a point set both
// carry, in this order on the meter.
struct CalibrationConfig {
    float XMean = 0, XStd = 0, YMean = 0, YStd = 0;
    float P[10] = {};
};

struct SaltTableConfig : CalibrationConfig {
    float Salt = 0;
};

struct PhaseConfig {
    std::uint16_t SG1CrossN = 0;
    float SG1Start = 0, SG1End = 0;
    std::uint16_t SG2CrossN = 0;
    float SG2Win = 0;
    SaltTableConfig Salt[10];
};

struct PointSetConfig : CalibrationConfig {
    std::uint16_t Mode = 0;
    float T0 = 0, Salt = 0;
    std::uint16_t PCount = 0; // as read; the layout caps it at 20
    float PairP[20] = {};
    float PairW[20] = {};
};

struct MeterConfig {
    float Serial = 0;
    float OilAdjust = 0, WaterAdjust = 0, OilIndex = 0, WaterIndex = 0;
    float PDFreq = 0;
    std::uint16_t PDThres = 0;
    float NSStart = 0, NSEnd = 0;
    std::uint16_t ModAnalyzer = 0;
    std::int16_t NShift = 0;
    float DacP0 = 0, DacP1 = 0;
    PhaseConfig Phase[2];
    std::uint16_t DensityEnable = 0;
    float RoCurr = 0, RoMin = 0, RoMax = 0, DensityP1 = 0, DensityP2 = 0, DensityP3 = 0;
    float DensityMean = 0, DensityStd = 0;
    // The point sets are written only when the firmware version is 10700 or more.
    std::uint16_t FirmwareVersion = 0;
    PointSetConfig PointSet[2];
};

inline constexpr std::uint16_t kPointSetFirmware = 10700;
