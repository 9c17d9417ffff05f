#include "config_reading.h"

#include "program_version.h"
#include "register_map.h"

Snapshot SnapshotOfReading(const ConfigReading& reading, const SnapshotLink& link)
{
    Snapshot snapshot;
    snapshot.kind = reading.kind;
    snapshot.config = reading.text;
    snapshot.serial = reading.serial;
    snapshot.firmware = reading.firmware;
    snapshot.link = link;
    snapshot.programVersion = ToolVersion();
    StampNow(snapshot);
    return snapshot;
}

std::string RegisterListText(MeterRegisters& registers)
{
    std::string text;
    for (const RegRow& row : RegRows(registers))
        text += std::string(row.caption) + "\t" + row.object->GetValueText() + "\n";
    return text;
}
