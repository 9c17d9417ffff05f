#include "meter_sim.h"

#include "rtu_framer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kWriteWaitMs = 200;

struct Rate {
    std::uint32_t baud;
    speed_t constant;
};
constexpr Rate kRates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                           {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                           {230400, B230400}, {460800, B460800}, {921600, B921600}};

const Rate* FindRate(std::uint32_t baud)
{
    for (const Rate& r : kRates)
        if (r.baud == baud)
            return &r;
    return nullptr;
}

} // namespace

MeterSim::MeterSim(MeterSimOptions options) : MeterModel(options), speed_(options.speed) {}

bool MeterSim::KnownSpeed(std::uint32_t baud) { return FindRate(baud) != nullptr; }

bool MeterSim::AtOwnSpeed() const
{
    if (speed_ == 0)
        return true;
    const Rate* rate = FindRate(speed_);
    termios tio{};
    return rate && ::tcgetattr(master_, &tio) == 0 && ::cfgetospeed(&tio) == rate->constant;
}

MeterSim::~MeterSim() { Stop(); }

bool MeterSim::Start(std::string* error)
{
    if (Running())
        return true;
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + ": " + std::strerror(errno);
        CloseDescriptors();
        return false;
    };
    termios tio{};
    ::cfmakeraw(&tio);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &tio, nullptr) != 0)
        return fail("openpty");
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0)
        return fail("eventfd");
    portPath_ = name;
    try {
        server_ = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
        return fail("thread");
    }
    return true;
}

void MeterSim::Stop()
{
    if (!server_.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(stop_, &one, sizeof one);
    server_.join();
    CloseDescriptors();
}

void MeterSim::CloseDescriptors()
{
    for (int* fd : {&master_, &slave_, &stop_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool MeterSim::WaitForStop(int ms) const
{
    pollfd p{stop_, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void MeterSim::Serve()
{
    using Clock = std::chrono::steady_clock;
    RtuFramer framer;
    // Answers wait here until they are due, in the order of their requests.
    std::deque<std::pair<Clock::time_point, std::vector<std::uint8_t>>> due;
    bool vanished = false;
    const auto take = [&](const std::vector<std::uint8_t>& frame) {
        if (!AtOwnSpeed())
            return;
        auto answer = Handle(frame.data(), frame.size());
        if (!answer)
            return;
        if (answer->vanish) {
            // As an adapter pulled out: the master's end hangs up.
            CloseLine();
            vanished = true;
            due.clear();
            return;
        }
        auto when = Clock::now() + std::chrono::milliseconds(answer->delayMs);
        if (!due.empty())
            when = std::max(when, due.back().first);
        due.emplace_back(when, std::move(answer->frame));
    };
    for (;;) {
        while (!vanished && !due.empty() && due.front().first <= Clock::now()) {
            WriteAnswer(due.front().second);
            due.pop_front();
        }
        int waitMs = framer.Pending() ? RtuFramer::kSilenceMs : -1;
        if (!due.empty()) {
            const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(due.front().first - Clock::now());
            const int dueMs = static_cast<int>(std::max<std::int64_t>(untilDue.count(), 0));
            waitMs = waitMs < 0 ? dueMs : std::min(waitMs, dueMs);
        }
        pollfd fds[2] = {{stop_, POLLIN, 0}, {master_, POLLIN, 0}};
        const int r = ::poll(fds, vanished ? 1 : 2, waitMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (r == 0) {
            if (framer.Pending() && !vanished) {
                if (auto frame = framer.Silence())
                    take(*frame);
            }
            continue;
        }
        if (fds[1].revents & POLLIN) {
            std::uint8_t bytes[512];
            const ssize_t n = ::read(master_, bytes, sizeof bytes);
            if (n > 0) {
                framer.Feed(bytes, static_cast<std::size_t>(n));
                while (!vanished) {
                    auto frame = framer.Next();
                    if (!frame)
                        break;
                    take(*frame);
                }
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // The slave end is held open, so this should not last; do not spin on it.
            if (WaitForStop(10))
                return;
        }
    }
}

void MeterSim::CloseLine()
{
    for (int* fd : {&master_, &slave_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void MeterSim::WriteAnswer(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        // Nobody drains the port: give up on this answer rather than hang.
        pollfd fds[2] = {{master_, POLLOUT, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, kWriteWaitMs) <= 0 || fds[1].revents)
            return;
    }
}
