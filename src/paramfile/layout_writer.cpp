#include "layout_writer.h"

#include "register_map.h"

#include <charconv>
#include <cmath>

namespace {

std::string NonFinite(float v)
{
    const char* sign = std::signbit(v) ? "-" : "+";
    return std::string(sign) + (std::isnan(v) ? "NAN" : "INF");
}

std::string FormatC(float v, std::chars_format format)
{
    if (!std::isfinite(v))
        return NonFinite(v);
    char buf[400]; // "%f" of the largest float has 39 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), format, 6);
    return std::string(buf, r.ptr);
}

// Builds the lines; the value formats are given as their printf letter.
class Writer {
public:
    std::vector<std::string> lines;

    void Blank() { lines.emplace_back(); }
    void Text(std::string text) { lines.push_back(std::move(text)); }

    // "%d float  %f" / "%e" with a tail such as "\t\t # Serial".
    void Float(int number, float value, bool exp, const std::string& tail)
    {
        Text(std::to_string(number) + " float  " + (exp ? FormatCExp(value) : FormatCFixed(value)) + tail);
    }
    void UShort(int number, unsigned value, const std::string& tail)
    {
        Text(std::to_string(number) + " ushort " + std::to_string(value) + tail);
    }
    void SShort(int number, int value, const std::string& tail)
    {
        Text(std::to_string(number) + " sshort " + std::to_string(value) + tail);
    }
};

constexpr bool kFixed = false;
constexpr bool kExp = true;

constexpr std::uint16_t kMaxPairs = 20;

// XMean, XStd, YMean, YStd and P[0..9], one float of two registers each
// from register number `first` on.
void Calibration(Writer& w, int first, const CalibrationConfig& c)
{
    w.Float(first, c.XMean, kExp, "\t\t# XMean");
    w.Float(first + 2, c.XStd, kExp, "\t\t# XStd");
    w.Float(first + 4, c.YMean, kExp, "\t\t# YMean");
    w.Float(first + 6, c.YStd, kExp, "\t\t# YStd");
    for (int i = 0; i < 10; ++i)
        w.Float(first + 8 + 2 * i, c.P[i], kExp, "\t\t# P[" + std::to_string(i) + "]");
}

void SaltTable(Writer& w, int s, int base, const SaltTableConfig& t)
{
    w.Blank();
    w.Text("# Salt: " + std::to_string(s) + " ");
    w.Blank();
    w.Float(base + 1, t.Salt, kFixed, "\t\t# Salt");
    if (t.Salt < 100.0f)
        Calibration(w, base + 3, t);
}

void PointSet(Writer& w, int p, const PointSetConfig& ps)
{
    const int q = kPointSetStart[p];
    w.Blank();
    w.Text("# Point set, phase: " + std::to_string(p) +
           " ------------------------------------------------------");
    w.Blank();
    if (ps.Mode != 0 && ps.Mode != 1) {
        w.UShort(q + 1, 9999, "\t\t# Mode");
        return;
    }
    w.UShort(q + 1, ps.Mode, "\t\t# Mode");
    w.Float(q + 2, ps.T0, kExp, "\t\t# T0");
    w.Float(q + 4, ps.Salt, kExp, "\t\t# Salt");
    Calibration(w, q + 6, ps);
    const std::uint16_t n = ps.PCount > kMaxPairs ? kMaxPairs : ps.PCount;
    w.UShort(q + 34, n, "\t\t# PCount");
    for (int i = 0; i < n; ++i) {
        w.Float(q + 35 + 4 * i, ps.PairP[i], kExp, "\t\t# P[" + std::to_string(i) + "]");
        w.Float(q + 37 + 4 * i, ps.PairW[i], kExp, "\t\t# W[" + std::to_string(i) + "]");
    }
}

} // namespace

std::string FormatCFixed(float v) { return FormatC(v, std::chars_format::fixed); }
std::string FormatCExp(float v) { return FormatC(v, std::chars_format::scientific); }

std::vector<std::string> ParamFileLines(const MeterConfig& c)
{
    Writer w;
    w.Blank();
    w.Float(2001, c.Serial, kFixed, "\t\t # Serial");
    w.Blank();
    w.Float(2023, c.OilAdjust, kFixed, "\t\t # OilAdjust");
    w.Float(2025, c.WaterAdjust, kFixed, "\t\t # WaterAdjust");
    w.Float(2031, c.OilIndex, kFixed, "\t\t # OilIndex");
    w.Float(2033, c.WaterIndex, kFixed, "\t\t # WaterIndex");
    w.Blank();
    w.Text("# Set-1 -----------------------------------------------------------");
    w.Blank();
    w.Float(53009, c.PDFreq, kFixed, "\t\t # P.D.Freq");
    w.UShort(53011, c.PDThres, "\t\t # P.D.Thres");
    w.Float(53012, c.NSStart, kFixed, "\t\t # N.S.Start");
    w.Float(53014, c.NSEnd, kFixed, "\t\t # N.S.End");
    w.UShort(53018, c.ModAnalyzer, "\t\t # ModAnalyzer");
    w.Blank();
    w.Text("# Set-2 -----------------------------------------------------------");
    w.Blank();
    w.SShort(53027, c.NShift, "\t\t# NShift");
    w.Float(53030, c.DacP0, kExp, "\t\t# DAC P0");
    w.Float(53032, c.DacP1, kExp, "\t\t# DAC P1");
    for (int p = 0; p < 2; ++p) {
        const PhaseConfig& ph = c.Phase[p];
        const int b = kPhaseStart[p];
        w.Blank();
        w.Text("# Phase: " + std::to_string(p) +
               " ------------------------------------------------------------");
        w.Blank();
        w.UShort(b + 1, ph.SG1CrossN, "\t\t# SG1CrossN");
        w.Float(b + 2, ph.SG1Start, kFixed, "\t\t# SG1Start");
        w.Float(b + 4, ph.SG1End, kFixed, "\t\t# SG1End");
        w.UShort(b + 6, ph.SG2CrossN, "\t\t# SG2CrossN");
        w.Float(b + 7, ph.SG2Win, kFixed, "\t\t# SG2Win");
        for (int s = 0; s < 10; ++s)
            SaltTable(w, s, kSaltTableStart[p] + kSaltTableSize * s, ph.Salt[s]);
    }
    w.Blank();
    w.Text("# Density correction --------------------------------------------------");
    w.Blank();
    w.UShort(kDensityStart + 1, c.DensityEnable, "\t\t# Enable");
    w.Float(kDensityStart + 2, c.RoCurr, kExp, "\t\t# RoCurr");
    w.Float(kDensityStart + 4, c.RoMin, kExp, "\t\t# RoMin");
    w.Float(kDensityStart + 6, c.RoMax, kExp, "\t\t# RoMax");
    w.Float(kDensityStart + 8, c.DensityP1, kExp, "\t\t# P1");
    w.Float(kDensityStart + 10, c.DensityP2, kExp, "\t\t# P2");
    w.Float(kDensityStart + 12, c.DensityP3, kExp, "\t\t# P3");
    w.Float(kDensityStart + 14, c.DensityMean, kExp, "\t\t# Mean");
    w.Float(kDensityStart + 16, c.DensityStd, kExp, "\t\t# Std");
    if (c.FirmwareVersion >= kPointSetFirmware)
        for (int p = 0; p < 2; ++p)
            PointSet(w, p, c.PointSet[p]);
    return std::move(w.lines);
}

std::string ParamFileText(const MeterConfig& config)
{
    std::string text;
    for (const std::string& line : ParamFileLines(config)) {
        text += line;
        text += "\r\n";
    }
    return text;
}
