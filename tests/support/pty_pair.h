#pragma once
// A pseudo-terminal pair for tests: the channel under test opens the slave
// by its path, the test plays the peer on the master side.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <pty.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        termios tio{};
        cfmakeraw(&tio);
        if (::openpty(&master_, &slave_, name, &tio, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
    }
    ~PtyPair()
    {
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return path_; }
    int Master() const { return master_; }

    void Write(const std::vector<std::uint8_t>& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0)
                throw std::runtime_error("pty write failed");
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads what arrives until `quietMs` pass without a byte or `totalMs` run out.
    std::vector<std::uint8_t> Read(int quietMs = 30, int totalMs = 5000) const
    {
        std::vector<std::uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{master_, POLLIN, 0};
            const int wait = out.empty() ? static_cast<int>(left) : std::min<int>(quietMs, static_cast<int>(left));
            if (::poll(&p, 1, wait) <= 0)
                break;
            std::uint8_t buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
