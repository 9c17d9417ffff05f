#pragma once
// vokctl's commands on the meters' history: listings, a snapshot as a file,
// differences, the service report, and the snapshot and restore that use
// the link.

#include "snapshot.h"

#include <functional>
#include <string>

struct CliOptions;
class CliFront;
class TLink1Thread;
struct MeterRegisters;

// An argument of digits only names a snapshot.
bool NamesSnapshot(const std::string& argument);

int ListHistory(const CliOptions& options);
int ShowSnapshot(const std::string& id);
// A snapshot against a snapshot or a parameter file, either way round.
int DiffWithSnapshot(const std::string& a, const std::string& b);
// `iniPath`: the window's INI file, for the engineer and the place.
int WriteReport(const CliOptions& options, const std::string& iniPath);

int TakeSnapshotCommand(TLink1Thread& link, CliFront& front, MeterRegisters& registers, const CliOptions& options,
                        const SnapshotLink& linkSettings);
// `load` loads a parameter file as `vokctl load` does and gives its status.
int RestoreSnapshot(TLink1Thread& link, CliFront& front, const CliOptions& options,
                    const std::function<int(const std::string& path)>& load);
// Keeps the configurations the command has read (a dump's) in the history;
// a store that cannot be used is one message and changes no exit status.
void RecordReadings(CliFront& front, const SnapshotLink& linkSettings);
