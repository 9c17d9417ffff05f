#pragma once
// A meter written apart from the project's own code, for the tests that try
// the link against what real lines do: on the master side of a pty it takes
// requests of functions 3, 6 and 16 (framed by their length, CRC checked
// with its own CRC), answers from a register image in which every register
// holds its own address, and misbehaves on request: it sends each answer
// twice, hands each request back first (the local echo of a 2-wire
// adapter), refuses writes to a range of registers, and shares the line
// with another master that polls another meter, or with noise.

#include "pty_pair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

class RawMeter {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct Behaviour {
        std::uint8_t address = 1;
        int answerDelayMs = 0;
        std::optional<int> copyAfterMs; // each answer sent again this long after it
        enum class Echo { None, Separate, Merged } echo = Echo::None;
        int echoGapMs = 0;               // between a separate echo and the answer
        std::uint16_t refusedFirst = 1;  // writes in [first, last] get exception 2
        std::uint16_t refusedLast = 0;
        int otherMasterEveryMs = 0;      // another master's exchange with meter 2; 0 none
        int noiseEveryMs = 0;            // a burst of line noise; 0 none
    };

    explicit RawMeter(Behaviour behaviour) : b_(behaviour)
    {
        stop_ = ::eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }
    ~RawMeter()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(stop_, &one, sizeof one);
        thread_.join();
        ::close(stop_);
    }
    RawMeter(const RawMeter&) = delete;
    RawMeter& operator=(const RawMeter&) = delete;

    const std::string& Path() const { return pty_.SlavePath(); }
    std::uint16_t Reg(std::uint16_t a) const
    {
        std::lock_guard lock(lock_);
        const auto it = written_.find(a);
        return it == written_.end() ? a : it->second;
    }
    int Requests() const { return requests_.load(); }

    static std::uint16_t Crc(const std::uint8_t* p, std::size_t n)
    {
        std::uint16_t crc = 0xFFFF;
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
        }
        return crc;
    }
    static Bytes WithCrc(Bytes f)
    {
        const std::uint16_t crc = Crc(f.data(), f.size());
        f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        f.push_back(static_cast<std::uint8_t>(crc >> 8));
        return f;
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::uint16_t Word(const Bytes& f, std::size_t at) { return static_cast<std::uint16_t>(f[at] << 8 | f[at + 1]); }

    // The length of the request at the head of `in`, 0 while unknown.
    static std::size_t RequestLength(const Bytes& in)
    {
        if (in.size() < 2)
            return 0;
        if (in[1] == 16)
            return in.size() < 7 ? 0 : 9u + in[6];
        return 8;
    }

    std::optional<Bytes> Answer(const Bytes& req)
    {
        const std::uint8_t fn = req[1];
        const std::uint16_t start = Word(req, 2);
        const auto refuse = [&](std::uint16_t first, std::uint16_t count) {
            return first <= b_.refusedLast && first + count - 1 >= b_.refusedFirst;
        };
        if (fn == 3) {
            const std::uint16_t count = Word(req, 4);
            Bytes a{b_.address, 3, static_cast<std::uint8_t>(2 * count)};
            for (std::uint16_t i = 0; i < count; ++i) {
                const std::uint16_t v = Reg(static_cast<std::uint16_t>(start + i));
                a.push_back(static_cast<std::uint8_t>(v >> 8));
                a.push_back(static_cast<std::uint8_t>(v & 0xFF));
            }
            return WithCrc(a);
        }
        const std::uint16_t count = fn == 6 ? 1 : Word(req, 4);
        if (refuse(start, count))
            return WithCrc({b_.address, static_cast<std::uint8_t>(fn | 0x80), 2});
        std::lock_guard lock(lock_);
        if (fn == 6) {
            written_[start] = Word(req, 4);
            return Bytes(req.begin(), req.begin() + 8);
        }
        if (fn == 16) {
            for (std::uint16_t i = 0; i < count; ++i)
                written_[static_cast<std::uint16_t>(start + i)] = Word(req, 7 + 2u * i);
            return WithCrc(Bytes(req.begin(), req.begin() + 6));
        }
        return std::nullopt;
    }

    void Schedule(Clock::time_point at, Bytes bytes)
    {
        if (!due_.empty())
            at = std::max(at, due_.back().first);
        due_.emplace_back(at, std::move(bytes));
    }

    // Each answer goes out its delay after its request came, in the order
    // of the requests; the echo at once.
    void Take(const Bytes& req)
    {
        ++requests_;
        const auto came = Clock::now();
        std::optional<Bytes> answer = Answer(req);
        if (b_.echo == Behaviour::Echo::Separate)
            Schedule(came, req);
        if (!answer)
            return;
        const auto at = came + std::chrono::milliseconds(b_.answerDelayMs + (b_.echo == Behaviour::Echo::Separate ? b_.echoGapMs : 0));
        Bytes out = *answer;
        if (b_.echo == Behaviour::Echo::Merged)
            out.insert(out.begin(), req.begin(), req.end());
        if (b_.copyAfterMs && *b_.copyAfterMs == 0)
            out.insert(out.end(), answer->begin(), answer->end());
        Schedule(at, out);
        if (b_.copyAfterMs && *b_.copyAfterMs > 0)
            Schedule(at + std::chrono::milliseconds(*b_.copyAfterMs), *answer);
    }

    // What the line carries besides us: another master reading meter 2 and
    // its answer, or a burst of noise.
    void Disturb(Clock::time_point now)
    {
        if (b_.otherMasterEveryMs > 0 && now >= otherDue_) {
            pty_.Write(WithCrc({2, 3, 0x07, 0xD0, 0x00, 0x02}));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            pty_.Write(WithCrc({2, 3, 4, 0x12, 0x34, 0x56, 0x78}));
            otherDue_ = now + std::chrono::milliseconds(b_.otherMasterEveryMs);
        }
        if (b_.noiseEveryMs > 0 && now >= noiseDue_) {
            pty_.Write({0xFF, 0x00, 0xFF, 0x7E, 0x01, 0x80, 0x00});
            noiseDue_ = now + std::chrono::milliseconds(b_.noiseEveryMs);
        }
    }

    static int MsUntil(Clock::time_point at)
    {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
        return static_cast<int>(std::max<long long>(ms, 0));
    }

    void Serve()
    {
        Bytes in;
        auto partialSince = Clock::now();
        for (;;) {
            const auto now = Clock::now();
            while (!due_.empty() && due_.front().first <= now) {
                pty_.Write(due_.front().second);
                due_.pop_front();
            }
            if (in.empty())
                Disturb(now);
            int wait = -1;
            const auto earliest = [&](Clock::time_point at) { wait = wait < 0 ? MsUntil(at) : std::min(wait, MsUntil(at)); };
            if (!due_.empty())
                earliest(due_.front().first);
            if (b_.otherMasterEveryMs > 0)
                earliest(otherDue_);
            if (b_.noiseEveryMs > 0)
                earliest(noiseDue_);
            if (!in.empty())
                earliest(partialSince + std::chrono::milliseconds(20));
            pollfd fds[2] = {{stop_, POLLIN, 0}, {pty_.Master(), POLLIN, 0}};
            const int r = ::poll(fds, 2, wait);
            if (r < 0 || fds[0].revents)
                return;
            if (r == 0) {
                // A request cut short is dropped at the silence.
                if (!in.empty() && Clock::now() >= partialSince + std::chrono::milliseconds(20))
                    in.clear();
                continue;
            }
            std::uint8_t buf[512];
            const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
            if (n <= 0)
                continue;
            if (in.empty())
                partialSince = Clock::now();
            in.insert(in.end(), buf, buf + n);
            for (std::size_t length; (length = RequestLength(in)) != 0 && in.size() >= length;) {
                const Bytes req(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(length));
                in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(length));
                if (Crc(req.data(), length) == 0 && req[0] == b_.address)
                    Take(req);
            }
        }
    }

    Behaviour b_;
    PtyPair pty_;
    int stop_ = -1;
    mutable std::mutex lock_;
    std::map<std::uint16_t, std::uint16_t> written_;
    std::atomic<int> requests_{0};
    std::deque<std::pair<Clock::time_point, Bytes>> due_; // serving thread only
    Clock::time_point otherDue_, noiseDue_;
    std::thread thread_;
};
