#include "poll_plan.h"

namespace {

template <std::size_t N>
void Take(ModBusAnswer& answer, const std::array<ModBusReg*, N>& table)
{
    for (ModBusReg* reg : table)
        answer >> *reg;
}

} // namespace

void DecodePollRead(std::size_t index, ModBusAnswer& answer, MeterRegisters& r)
{
    ModBusFloatReg skip; // positions of block A that no row shows
    switch (index) {
    case 0:
        Take<15>(answer, {
                             &r.Serial,                         // 2000
                             &skip, &skip, &skip, &skip,        // 2002-2009
                             &r.WaterCutTrunc,                  // 2010
                             &r.MediumTemperature,              // 2012
                             &skip,                             // 2014
                             &r.EmulsionPhase,                  // 2016
                             &skip, &skip, &skip, &skip, &skip, // 2018-2027
                             &r.WaterCut,                       // 2028
                         });
        break;
    case 1:
        Take<10>(answer, {
                             &r.NSStart, &r.NSEnd, &r.Salinity, &r.ModAnalyzer, &r.ErrorMask,
                             &r.FirmwareVersion, &r.BoardTemperature, &r.StatusFloat, &r.StatusUShort, &r.NShift,
                         });
        break;
    case 2:
    case 3: {
        PhaseBlock& p = r.Phases[index - 2];
        Take<16>(answer, {
                             &p.SG1CrossN, &p.SG1Start, &p.SG1End, &p.SG2CrossN, &p.SG2Win,
                             &p.Params[0], &p.Params[1], &p.Params[2], &p.Params[3], &p.Params[4],
                             &p.Params[5], &p.Params[6], &p.Tail[0], &p.Tail[1], &p.Tail[2], &p.Tail[3],
                         });
        break;
    }
    case 4:
        Take<2>(answer, {&r.PortAddress, &r.PortSpeed});
        break;
    default:
        break;
    }
}
