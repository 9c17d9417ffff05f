// The history store against processes: a writer killed at random moments
// leaves every snapshot stored before it whole, and two programs writing at
// the same time (the window and vokctl) lose nothing.

#include "history_store.h"
#include "history_test_snapshot.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Adds snapshots until killed; a child process's whole life.
[[noreturn]] void WriteForever(const std::string& path, const std::string& serial)
{
    HistoryStore store;
    if (!store.Open(path))
        ::_exit(2);
    std::string config(6000, 'x');
    for (int i = 0;; ++i) {
        config[static_cast<std::size_t>(i) % config.size()] = static_cast<char>('a' + i % 26);
        if (!store.Add(MakeSnapshot(serial, 10712, "/dev/ttyUSB0", 1, config)))
            ::_exit(3);
    }
}

} // namespace

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
                if (!store.Add(MakeSnapshot(serial, 1)) || store.Meters().empty())
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
