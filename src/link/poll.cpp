// The poll: five reads of the live register blocks, decoded position by
// position into the window's register objects, then the refresh.

#include "link_thread.h"

#include "register_map.h"
#include "value_text.h"

#include <array>

void TLink1Thread::Poll()
{
    MeterRegisters& r = registers_;
    ModBusRequest a(3, 2000, 30);
    ModBusRequest b(3, 53011, 16);
    ModBusRequest c;
    ModBusRequest d(3, 42100, 2);
    ModBusFloatReg skip; // positions of block A that no row shows

    const std::array<ModBusReg*, 15> tableA = {
        &r.Serial,                              // 2000
        &skip, &skip, &skip, &skip,             // 2002-2009
        &r.WaterCutTrunc,                       // 2010
        &r.MediumTemperature,                   // 2012
        &skip,                                  // 2014
        &r.EmulsionPhase,                       // 2016
        &skip, &skip, &skip, &skip, &skip,      // 2018-2027
        &r.WaterCut,                            // 2028
    };
    const std::array<ModBusReg*, 10> tableB = {
        &r.NSStart, &r.NSEnd, &r.Salinity, &r.ModAnalyzer, &r.ErrorMask,
        &r.FirmwareVersion, &r.BoardTemperature, &r.StatusFloat, &r.StatusUShort, &r.NShift,
    };
    const auto tableC = [](PhaseBlock& p) {
        return std::array<ModBusReg*, 16>{
            &p.SG1CrossN, &p.SG1Start, &p.SG1End, &p.SG2CrossN, &p.SG2Win,
            &p.Params[0], &p.Params[1], &p.Params[2], &p.Params[3], &p.Params[4], &p.Params[5], &p.Params[6],
            &p.Tail[0], &p.Tail[1], &p.Tail[2], &p.Tail[3],
        };
    };
    const std::array<ModBusReg*, 2> tableD = {&r.PortAddress, &r.PortSpeed};

    const auto decode = [this](const auto& table) {
        for (ModBusReg* reg : table)
            FRtu >> *reg;
    };

    Guarded([&] {
        TransactWithRetry(a);
        decode(tableA);
        TransactWithRetry(b);
        decode(tableB);
        for (int phase = 0; phase < 2; ++phase) {
            c.Build(3, kPhaseStart[phase], 30);
            TransactWithRetry(c);
            decode(tableC(r.Phases[phase]));
        }
        TransactWithRetry(d);
        decode(tableD);
        RunOnUi([this] { SyncRefresh(); });
    });
}

void TLink1Thread::SyncRefresh()
{
    if (!stopping_) {
        const MeterRegisters& r = registers_;
        const float value = ParameterValue(r.ModAnalyzer.Get(), r.EmulsionPhase.Get(), r.Phases);
        front_.RefreshList(FormatListFloat(value));
    }
    FDoneEvent.Set();
}
