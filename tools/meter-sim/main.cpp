// vok-meter-sim: a simulated water-cut meter on a pseudo-terminal, or over
// TCP as a serial gateway would pass it on.

#include "meter_sim.h"
#include "port_link.h"
#include "program_version.h"
#include "tcp_address.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

const char* const kUsage = R"(Usage: vok-meter-sim [options]

Simulates a water-cut meter as a Modbus RTU slave (functions 3, 6, 16) on a
pseudo-terminal, or over TCP. Prints the port path (or tcp://HOST:PORT) on
the first line of stdout and serves until SIGINT or SIGTERM.

Options:
  --address N          slave address, 1..247 (default 1)
  --speed BAUD         answer only while the port is set to BAUD (1200 to
                       921600); by default at any speed
  --wire               bytes take their time on the line: a request is taken
                       when its last byte would have come, an answer goes out
                       a byte every 10 bits of the speed the port is set to
                       (a pseudo-terminal alone moves bytes at once)
  --link PATH          make PATH a symbolic link to the port (an existing
                       symbolic link is replaced); removed at exit
  --tcp [HOST:]PORT    serve RTU frames over TCP instead of a pseudo-terminal,
                       as a serial gateway in transparent mode does; HOST is
                       127.0.0.1 unless given ([::1]:PORT for IPv6). One
                       connection at a time: a new one replaces the one before
  --image FILE         load the register image from FILE at start when it
                       exists, save it there at exit. Format: text, one
                       "address value" pair of decimal numbers per line
                       (protocol address 0..65535, value 0..65535); registers
                       not listed are 0; '#' starts a comment line
  --fast-framing       frame requests by their length: a request is answered the
                       moment it is whole, without waiting for line silence (a
                       request of unknown function, or one whose CRC fails at
                       its length, ends by 5 ms of silence). The simulator
                       always frames so, on either line; the option is
                       accepted so that both ends can be named the same way
  --freeze             keep the live values (water cut, temperatures) still
  --nvram-reads N|never    reads of register 49989 that still show 1234
                           after it was written (default 1; 0 clears at once)
  --factory-reads N|never  the same for the factory command block 60064-60068

Fault injection:
  --delay MS           answer MS milliseconds after each request; requests
                       that come meanwhile are answered in order
  --late N:MS          answer the N-th request (1 is the first) after MS
                       milliseconds instead; later answers queue behind it
  --wrong-shape KIND[:N]   answer reads (the next N only, when given) with
                       the wrong shape: "function" (function 4 instead of 3)
                       or "echo" (the echo of a multiple write)
  --vanish-after N     close the line when the N-th request has come, as an
                       adapter that is pulled out (over TCP: the connection is
                       closed and nothing listens any more)
  --silent             never answer
  --busy N             answer the next N requests with exception 6
  --exception A:B:C    answer requests touching registers A..B with exception C
  --bad-crc N          send the next N answers with a wrong CRC
  --short K            read answers carry at most K registers
  --answer-address N   answer as slave address N
  --help               show this text
  --version            show the version
)";

std::optional<long> Number(const std::string& text, long lo, long hi)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < lo || v > hi)
        return std::nullopt;
    return v;
}

bool ParseReads(const std::string& text, int& out)
{
    if (text == "never") {
        out = MeterSimOptions::kNever;
        return true;
    }
    const auto v = Number(text, 0, 1000000);
    if (v)
        out = static_cast<int>(*v);
    return v.has_value();
}

struct Config {
    MeterSimOptions options;
    MeterFaults faults;
    std::string link;
    std::string image;
    std::optional<TcpAddress> tcp;
};

// "PORT" or "HOST:PORT"; the host defaults to the loopback address.
std::optional<TcpAddress> ParseListenAddress(const std::string& text)
{
    if (text.find_first_of(":[") == std::string::npos)
        return ParseHostPort("127.0.0.1:" + text);
    return ParseHostPort(text);
}

// Returns 0 to go on, otherwise the exit status.
int ParseArgs(int argc, char** argv, Config& cfg)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return -1;
        }
        if (arg == "--version") {
            std::cout << VersionLine("vok-meter-sim");
            return -1;
        }
        if (arg == "--freeze") {
            cfg.options.frozen = true;
            continue;
        }
        if (arg == "--wire") {
            cfg.options.wire = true;
            continue;
        }
        if (arg == "--silent") {
            cfg.faults.silent = true;
            continue;
        }
        if (arg == "--fast-framing")
            continue; // how the simulator always frames requests
        if (i + 1 >= argc) {
            std::cerr << "vok-meter-sim: " << arg << ": missing value or unknown option\n" << kUsage;
            return 2;
        }
        const std::string value = argv[++i];
        bool ok = true;
        auto number = [&](long lo, long hi, auto& out) {
            const auto v = Number(value, lo, hi);
            ok = v.has_value();
            if (ok)
                out = static_cast<std::remove_reference_t<decltype(out)>>(*v);
        };
        if (arg == "--address")
            number(1, 247, cfg.options.address);
        else if (arg == "--speed") {
            number(1, 4000000, cfg.options.speed);
            ok = ok && MeterSim::KnownSpeed(cfg.options.speed);
        }
        else if (arg == "--link")
            cfg.link = value;
        else if (arg == "--image")
            cfg.image = value;
        else if (arg == "--tcp") {
            cfg.tcp = ParseListenAddress(value);
            ok = cfg.tcp.has_value();
        }
        else if (arg == "--nvram-reads")
            ok = ParseReads(value, cfg.options.nvramClearReads);
        else if (arg == "--factory-reads")
            ok = ParseReads(value, cfg.options.factoryClearReads);
        else if (arg == "--delay")
            number(0, 600000, cfg.faults.answerDelayMs);
        else if (arg == "--busy")
            number(0, 1000000, cfg.faults.busyAnswers);
        else if (arg == "--bad-crc")
            number(0, 1000000, cfg.faults.badCrcAnswers);
        else if (arg == "--short")
            number(0, 125, cfg.faults.shortReads);
        else if (arg == "--answer-address")
            number(0, 255, cfg.faults.answerAddress);
        else if (arg == "--exception") {
            unsigned a = 0, b = 0, c = 0;
            char tail = 0;
            ok = std::sscanf(value.c_str(), "%u:%u:%u%c", &a, &b, &c, &tail) == 3 && a <= b && b <= 65535 &&
                 c >= 1 && c <= 255;
            cfg.faults.exceptionFirst = static_cast<std::uint16_t>(a);
            cfg.faults.exceptionLast = static_cast<std::uint16_t>(b);
            cfg.faults.exceptionCode = static_cast<std::uint8_t>(c);
        } else if (arg == "--late") {
            int n = 0, ms = 0;
            char tail = 0;
            ok = std::sscanf(value.c_str(), "%d:%d%c", &n, &ms, &tail) == 2 && n >= 1 && ms >= 0 && ms <= 600000;
            cfg.faults.lateRequest = n;
            cfg.faults.lateAnswerMs = ms;
        } else if (arg == "--wrong-shape") {
            const auto colon = value.find(':');
            const std::string kind = value.substr(0, colon);
            cfg.faults.wrongShape = kind == "function" ? MeterFaults::Shape::OtherFunction
                                    : kind == "echo"   ? MeterFaults::Shape::WriteEcho
                                                       : MeterFaults::Shape::Right;
            ok = cfg.faults.wrongShape != MeterFaults::Shape::Right;
            cfg.faults.wrongShapeAnswers = MeterFaults::kAlways;
            if (ok && colon != std::string::npos) {
                const auto n = Number(value.substr(colon + 1), 1, 1000000);
                ok = n.has_value();
                if (ok)
                    cfg.faults.wrongShapeAnswers = static_cast<int>(*n);
            }
        } else if (arg == "--vanish-after") {
            number(1, 1000000, cfg.faults.vanishAfter);
        } else {
            std::cerr << "vok-meter-sim: unknown option " << arg << "\n" << kUsage;
            return 2;
        }
        if (!ok) {
            std::cerr << "vok-meter-sim: bad value for " << arg << ": " << value << "\n";
            return 2;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Config cfg;
    if (const int status = ParseArgs(argc, argv, cfg))
        return status < 0 ? 0 : status;
    if (cfg.tcp && !cfg.link.empty()) {
        std::cerr << "vok-meter-sim: --link names a pseudo-terminal; it does not go with --tcp\n";
        return 2;
    }

    // The signals are taken by sigwait below; every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    MeterSim sim(cfg.options);
    if (!cfg.image.empty()) {
        struct stat st{};
        if (::stat(cfg.image.c_str(), &st) == 0) {
            RegisterImage image{};
            std::string error;
            if (!LoadImageFile(cfg.image, image, error)) {
                std::cerr << "vok-meter-sim: " << error << "\n";
                return 1;
            }
            sim.SetImage(image);
        }
    }
    sim.SetFaults(cfg.faults);

    std::string error;
    if (!(cfg.tcp ? sim.StartTcp(cfg.tcp->host, cfg.tcp->port, &error) : sim.Start(&error))) {
        std::cerr << "vok-meter-sim: " << error << "\n";
        return 1;
    }
    PortLink link;
    if (!cfg.link.empty() && !link.Make(cfg.link, sim.PortPath(), error)) {
        std::cerr << "vok-meter-sim: " << error << "\n";
        return 1;
    }
    std::cout << sim.PortPath() << std::endl;

    int signal = 0;
    sigwait(&signals, &signal);

    sim.Stop();
    link.Remove();
    if (!cfg.image.empty() && !SaveImageFile(cfg.image, sim.Image())) {
        std::cerr << "vok-meter-sim: cannot save " << cfg.image << "\n";
        return 1;
    }
    return 0;
}
