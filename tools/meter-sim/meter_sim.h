#pragma once
// The simulated water-cut meter as a Modbus RTU slave, on a pseudo-terminal
// that a master opens by PortPath(), or over TCP as a serial gateway in
// transparent mode would pass it on (PortPath() is then tcp://HOST:PORT).
// The serving thread sleeps in poll() on its line and a stop event.

#include "meter_model.h"

#include <chrono>
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
    // Listens at host:port instead (port "0": one the system picks) and
    // serves one connection at a time; a new connection replaces the one
    // before, whose answers still due are dropped.
    bool StartTcp(const std::string& host = "127.0.0.1", const std::string& port = "0",
                  std::string* error = nullptr);
    void Stop();
    bool Running() const { return server_.joinable(); }

    // Where the master opens the meter: the slave end of the pty, or the
    // tcp:// name of the listening socket; empty before Start.
    const std::string& PortPath() const { return portPath_; }

    // True for the baud rates that --speed takes.
    static bool KnownSpeed(std::uint32_t baud);

private:
    bool StartServing(std::string* error);
    void Serve();
    bool WaitForStop(int ms) const;
    // A new connection replaces the current one; false when none came.
    bool AcceptConnection();
    void DropConnection();
    void CloseLine();
    void WriteAnswer(const std::vector<std::uint8_t>& bytes);
    void CloseDescriptors();
    // Both ends of a Linux pty share one termios: what the master set on its
    // side is read on ours. A request at another speed would reach a real
    // meter as noise, so it is not taken.
    bool AtOwnSpeed() const;
    // The line's speed as the master set it; 0 over TCP or when unknown.
    std::uint32_t LineBaud() const;
    // How long `bytes` bytes take on the line (nothing without --wire).
    std::chrono::microseconds WireTime(std::size_t bytes) const;

    std::string portPath_;
    int master_ = -1;
    int slave_ = -1;  // held so that masters may close and reopen the port
    int listen_ = -1; // the listening socket over TCP
    int line_ = -1;   // where requests come from: the pty master, or the connection
    bool tcp_ = false;
    bool vanished_ = false;
    int stop_ = -1; // eventfd
    std::uint32_t speed_ = 0; // 0: any
    bool wire_ = false;
    std::thread server_;
};
