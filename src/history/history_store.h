#pragma once
// The history of the meters met: snapshots kept in one SQLite file (WAL
// mode, so the window and vokctl may read and write it at the same time;
// a busy time-out instead of "database is locked"). Every write is one
// transaction, so a kill at any moment leaves every earlier snapshot whole.
//
// A store that cannot be opened or is damaged is not used further: the
// first failure is kept as a message for the front to show once, every
// later call fails quietly, and the file itself is never rewritten.

#include "snapshot.h"
#include "sqlite_db.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One meter met, as `vokctl history` lists them.
struct MeterSummary {
    std::int64_t id = 0;
    std::string serial;  // empty for a meter whose serial number could not be read
    std::uint16_t firmware = 0;
    std::string place;   // port and address of a meter without serial number
    std::string lastSeenLocal;
    std::int64_t lastSeenUtcMs = 0;
    int snapshots = 0;
};

// A snapshot without its texts, for listings.
struct SnapshotSummary {
    std::int64_t id = 0;
    std::int64_t meterId = 0;
    std::string serial;
    std::string takenLocal;
    std::int64_t takenUtcMs = 0;
    SnapshotKind kind = SnapshotKind::ByHand;
    std::string note;
};

class HistoryStore {
public:
    // The schema version this program writes; older files are migrated.
    static constexpr int kSchemaVersion = 2;

    // Opens (making the file and its folder when missing). False when the
    // store cannot be used; FailureMessage() then says why.
    bool Open(const std::string& path);
    bool IsUsable() const { return usable_; }
    const std::string& Path() const { return path_; }

    // Stores the snapshot, its meter added or updated in the same
    // transaction; its id, or nothing when the write failed.
    std::optional<std::int64_t> Add(const Snapshot& snapshot);

    // Meters, the last seen first.
    std::vector<MeterSummary> Meters();
    // The snapshots of meters with this serial number ("" for those without
    // one), oldest first.
    std::vector<SnapshotSummary> SnapshotsOfSerial(const std::string& serial);
    std::vector<SnapshotSummary> SnapshotsOfMeter(std::int64_t meterId);
    std::optional<Snapshot> Get(std::int64_t id);

    // "ok", or the problems SQLite's integrity check finds.
    std::string IntegrityCheck();

    // The first failure of the store, once: the front shows it, and later
    // failures are not reported again ("" when there is none to report).
    std::string TakeFailureMessage();
    // The text of the first failure, kept (for status lines).
    const std::string& FailureMessage() const { return failure_; }

private:
    bool Migrate();
    // Records a failure of the last call; a damaged or unwritable file ends
    // the store's use.
    void Fail(const std::string& what);
    std::vector<SnapshotSummary> Summaries(const char* sql, const std::function<void(SqliteStatement&)>& bind);

    SqliteDb db_;
    std::string path_;
    bool usable_ = false;
    std::string failure_;
    bool failureTaken_ = false;
};
