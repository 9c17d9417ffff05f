#include "register_map.h"

#include <cmath>
#include <limits>

std::array<RegRow, 16> RegRows(MeterRegisters& r)
{
    return {{
        {"Серийный номер", 2001, rkFloat, 0, &r.Serial},
        {"Обводненность (trunc.), %", 2011, rkFloat, 0, &r.WaterCutTrunc},
        {"Температура среды, С°", 2013, rkFloat, 0, &r.MediumTemperature},
        {"Фаза эмульсии", 2017, rkFloat, 0, &r.EmulsionPhase},
        {"Соленость, %", 2021, rkFloat, 1, &r.Salinity},
        {"Oil Adjust, %", 2023, rkFloat, 1, &r.Phases[0].Tail[2]},
        {"Water Adjust, %", 2025, rkFloat, 1, &r.Phases[1].Tail[2]},
        {"Обводненность, %", 2029, rkFloat, 0, &r.WaterCut},
        {"Oil Index, МГц", 2031, rkFloat, 1, &r.Phases[0].Tail[3]},
        {"Water Index, МГц", 2033, rkFloat, 1, &r.Phases[1].Tail[3]},
        {"Режим работы", 40020, rkUShort, 0, &r.ModAnalyzer},
        {"Версия прошивки", 40024, rkUShort, 0, &r.FirmwareVersion},
        {"Адрес порта связи", 42101, rkUShort, 1, &r.PortAddress},
        {"Скорость порта связи", 42102, rkUShort, 1, &r.PortSpeed},
        {"Маска кодов ошибок", 53019, rkLong, 0, &r.ErrorMask},
        {"Температура платы, С°", 53022, rkFloat, 0, &r.BoardTemperature},
    }};
}

void AddRegListRows(MeterRegisters& regs, RegListItems& items)
{
    for (const RegRow& row : RegRows(regs))
        AddRegListRow(*row.object, items, row.caption, row.registerNumber, row.kind, row.writable);
}

float ParameterValue(std::uint16_t mode, float emulsionPhase, const PhaseBlock (&phases)[2])
{
    const float none = std::numeric_limits<float>::quiet_NaN();
    if (mode <= 3)
        return none;
    // A phase that is NaN or does not truncate to 0 or 1 selects nothing;
    // the range test comes before any conversion to an integer.
    if (!(emulsionPhase > -1.0f && emulsionPhase < 2.0f))
        return none;
    const int phase = static_cast<int>(std::trunc(emulsionPhase));
    const PhaseBlock& block = phases[phase];
    const std::uint16_t selector = block.SG1CrossN.Get();
    if (selector > 20000)
        return block.Params[0].Get();
    if (selector <= 6)
        return block.Params[selector].Get();
    return none;
}
