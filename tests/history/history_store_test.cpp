// The history store on real SQLite files in temporary folders: what goes in
// comes out byte for byte, meters are told apart, old files migrate, damaged
// files are left alone, and two connections writing at once lose nothing.
// Built on both systems; the kills and the writing processes are in
// history_store_process_test.cpp.

#include "history_store.h"
#include "history_test_snapshot.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

TEST(HistoryStoreTest, KeepsASnapshotByteForByte)
{
    TempDir dir;
    HistoryStore store;
    ASSERT_TRUE(store.Open(dir.File("a/b/history.sqlite"))) << store.FailureMessage();
    Snapshot s = MakeSnapshot("20417.000000", 10712);
    s.config += std::string("\0\xff\xd0\x9a", 4);
    s.note = "после ремонта \"датчика\"";
    s.liveValues = "Серийный номер\t20417.000000\n";
    s.link.fastFraming = true;
    s.kind = SnapshotKind::Dump;
    const auto id = store.Add(s);
    ASSERT_TRUE(id);
    const auto back = store.Get(*id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->config, s.config);
    EXPECT_EQ(back->note, s.note);
    EXPECT_EQ(back->liveValues, s.liveValues);
    EXPECT_EQ(back->kind, SnapshotKind::Dump);
    EXPECT_EQ(back->takenLocal, s.takenLocal);
    EXPECT_EQ(back->takenUtcMs, s.takenUtcMs);
    EXPECT_EQ(back->link.port, s.link.port);
    EXPECT_TRUE(back->link.fastFraming);
    EXPECT_EQ(back->firmware, 10712);
    EXPECT_FALSE(store.Get(*id + 1));
}

TEST(HistoryStoreTest, MetersAreToldApartBySerialFirmwareAndForUnknownsByPlace)
{
    struct Case {
        const char* serial;
        std::uint16_t firmware;
        const char* port;
        int address;
    };
    const std::vector<Case> visits = {
        {"100", 10712, "/dev/ttyUSB0", 1}, {"100", 10712, "/dev/ttyUSB1", 5}, // the same meter, moved
        {"100", 10600, "/dev/ttyUSB1", 1},                                    // the same number, other firmware
        {"200", 10712, "/dev/ttyUSB0", 1},
        {"", 10712, "/dev/ttyUSB0", 1},  {"", 10712, "/dev/ttyUSB0", 1},      // unknown, one place
        {"", 10712, "/dev/ttyUSB0", 2},  {"", 10712, "/dev/ttyUSB1", 1},      // unknown elsewhere
    };
    TempDir dir;
    HistoryStore store;
    ASSERT_TRUE(store.Open(dir.File("h.sqlite")));
    for (const Case& v : visits)
        ASSERT_TRUE(store.Add(MakeSnapshot(v.serial, v.firmware, v.port, v.address)));
    std::multiset<std::pair<std::string, int>> counts;
    for (const MeterSummary& m : store.Meters())
        counts.insert({m.serial + "/" + std::to_string(m.firmware) + "/" + m.place, m.snapshots});
    const std::multiset<std::pair<std::string, int>> expected = {
        {"100/10712/", 2},          {"100/10600/", 1},          {"200/10712/", 1},
        {"/10712//dev/ttyUSB0 #1", 2}, {"/10712//dev/ttyUSB0 #2", 1}, {"/10712//dev/ttyUSB1 #1", 1},
    };
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(store.SnapshotsOfSerial("100").size(), 3u);
    EXPECT_EQ(store.SnapshotsOfSerial("").size(), 4u);
}

TEST(HistoryStoreTest, AFileOfTheFirstSchemaIsMigratedWithItsSnapshots)
{
    TempDir dir;
    const std::string path = dir.File("old.sqlite");
    {
        SqliteDb db;
        ASSERT_TRUE(db.Open(path, true));
        ASSERT_TRUE(db.Exec(
            "CREATE TABLE meter (id INTEGER PRIMARY KEY, serial TEXT NOT NULL, firmware INTEGER NOT NULL,"
            " place TEXT NOT NULL, last_seen_utc_ms INTEGER NOT NULL, last_seen_local TEXT NOT NULL,"
            " UNIQUE (serial, firmware, place));"
            "CREATE TABLE snapshot (id INTEGER PRIMARY KEY, meter_id INTEGER NOT NULL REFERENCES meter(id),"
            " taken_utc_ms INTEGER NOT NULL, taken_local TEXT NOT NULL, kind TEXT NOT NULL, note TEXT NOT NULL,"
            " port TEXT NOT NULL, baud INTEGER NOT NULL, timeout_ms INTEGER NOT NULL, address INTEGER NOT NULL,"
            " fast_framing INTEGER NOT NULL, program_version TEXT NOT NULL, config BLOB NOT NULL);"
            "INSERT INTO meter VALUES (1, '7', 10712, '', 5, 't');"
            "INSERT INTO snapshot VALUES (1, 1, 5, 't', 'as-left', 'n', 'p', 9600, 300, 3, 0, '1.9', x'0D0A41');"
            "PRAGMA user_version=1;")) << db.LastError();
    }
    HistoryStore store;
    ASSERT_TRUE(store.Open(path)) << store.FailureMessage();
    const auto old = store.Get(1);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->config, "\r\nA");
    EXPECT_EQ(old->kind, SnapshotKind::AsLeft);
    EXPECT_EQ(old->liveValues, "");
    Snapshot s = MakeSnapshot("7", 10712);
    s.liveValues = "x\t1\n";
    const auto id = store.Add(s);
    ASSERT_TRUE(id);
    EXPECT_EQ(store.Get(*id)->liveValues, "x\t1\n");
    EXPECT_EQ(store.SnapshotsOfSerial("7").size(), 2u);
}

TEST(HistoryStoreTest, AStoreThatCannotBeUsedIsReportedOnceAndLeftAsItWas)
{
    TempDir dir;
    // A real store with one snapshot, then damaged in its first page.
    const std::string damaged = dir.File("damaged.sqlite");
    {
        HistoryStore store;
        ASSERT_TRUE(store.Open(damaged));
        ASSERT_TRUE(store.Add(MakeSnapshot("1", 1)));
    }
    std::filesystem::remove(damaged + "-wal");
    std::filesystem::remove(damaged + "-shm");
    std::string bytes = ReadText(damaged);
    ASSERT_GT(bytes.size(), 200u);
    for (std::size_t i = 100; i < 200; ++i)
        bytes[i] = '\x5a';
    WriteText(damaged, bytes);

    const std::string foreign = dir.File("foreign.sqlite");
    WriteText(foreign, "2001 float 1.0\r\n");
    const std::string newer = dir.File("newer.sqlite");
    {
        SqliteDb db;
        ASSERT_TRUE(db.Open(newer, true));
        ASSERT_TRUE(db.Exec("CREATE TABLE t (x); PRAGMA user_version=99;"));
    }
    const std::string newerBytes = ReadText(newer);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {damaged, bytes}, {foreign, "2001 float 1.0\r\n"}, {newer, newerBytes}};
    for (const auto& [path, before] : cases) {
        SCOPED_TRACE(path);
        HistoryStore store;
        const bool opened = store.Open(path);
        // A damage SQLite finds only on use shows at the first write.
        if (opened) {
            EXPECT_FALSE(store.Add(MakeSnapshot("2", 2)));
        }
        EXPECT_FALSE(store.IsUsable());
        const std::string message = store.TakeFailureMessage();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_EQ(store.TakeFailureMessage(), "");
        EXPECT_FALSE(store.Add(MakeSnapshot("3", 3)));
        EXPECT_EQ(store.TakeFailureMessage(), "");
        EXPECT_TRUE(store.Meters().empty());
        EXPECT_EQ(ReadText(path), before);
    }
}

TEST(HistoryStoreTest, TwoConnectionsWriteAtTheSameTimeWithoutLosingASnapshot)
{
    TempDir dir;
    const std::string path = dir.File("shared.sqlite");
    constexpr int kEach = 60;
    std::vector<std::string> failures(2);
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < 2; ++w) {
            writers.emplace_back([&, w] {
                const std::string serial = w == 0 ? "window" : "vokctl";
                HistoryStore store;
                if (!store.Open(path)) {
                    failures[w] = store.TakeFailureMessage();
                    return;
                }
                for (int i = 0; i < kEach; ++i) {
                    if (!store.Add(MakeSnapshot(serial, 1)) || store.Meters().empty()) {
                        failures[w] = "write " + std::to_string(i) + ": " + store.TakeFailureMessage();
                        return;
                    }
                }
            });
        }
    }
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "");
    HistoryStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.SnapshotsOfSerial("window").size(), std::size_t{kEach});
    EXPECT_EQ(store.SnapshotsOfSerial("vokctl").size(), std::size_t{kEach});
    EXPECT_EQ(store.IntegrityCheck(), "ok");
}
