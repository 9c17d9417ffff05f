#pragma once
// The meter's registers as the main window holds them for the live display,
// and the sixteen rows of the register list.

#include "reg_list_item_data.h"

#include <array>
#include <cstdint>

// 30 registers of one phase, from protocol address 53300 (phase 0) or 53600.
struct PhaseBlock {
    UIntRegListItemData SG1CrossN;     // S       item 0
    FloatRegListItemData SG1Start;     // S+1     item 1
    FloatRegListItemData SG1End;       // S+3     item 2
    UIntRegListItemData SG2CrossN;     // S+5     item 3
    FloatRegListItemData SG2Win;       // S+6     item 4
    FloatRegListItemData Params[7];    // S+8..   items 5 to 11, the selectable parameter values
    FloatRegListItemData Tail[4];      // S+22..  items 12 to 15; [2] adjust, [3] index
};

// Protocol addresses of the meter's register groups and command registers,
// indexed by phase where there is one group per phase.
inline constexpr std::uint16_t kPhaseStart[2] = {53300, 53600};
inline constexpr std::uint16_t kSaltTableStart[2] = {54000, 55000}; // ten tables of 30, s = 0..9
inline constexpr std::uint16_t kSaltTableSize = 30;
inline constexpr std::uint16_t kDensityStart = 56000;
inline constexpr std::uint16_t kPointSetStart[2] = {57000, 57300};
inline constexpr std::uint16_t kNvramCommandRegister = 49989;
// Takes the factory-load and the apply-configuration command codes.
inline constexpr std::uint16_t kConfigCommandRegister = 60064;

struct MeterRegisters {
    FloatRegListItemData Serial;            // "Серийный номер"
    FloatRegListItemData WaterCutTrunc;     // "Обводненность (trunc.), %"
    FloatRegListItemData WaterCut;          // "Обводненность, %"
    FloatRegListItemData Salinity;          // "Соленость, %"
    FloatRegListItemData MediumTemperature; // "Температура среды, С°"
    FloatRegListItemData BoardTemperature;  // "Температура платы, С°"
    FloatRegListItemData EmulsionPhase;     // "Фаза эмульсии"
    FloatRegListItemData NSStart;           // N.S.Start, no row
    FloatRegListItemData NSEnd;             // N.S.End, no row
    SIntRegListItemData NShift;             // no row
    UIntRegListItemData StatusUShort;       // 53025, no row
    UIntRegListItemData ModAnalyzer;        // "Режим работы"
    UIntRegListItemData FirmwareVersion;    // "Версия прошивки"
    FloatRegListItemData StatusFloat;       // 53023, no row
    LongRegListItemData ErrorMask;          // "Маска кодов ошибок"
    UIntRegListItemData PortAddress;        // "Адрес порта связи"
    UIntRegListItemData PortSpeed;          // "Скорость порта связи"
    PhaseBlock Phases[2];
};

struct RegRow {
    const char* caption;          // UTF-8
    std::uint16_t registerNumber; // where a write from the row goes, plus 1
    RegKind kind;
    int writable;
    RegListItemData* object;
};

// The sixteen rows in display order, bound to the objects of `regs`.
std::array<RegRow, 16> RegRows(MeterRegisters& regs);

// Adds the sixteen rows to `items`, in display order.
void AddRegListRows(MeterRegisters& regs, RegListItems& items);

// The value shown beside "Значение параметра:": NaN unless the operating mode
// is above 3, the emulsion phase truncates to 0 or 1 and that phase block's
// SG1CrossN selects a parameter (above 20000: item 5; 0..6: item 5 + it).
float ParameterValue(std::uint16_t mode, float emulsionPhase, const PhaseBlock (&phases)[2]);
