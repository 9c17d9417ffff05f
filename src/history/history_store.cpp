#include "history_store.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr int kBusyTimeoutMs = 10000;

// The schema, one step per version: step n makes version n + 1 from version
// n. A step never changes what an older step made except by adding to it, so
// that every file migrates along the same path.
const char* const kMigrations[] = {
    // 1: meters and their snapshots.
    "CREATE TABLE meter ("
    "  id INTEGER PRIMARY KEY,"
    "  serial TEXT NOT NULL,"
    "  firmware INTEGER NOT NULL,"
    "  place TEXT NOT NULL,"
    "  last_seen_utc_ms INTEGER NOT NULL,"
    "  last_seen_local TEXT NOT NULL,"
    "  UNIQUE (serial, firmware, place));"
    "CREATE TABLE snapshot ("
    "  id INTEGER PRIMARY KEY,"
    "  meter_id INTEGER NOT NULL REFERENCES meter(id),"
    "  taken_utc_ms INTEGER NOT NULL,"
    "  taken_local TEXT NOT NULL,"
    "  kind TEXT NOT NULL,"
    "  note TEXT NOT NULL,"
    "  port TEXT NOT NULL,"
    "  baud INTEGER NOT NULL,"
    "  timeout_ms INTEGER NOT NULL,"
    "  address INTEGER NOT NULL,"
    "  fast_framing INTEGER NOT NULL,"
    "  program_version TEXT NOT NULL,"
    "  config BLOB NOT NULL);"
    "CREATE INDEX snapshot_of_meter ON snapshot (meter_id, taken_utc_ms);",
    // 2: the register list's values at the moment of the snapshot.
    "ALTER TABLE snapshot ADD COLUMN live_values TEXT NOT NULL DEFAULT '';",
};
static_assert(std::size(kMigrations) == HistoryStore::kSchemaVersion);

// SQLite's header, which every database file begins with.
constexpr char kSqliteHeader[] = "SQLite format 3";

// An existing file that is not empty and does not begin as a database
// begins: SQLite would refuse it only at the first statement.
bool LooksForeign(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error) || std::filesystem::file_size(path, error) == 0)
        return false;
    std::ifstream in(path, std::ios::binary);
    char head[sizeof kSqliteHeader] = {};
    in.read(head, sizeof head);
    return !in || std::string(head, sizeof head) != std::string(kSqliteHeader, sizeof kSqliteHeader);
}

bool IsDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_READONLY ||
           primary == SQLITE_FULL || primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ||
           primary == SQLITE_PERM;
}

// The place that keeps apart meters whose serial number could not be read.
std::string PlaceOf(const Snapshot& s)
{
    return s.serial.empty() ? s.link.port + " #" + std::to_string(s.link.address) : std::string();
}

constexpr const char* kSummaryColumns =
    "SELECT s.id, s.meter_id, m.serial, s.taken_local, s.taken_utc_ms, s.kind, s.note "
    "FROM snapshot s JOIN meter m ON m.id = s.meter_id ";

} // namespace

bool HistoryStore::Open(const std::string& path)
{
    path_ = path;
    usable_ = false;
    db_.Close();
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, error);
    if (LooksForeign(path)) {
        failure_ = "файл не является базой данных SQLite";
        return false;
    }
    if (!db_.Open(path, true)) {
        Fail("не удалось открыть");
        return false;
    }
    sqlite3_busy_timeout(db_.Handle(), kBusyTimeoutMs);
    usable_ = true;
    if (!Migrate()) {
        usable_ = false;
        return false;
    }
    return true;
}

bool HistoryStore::Migrate()
{
    const auto version = db_.QueryInt("PRAGMA user_version");
    if (!version) {
        Fail("не удалось прочитать версию схемы");
        return false;
    }
    if (*version > kSchemaVersion) {
        failure_ = "файл создан более новой версией программы (схема " + std::to_string(*version) + ")";
        return false;
    }
    // Only now may the file change. WAL lets readers and one writer work at
    // once; a file on a system without shared memory keeps its own mode and
    // still works.
    db_.Exec("PRAGMA journal_mode=WAL");
    db_.Exec("PRAGMA synchronous=NORMAL");
    db_.Exec("PRAGMA foreign_keys=ON");
    if (*version == kSchemaVersion)
        return true;
    SqliteTransaction transaction(db_);
    if (!transaction.Began()) {
        Fail("не удалось начать запись");
        return false;
    }
    // Read again under the write lock: another program may have migrated meanwhile.
    const std::int64_t from = db_.QueryInt("PRAGMA user_version").value_or(-1);
    if (from < 0) {
        Fail("не удалось прочитать версию схемы");
        return false;
    }
    for (std::int64_t step = from; step < kSchemaVersion; ++step) {
        if (!db_.Exec(kMigrations[step])) {
            Fail("не удалось обновить схему");
            return false;
        }
    }
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (!db_.Exec(setVersion.c_str()) || !transaction.Commit()) {
        Fail("не удалось обновить схему");
        return false;
    }
    return true;
}

void HistoryStore::Fail(const std::string& what)
{
    if (failure_.empty())
        failure_ = what + ": " + db_.LastError();
    if (IsDamage(db_.LastCode()))
        usable_ = false;
}

std::string HistoryStore::TakeFailureMessage()
{
    if (failure_.empty() || failureTaken_)
        return {};
    failureTaken_ = true;
    return "История недоступна (" + path_ + "): " + failure_;
}

std::optional<std::int64_t> HistoryStore::Add(const Snapshot& s)
{
    if (!usable_)
        return std::nullopt;
    SqliteTransaction transaction(db_);
    if (!transaction.Began()) {
        Fail("не удалось записать снимок");
        return std::nullopt;
    }
    SqliteStatement meter(db_,
                          "INSERT INTO meter (serial, firmware, place, last_seen_utc_ms, last_seen_local) "
                          "VALUES (?1, ?2, ?3, ?4, ?5) "
                          "ON CONFLICT (serial, firmware, place) DO UPDATE SET "
                          "last_seen_utc_ms = excluded.last_seen_utc_ms, last_seen_local = excluded.last_seen_local "
                          "RETURNING id");
    meter.Bind(1, s.serial).Bind(2, std::int64_t{s.firmware}).Bind(3, PlaceOf(s)).Bind(4, s.takenUtcMs).Bind(5,
                                                                                                    s.takenLocal);
    if (meter.Step() != SQLITE_ROW) {
        Fail("не удалось записать снимок");
        return std::nullopt;
    }
    const std::int64_t meterId = meter.Int(0);
    meter.Step(); // finishes the upsert
    SqliteStatement insert(db_, "INSERT INTO snapshot (meter_id, taken_utc_ms, taken_local, kind, note, port, baud, "
                                "timeout_ms, address, fast_framing, program_version, config, live_values) "
                                "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
    insert.Bind(1, meterId)
        .Bind(2, s.takenUtcMs)
        .Bind(3, s.takenLocal)
        .Bind(4, std::string_view(SnapshotKindWord(s.kind)))
        .Bind(5, s.note)
        .Bind(6, s.link.port)
        .Bind(7, std::int64_t{s.link.baud})
        .Bind(8, std::int64_t{s.link.timeoutMs})
        .Bind(9, std::int64_t{s.link.address})
        .Bind(10, std::int64_t{s.link.fastFraming})
        .Bind(11, s.programVersion)
        .BindBlob(12, s.config)
        .Bind(13, s.liveValues);
    if (!insert.Run()) {
        Fail("не удалось записать снимок");
        return std::nullopt;
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db_.Handle());
    if (!transaction.Commit()) {
        Fail("не удалось записать снимок");
        return std::nullopt;
    }
    return id;
}

std::vector<MeterSummary> HistoryStore::Meters()
{
    std::vector<MeterSummary> meters;
    if (!usable_)
        return meters;
    SqliteStatement query(db_, "SELECT m.id, m.serial, m.firmware, m.place, m.last_seen_local, m.last_seen_utc_ms, "
                               "(SELECT count(*) FROM snapshot s WHERE s.meter_id = m.id) "
                               "FROM meter m ORDER BY m.last_seen_utc_ms DESC, m.id DESC");
    int code;
    while ((code = query.Step()) == SQLITE_ROW) {
        meters.push_back({query.Int(0), query.Text(1), static_cast<std::uint16_t>(query.Int(2)), query.Text(3),
                          query.Text(4), query.Int(5), static_cast<int>(query.Int(6))});
    }
    if (code != SQLITE_DONE)
        Fail("не удалось прочитать историю");
    return meters;
}

std::vector<SnapshotSummary> HistoryStore::Summaries(const char* sql,
                                                     const std::function<void(SqliteStatement&)>& bind)
{
    std::vector<SnapshotSummary> list;
    if (!usable_)
        return list;
    SqliteStatement query(db_, sql);
    bind(query);
    int code;
    while ((code = query.Step()) == SQLITE_ROW) {
        SnapshotSummary s;
        s.id = query.Int(0);
        s.meterId = query.Int(1);
        s.serial = query.Text(2);
        s.takenLocal = query.Text(3);
        s.takenUtcMs = query.Int(4);
        s.kind = SnapshotKindFromWord(query.Text(5)).value_or(SnapshotKind::ByHand);
        s.note = query.Text(6);
        list.push_back(std::move(s));
    }
    if (code != SQLITE_DONE)
        Fail("не удалось прочитать историю");
    return list;
}

std::vector<SnapshotSummary> HistoryStore::SnapshotsOfSerial(const std::string& serial)
{
    static const std::string sql = std::string(kSummaryColumns) + "WHERE m.serial = ?1 ORDER BY s.taken_utc_ms, s.id";
    return Summaries(sql.c_str(), [&](SqliteStatement& q) { q.Bind(1, serial); });
}

std::vector<SnapshotSummary> HistoryStore::SnapshotsOfMeter(std::int64_t meterId)
{
    static const std::string sql = std::string(kSummaryColumns) + "WHERE s.meter_id = ?1 ORDER BY s.taken_utc_ms, s.id";
    return Summaries(sql.c_str(), [&](SqliteStatement& q) { q.Bind(1, meterId); });
}

std::optional<Snapshot> HistoryStore::Get(std::int64_t id)
{
    if (!usable_)
        return std::nullopt;
    SqliteStatement query(db_, "SELECT s.id, s.meter_id, m.serial, m.firmware, s.port, s.baud, s.timeout_ms, "
                               "s.address, s.fast_framing, s.taken_utc_ms, s.taken_local, s.program_version, s.kind, "
                               "s.note, s.config, s.live_values "
                               "FROM snapshot s JOIN meter m ON m.id = s.meter_id WHERE s.id = ?1");
    query.Bind(1, id);
    const int code = query.Step();
    if (code != SQLITE_ROW) {
        if (code != SQLITE_DONE)
            Fail("не удалось прочитать историю");
        return std::nullopt;
    }
    Snapshot s;
    s.id = query.Int(0);
    s.meterId = query.Int(1);
    s.serial = query.Text(2);
    s.firmware = static_cast<std::uint16_t>(query.Int(3));
    s.link.port = query.Text(4);
    s.link.baud = static_cast<std::uint32_t>(query.Int(5));
    s.link.timeoutMs = static_cast<std::uint32_t>(query.Int(6));
    s.link.address = static_cast<int>(query.Int(7));
    s.link.fastFraming = query.Int(8) != 0;
    s.takenUtcMs = query.Int(9);
    s.takenLocal = query.Text(10);
    s.programVersion = query.Text(11);
    s.kind = SnapshotKindFromWord(query.Text(12)).value_or(SnapshotKind::ByHand);
    s.note = query.Text(13);
    s.config = query.Bytes(14);
    s.liveValues = query.Text(15);
    return s;
}

std::string HistoryStore::IntegrityCheck()
{
    if (!db_.IsOpen())
        return failure_.empty() ? "не открыта" : failure_;
    SqliteStatement query(db_, "PRAGMA integrity_check");
    std::string result;
    while (query.Step() == SQLITE_ROW)
        result += (result.empty() ? "" : "\n") + query.Text(0);
    return result.empty() ? db_.LastError() : result;
}
