#pragma once
// What the benchmark programs share: the process's CPU clock and a
// simulated meter served by a child process, so that its work is not
// counted as ours.

#include "meter_sim.h"

#include <csignal>
#include <pty.h>
#include <string>
#include <termios.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

inline double CpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(ru.ru_utime) + ms(ru.ru_stime);
}

struct SimChild {
    pid_t pid = -1;
    int stopFd = -1; // closing it ends the child
};

// Serves the simulator in a child process until the parent closes the pipe:
// on a pty, or over TCP on the loopback address; `path` receives the port.
inline SimChild StartSimChild(std::string& path, MeterSimOptions options = {}, bool tcp = false)
{
    int toParent[2], toChild[2];
    if (pipe(toParent) != 0 || pipe(toChild) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(toParent[0]);
        close(toChild[1]);
        options.frozen = true;
        MeterSim sim(options);
        if (!(tcp ? sim.StartTcp("127.0.0.1", "0") : sim.Start()))
            _exit(1);
        const std::string line = sim.PortPath() + "\n";
        [[maybe_unused]] auto w = write(toParent[1], line.data(), line.size());
        char c;
        while (read(toChild[0], &c, 1) > 0) {
        }
        sim.Stop();
        _exit(0);
    }
    close(toParent[1]);
    close(toChild[0]);
    char buf[256] = {};
    std::size_t n = 0;
    while (n < sizeof buf - 1) {
        const ssize_t r = read(toParent[0], buf + n, 1);
        if (r <= 0 || buf[n] == '\n')
            break;
        ++n;
    }
    buf[n] = '\0';
    close(toParent[0]);
    path = buf;
    return {pid, toChild[1]};
}

// Ends the child and waits for it. A child started later holds a copy of
// the pipe, so the signal ends it for sure.
inline void StopSimChild(const SimChild& child)
{
    close(child.stopFd);
    kill(child.pid, SIGTERM);
    int status = 0;
    waitpid(child.pid, &status, 0);
}

// A line with nobody on its other end: a pty pair whose master stays silent.
struct SilentLine {
    int master = -1, slave = -1;
    std::string path;
    SilentLine()
    {
        char name[256] = {};
        termios tio{};
        cfmakeraw(&tio);
        if (openpty(&master, &slave, name, &tio, nullptr) == 0)
            path = name;
    }
    ~SilentLine()
    {
        for (int fd : {master, slave})
            if (fd >= 0)
                close(fd);
    }
    void Vanish()
    {
        close(master);
        close(slave);
        master = slave = -1;
    }
};
