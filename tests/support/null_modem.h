#pragma once
// A "null-modem cable" between two programs that each open a serial port by
// path: two pty pairs whose master ends a thread joins, copying bytes each
// way as they come. Both ends are real ttys, so a library that insists on a
// tty path (libmodbus) can sit at one end and our channel at the other.

#include <array>
#include <cstdint>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

class NullModem {
public:
    NullModem()
    {
        for (End& e : ends_) {
            termios tio{};
            cfmakeraw(&tio);
            char name[256] = {};
            if (::openpty(&e.master, &e.slave, name, &tio, nullptr) != 0) {
                Release();
                throw std::runtime_error("openpty failed");
            }
            e.path = name;
        }
        stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stop_ < 0) {
            Release();
            throw std::runtime_error("eventfd failed");
        }
        relay_ = std::thread([this] { Relay(); });
    }
    ~NullModem()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(stop_, &one, sizeof one);
        relay_.join();
        Release();
    }
    NullModem(const NullModem&) = delete;
    NullModem& operator=(const NullModem&) = delete;

    // The two port paths; bytes written at one come out at the other.
    const std::string& PathA() const { return ends_[0].path; }
    const std::string& PathB() const { return ends_[1].path; }

private:
    struct End {
        int master = -1;
        int slave = -1; // held so that either side may close and reopen its port
        std::string path;
    };

    void Relay()
    {
        for (;;) {
            pollfd fds[3] = {{ends_[0].master, POLLIN, 0}, {ends_[1].master, POLLIN, 0}, {stop_, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0)
                continue;
            if (fds[2].revents)
                return;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                std::uint8_t buf[512];
                const ssize_t n = ::read(ends_[i].master, buf, sizeof buf);
                for (ssize_t done = 0; n > 0 && done < n;) {
                    const ssize_t w = ::write(ends_[1 - i].master, buf + done, static_cast<std::size_t>(n - done));
                    if (w <= 0)
                        break;
                    done += w;
                }
            }
        }
    }

    void Release()
    {
        for (End& e : ends_) {
            if (e.master >= 0)
                ::close(e.master);
            if (e.slave >= 0)
                ::close(e.slave);
            e.master = e.slave = -1;
        }
        if (stop_ >= 0)
            ::close(stop_);
        stop_ = -1;
    }

    std::array<End, 2> ends_;
    int stop_ = -1;
    std::thread relay_;
};
