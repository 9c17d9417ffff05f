// The meter's configuration read for its history: the dump's reads shared
// by the dump and the snapshot, and the hand-over of what they read.

#include "link_thread.h"

#include "dump_plan.h"
#include "layout_writer.h"
#include "meter_config.h"
#include "reg_list_item_data.h"
#include "register_map.h"

#include <cmath>

void TLink1Thread::ReadConfiguration(MeterConfig& config, const std::function<void()>& onStage)
{
    ModBusRequest request;
    for (const DumpRead& read : DumpReads()) {
        if (!DumpReadWanted(read, config))
            continue;
        request.Build(3, read.start, read.count);
        TransactWithRetry(request);
        DecodeDumpRead(read, FRtu, config);
        if (read.advancesProgress && onStage)
            onStage();
    }
}

void TLink1Thread::HandOverConfiguration(const MeterConfig& config, SnapshotKind kind)
{
    ConfigReading reading;
    reading.kind = kind;
    reading.text = ParamFileText(config);
    if (std::isfinite(config.Serial)) {
        // The serial number as the register list and the finder show it.
        FloatRegListItemData serial;
        serial.Set(config.Serial);
        reading.serial = serial.GetValueText();
    }
    reading.firmware = config.FirmwareVersion;
    RunOnUi([&] {
        if (!stopping_)
            front_.ConfigurationRead(reading);
        FDoneEvent.Set();
    });
}

void TLink1Thread::TakeSnapshot() { ReadAndHandOverConfiguration(SnapshotKind::ByHand); }

void TLink1Thread::TakeAsLeft()
{
    if (!asLeft_ || stopping_ || CommandLinkEnded())
        return;
    ReadAndHandOverConfiguration(SnapshotKind::AsLeft);
}

void TLink1Thread::ReadAndHandOverConfiguration(SnapshotKind kind)
{
    MeterConfig config;
    bool read = false;
    // A read that fails stores nothing: its message is the snapshot's failure.
    Guarded([&] {
        ReadConfiguration(config);
        read = !stopping_;
    });
    if (read)
        HandOverConfiguration(config, kind);
}

void TLink1Thread::TakeAsFound()
{
    if (!asFound_ || stopping_ || CommandLinkEnded())
        return;
    if (asFoundGeneration_ != commandGeneration_) {
        asFoundGeneration_ = commandGeneration_;
        asFoundSerials_.clear();
    }
    // Noted before the read: a meter whose read fails is not read again at
    // every poll of this open.
    if (!asFoundSerials_.insert(registers_.Serial.GetValueText()).second)
        return;
    ReadAndHandOverConfiguration(SnapshotKind::AsFound);
}
