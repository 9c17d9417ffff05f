#pragma once
// A snapshot: the meter's whole configuration as the parameter dump reads
// it, with what identifies the meter and the moment.

#include <cstdint>
#include <optional>
#include <string>

enum class SnapshotKind { AsFound, AsLeft, ByHand, Dump };

// "as-found", "as-left", "by-hand", "dump": the words the store and vokctl use.
const char* SnapshotKindWord(SnapshotKind kind);
std::optional<SnapshotKind> SnapshotKindFromWord(const std::string& word);
// "при подключении", "после изменений", "вручную", "выгрузка в файл"
const char* SnapshotKindCaption(SnapshotKind kind);

// The link the configuration was read over.
struct SnapshotLink {
    std::string port;
    std::uint32_t baud = 0;
    std::uint32_t timeoutMs = 0;
    int address = 0;
    bool fastFraming = false;
};

struct Snapshot {
    std::int64_t id = 0;       // given by the store
    std::int64_t meterId = 0;  // given by the store
    // The serial number as the register list shows it (register 2001); empty
    // when it could not be read, and the meter is then told apart by the
    // link's port and address.
    std::string serial;
    std::uint16_t firmware = 0;
    SnapshotLink link;
    std::int64_t takenUtcMs = 0; // milliseconds since 1970 UTC
    std::string takenLocal;      // "2024-05-17T14:03:07+03:00"
    std::string programVersion;
    SnapshotKind kind = SnapshotKind::ByHand;
    std::string note;
    std::string config;          // the parameter file text, byte for byte as the dump writes it
    // The register list at that moment, one "caption<TAB>value" a line; empty
    // when no poll had succeeded.
    std::string liveValues;
};

// The present moment in both forms a snapshot keeps.
void StampNow(Snapshot& snapshot);
