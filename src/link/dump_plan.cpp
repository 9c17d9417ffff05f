#include "dump_plan.h"

#include "codecs.h"
#include "register_map.h"

namespace {

float TakeFloat(ModBusAnswer& answer)
{
    ModBusFloatReg v;
    answer >> v;
    return v.Get();
}

std::uint16_t TakeUShort(ModBusAnswer& answer)
{
    ModBusUShortReg v;
    answer >> v;
    return v.Get();
}

void Skip(ModBusAnswer& answer, int floats)
{
    for (int i = 0; i < floats; ++i)
        TakeFloat(answer);
}

// The statistics and coefficients of a salt table or a point set, in the
// meter's order.
void TakeCalibration(ModBusAnswer& answer, CalibrationConfig& c)
{
    c.XMean = TakeFloat(answer);
    c.XStd = TakeFloat(answer);
    c.YMean = TakeFloat(answer);
    c.YStd = TakeFloat(answer);
    for (float& p : c.P)
        p = TakeFloat(answer);
}

std::vector<DumpRead> MakeDumpReads()
{
    using B = DumpRead::Block;
    std::vector<DumpRead> reads = {
        {B::Serial, 2000, 2},
        {B::Adjust, 2022, 12},
        {B::Set1, 53008, 10, 0, 0, true},
        {B::Set2, 53026, 7, 0, 0, true},
    };
    for (int p = 0; p < 2; ++p) {
        reads.push_back({B::Phase, kPhaseStart[p], 30, p, 0, true});
        for (int s = 0; s < 10; ++s)
            reads.push_back({B::Salt, static_cast<std::uint16_t>(kSaltTableStart[p] + kSaltTableSize * s), 30, p, s,
                             s == 9});
    }
    reads.push_back({B::Density, kDensityStart, 17, 0, 0, true});
    reads.push_back({B::FirmwareGate, 53020, 1});
    for (int p = 0; p < 2; ++p)
        reads.push_back({B::PointSet, kPointSetStart[p], 114, p});
    return reads;
}

} // namespace

const std::vector<DumpRead>& DumpReads()
{
    static const std::vector<DumpRead> reads = MakeDumpReads();
    return reads;
}

bool DumpReadWanted(const DumpRead& read, const MeterConfig& soFar)
{
    return read.block != DumpRead::Block::PointSet || soFar.FirmwareVersion >= kPointSetFirmware;
}

void DecodeDumpRead(const DumpRead& read, ModBusAnswer& a, MeterConfig& c)
{
    using B = DumpRead::Block;
    switch (read.block) {
    case B::Serial:
        c.Serial = TakeFloat(a);
        break;
    case B::Adjust:
        c.OilAdjust = TakeFloat(a);
        c.WaterAdjust = TakeFloat(a);
        Skip(a, 2);
        c.OilIndex = TakeFloat(a);
        c.WaterIndex = TakeFloat(a);
        break;
    case B::Set1:
        c.PDFreq = TakeFloat(a);
        c.PDThres = TakeUShort(a);
        c.NSStart = TakeFloat(a);
        c.NSEnd = TakeFloat(a);
        Skip(a, 1);
        c.ModAnalyzer = TakeUShort(a);
        break;
    case B::Set2: {
        ModBusShortReg nShift;
        a >> nShift;
        c.NShift = nShift.Get();
        Skip(a, 1);
        c.DacP0 = TakeFloat(a);
        c.DacP1 = TakeFloat(a);
        break;
    }
    case B::Phase: {
        PhaseConfig& phase = c.Phase[read.phase];
        phase.SG1CrossN = TakeUShort(a);
        phase.SG1Start = TakeFloat(a);
        phase.SG1End = TakeFloat(a);
        phase.SG2CrossN = TakeUShort(a);
        phase.SG2Win = TakeFloat(a);
        break;
    }
    case B::Salt: {
        SaltTableConfig& table = c.Phase[read.phase].Salt[read.salt];
        table.Salt = TakeFloat(a);
        TakeCalibration(a, table);
        break;
    }
    case B::Density:
        c.DensityEnable = TakeUShort(a);
        for (float* v : {&c.RoCurr, &c.RoMin, &c.RoMax, &c.DensityP1, &c.DensityP2, &c.DensityP3, &c.DensityMean,
                         &c.DensityStd})
            *v = TakeFloat(a);
        break;
    case B::FirmwareGate:
        c.FirmwareVersion = TakeUShort(a);
        break;
    case B::PointSet: {
        PointSetConfig& set = c.PointSet[read.phase];
        set.Mode = TakeUShort(a);
        set.T0 = TakeFloat(a);
        set.Salt = TakeFloat(a);
        TakeCalibration(a, set);
        set.PCount = TakeUShort(a);
        for (int i = 0; i < 20; ++i) {
            set.PairP[i] = TakeFloat(a);
            set.PairW[i] = TakeFloat(a);
        }
        break;
    }
    }
}
