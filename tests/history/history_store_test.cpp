// The history store on real SQLite files in temporary folders: what goes in
// comes out byte for byte, meters are told apart, old files migrate, damaged
// files are left alone, and kills and concurrent writers leave it whole.

#include "history_store.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Snapshot Make(const std::string& serial, std::uint16_t firmware, const std::string& port = "/dev/ttyUSB0",
              int address = 1, std::string config = "\r\n2001 float  20417.000000\t\t # Serial\r\n")
{
    Snapshot s;
    s.serial = serial;
    s.firmware = firmware;
    s.link = {port, 115200, 200, address, false};
    s.programVersion = "2.0";
    s.kind = SnapshotKind::AsFound;
    s.config = std::move(config);
    StampNow(s);
    return s;
}

// Adds snapshots until killed; a child process's whole life.
[[noreturn]] void WriteForever(const std::string& path, const std::string& serial)
{
    HistoryStore store;
    if (!store.Open(path))
        ::_exit(2);
    std::string config(6000, 'x');
    for (int i = 0;; ++i) {
        config[static_cast<std::size_t>(i) % config.size()] = static_cast<char>('a' + i % 26);
        if (!store.Add(Make(serial, 10712, "/dev/ttyUSB0", 1, config)))
            ::_exit(3);
    }
}

} // namespace

TEST(HistoryStoreTest, KeepsASnapshotByteForByte)
{
    TempDir dir;
    HistoryStore store;
    ASSERT_TRUE(store.Open(dir.File("a/b/history.sqlite"))) << store.FailureMessage();
    Snapshot s = Make("20417.000000", 10712);
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
        ASSERT_TRUE(store.Add(Make(v.serial, v.firmware, v.port, v.address)));
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
    Snapshot s = Make("7", 10712);
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
        ASSERT_TRUE(store.Add(Make("1", 1)));
    }
    ::unlink((damaged + "-wal").c_str());
    ::unlink((damaged + "-shm").c_str());
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
            EXPECT_FALSE(store.Add(Make("2", 2)));
        }
        EXPECT_FALSE(store.IsUsable());
        const std::string message = store.TakeFailureMessage();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_EQ(store.TakeFailureMessage(), "");
        EXPECT_FALSE(store.Add(Make("3", 3)));
        EXPECT_EQ(store.TakeFailureMessage(), "");
        EXPECT_TRUE(store.Meters().empty());
        EXPECT_EQ(ReadText(path), before);
    }
}

TEST(HistoryStoreTest, KillsDuringWritesLeaveEveryEarlierSnapshotIntact)
{
    TempDir dir;
    const std::string path = dir.File("killed.sqlite");
    std::mt19937 random(12345);
    std::size_t seen = 0;
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            WriteForever(path, "kill");
        ::usleep(static_cast<useconds_t>(20000 + random() % 80000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;

        HistoryStore store;
        ASSERT_TRUE(store.Open(path)) << store.FailureMessage();
        ASSERT_EQ(store.IntegrityCheck(), "ok");
        const auto list = store.SnapshotsOfSerial("kill");
        ASSERT_GE(list.size(), seen) << "a snapshot stored before was lost";
        for (const SnapshotSummary& s : list) {
            const auto full = store.Get(s.id);
            ASSERT_TRUE(full);
            ASSERT_EQ(full->config.size(), 6000u);
        }
        seen = list.size();
    }
    EXPECT_GT(seen, 0u);
}

TEST(HistoryStoreTest, TwoProgramsWriteAtTheSameTimeWithoutLosingASnapshot)
{
    TempDir dir;
    const std::string path = dir.File("shared.sqlite");
    constexpr int kEach = 60;
    std::vector<pid_t> children;
    for (const char* serial : {"window", "vokctl"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HistoryStore store;
            if (!store.Open(path))
                ::_exit(2);
            for (int i = 0; i < kEach; ++i) {
                if (!store.Add(Make(serial, 1)) || store.Meters().empty())
                    ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HistoryStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.SnapshotsOfSerial("window").size(), std::size_t{kEach});
    EXPECT_EQ(store.SnapshotsOfSerial("vokctl").size(), std::size_t{kEach});
    EXPECT_EQ(store.IntegrityCheck(), "ok");
}
