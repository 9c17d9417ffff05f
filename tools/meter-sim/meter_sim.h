#pragma once
// The simulated water-cut meter on a pseudo-terminal: a Modbus RTU slave
// that a master opens by PortPath(). The serving thread sleeps in poll() on
// the pty master and a stop event.

#include "meter_model.h"

#include <string>
#include <thread>

class MeterSim : public MeterModel {
public:
    explicit MeterSim(MeterSimOptions options = {});
    ~MeterSim();
    MeterSim(const MeterSim&) = delete;
    MeterSim& operator=(const MeterSim&) = delete;

    // Opens the pty pair and starts serving; false (with a message) when the
    // pty or the thread cannot be made. Starting a started sim does nothing.
    bool Start(std::string* error = nullptr);
    void Stop();
    bool Running() const { return server_.joinable(); }

    // The slave end, for the master to open; empty before Start.
    const std::string& PortPath() const { return portPath_; }

    // True for the baud rates that --speed takes.
    static bool KnownSpeed(std::uint32_t baud);

private:
    void Serve();
    bool WaitForStop(int ms) const;
    void CloseLine();
    void WriteAnswer(const std::vector<std::uint8_t>& bytes);
    void CloseDescriptors();
    // Both ends of a Linux pty share one termios: what the master set on its
    // side is read on ours. A request at another speed would reach a real
    // meter as noise, so it is not taken.
    bool AtOwnSpeed() const;

    std::string portPath_;
    int master_ = -1;
    int slave_ = -1; // held so that masters may close and reopen the port
    int stop_ = -1;  // eventfd
    std::uint32_t speed_ = 0; // 0: any
    std::thread server_;
};
