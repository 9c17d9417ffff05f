#include "meter_sim.h"

#include "rtu_framer.h"

#include <cerrno>
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

} // namespace

MeterSim::MeterSim(MeterSimOptions options) : MeterModel(options) {}

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
    RtuFramer framer;
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        const int r = ::poll(fds, 2, framer.Pending() ? RtuFramer::kSilenceMs : -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (r == 0) {
            if (auto frame = framer.Silence())
                Answer(*frame);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            std::uint8_t bytes[512];
            const ssize_t n = ::read(master_, bytes, sizeof bytes);
            if (n > 0) {
                framer.Feed(bytes, static_cast<std::size_t>(n));
                while (auto frame = framer.Next())
                    Answer(*frame);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // The slave end is held open, so this should not last; do not spin on it.
            if (WaitForStop(10))
                return;
        }
    }
}

void MeterSim::Answer(const std::vector<std::uint8_t>& frame)
{
    auto answer = Handle(frame.data(), frame.size());
    if (!answer)
        return;
    if (answer->delayMs > 0 && WaitForStop(answer->delayMs))
        return;
    WriteAnswer(answer->frame);
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
