// Pausing another process: a child that writes a byte every 5 ms writes
// nothing while paused and goes on when resumed; a process that is not
// there cannot be paused.

#include "process_pause.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The bytes the pipe holds now, taken out of it.
int Drain(int fd)
{
    char buffer[4096];
    int total = 0;
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        total += static_cast<int>(n);
    return total;
}

// Waits, up to a generous deadline, until the child has written something.
bool Writes(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Drain(fd) > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

TEST(ProcessPause, APausedProcessStandsStillUntilResumed)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        for (;;) {
            if (::write(fds[1], "x", 1) != 1)
                ::_exit(1);
            ::usleep(5000);
        }
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    using namespace std::chrono_literals;

    EXPECT_TRUE(Writes(fds[0])) << "the child writes before any pause";
    ASSERT_TRUE(PauseProcess(child));
    std::this_thread::sleep_for(50ms); // a byte on its way when paused
    Drain(fds[0]);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Drain(fds[0]), 0) << "the paused child wrote";
    ASSERT_TRUE(ResumeProcess(child));
    EXPECT_TRUE(Writes(fds[0])) << "the resumed child writes again";

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(fds[0]);
    EXPECT_FALSE(PauseProcess(child)) << "a reaped process";
}
