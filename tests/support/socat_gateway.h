#pragma once
// socat as a serial device server in transparent mode: it listens on a
// loopback port and joins each connection to a serial line (a pty), byte
// for byte, one connection after another.

#include "loopback.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

class SocatGateway {
public:
    SocatGateway(const std::string& socat, const std::string& line)
    {
        int port = 0;
        {
            LoopbackListener probe; // a port that was free a moment ago
            port = probe.Port();
        }
        name_ = "tcp://127.0.0.1:" + std::to_string(port);
        const std::string listen = "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork";
        const std::string serial = "FILE:" + line + ",rawer";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(socat.c_str(), "socat", "-t", "0", listen.c_str(), serial.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        // Listening once a connection is taken; that connection's own
        // process must be gone before the line is used.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Connects(port)) {
            if (std::chrono::steady_clock::now() > end)
                throw std::runtime_error("socat does not listen");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        WaitIdle();
    }
    ~SocatGateway()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    SocatGateway(const SocatGateway&) = delete;
    SocatGateway& operator=(const SocatGateway&) = delete;

    const std::string& Name() const { return name_; }

    // Waits until no connection is being served, so that no process of an
    // earlier connection still reads the line.
    bool WaitIdle(std::chrono::milliseconds deadline = std::chrono::seconds(10)) const
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        const std::string children = "/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children";
        for (;;) {
            std::ifstream in(children);
            std::string pid;
            if (!(in >> pid))
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    static bool Connects(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    std::string name_;
    pid_t pid_ = -1;
};
