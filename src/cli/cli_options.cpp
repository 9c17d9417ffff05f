#include "cli_options.h"

#include "scan_plan.h"
#include "echo_mode.h"
#include "value_text.h"

#include <map>
#include <utility>

const char* const kCliUsage =
    "vokctl [--port NAME] [--speed BAUD] [--timeout MS] [--address N] [--fast-framing]\n"
    "       [--echo off|on|auto] [--rs485[=BEFORE,AFTER|=off]] [--dtr keep|on|off]\n"
    "       [--rts keep|on|off] COMMAND [ARGS]\n"
    "vokctl --help | --version\n"
    "  ports              list the serial ports (not tcp:// gateways), one per line in\n"
    "                     natural order; a port that the user may not open is\n"
    "                     followed by a tab and \"нет доступа\", a USB adapter by a\n"
    "                     tab and its stable /dev/serial/by-id name, then by a tab,\n"
    "                     \"USB \" and the adapter's serial number where it has one\n"
    "  poll [--count N]   N polls (default 1), one second apart, each printed as the\n"
    "                     sixteen rows of the register list and the parameter value\n"
    "  stats [--count N] [--reconnect [--give-up-after S]]\n"
    "                     N polls as poll makes them, then the link's counters on\n"
    "                     stdout instead of the list\n"
    "  write REG VALUE    write a writable row, named by its register number\n"
    "  nvram              commit the meter's settings to NVRAM\n"
    "  dump FILE [--force]  save the meter's parameters to FILE\n"
    "  load FILE          validate FILE and, if it is valid, write it to the meter\n"
    "  check FILE         validate FILE only\n"
    "  log [--interval SECONDS] [--count N | --duration SECONDS] [--separator ,|;] [--force]\n"
    "      [--reconnect [--give-up-after S]] FILE\n"
    "                     poll as poll does and write one CSV record per good poll to\n"
    "                     FILE (- is stdout) until N polls, SECONDS or Ctrl-C; ';' writes\n"
    "                     ',' as the decimal separator; by default ';' where the locale's\n"
    "                     decimal separator is ',', else ','; an existing FILE only with\n"
    "                     --force. Times are local (2024-05-17 14:03:07.250), the UTC\n"
    "                     offset in the time column's caption; a FILE starts with a BOM\n"
    "  --reconnect        log and stats: a lost port does not end the run; it waits for\n"
    "                     the same port to come back (a USB adapter by its stable\n"
    "                     /dev/serial/by-id name, whatever ttyUSB it gets; checked every\n"
    "                     500 ms), opens it with the same settings and goes on; the log\n"
    "                     shows the time away as missing records. --give-up-after S\n"
    "                     ends the wait after S seconds with status 1\n"
    "  verify FILE        read back every register FILE assigns and print those that\n"
    "                     differ; exit 0 all match, 3 some differ, 2 invalid FILE, 1 link\n"
    "  diff A B           compare two parameter files, no meter needed; exit 0 same\n"
    "                     values, 3 otherwise, 2 a file that cannot be read or is invalid;\n"
    "                     an argument of digits only names a snapshot of the history\n"
    "                     (./123 is a file): then one line per changed register,\n"
    "                     section, register, caption, type, old -> new (tabs)\n"
    "  scan [--speeds LIST] [--addresses A-B] [--all]\n"
    "                     look for meters on the port: the speeds LIST (default\n"
    "                     115200,57600,38400,19200,9600,4800) and the addresses A-B\n"
    "                     (default 1-247), the link's speed and address first; stops at\n"
    "                     the first meter unless --all. One line per meter found:\n"
    "                     address, speed, serial number, firmware version (tabs)\n"
    "History (the file $XDG_DATA_HOME/vok-tarnel/history.sqlite, by default\n"
    "~/.local/share/vok-tarnel/history.sqlite, on Windows\n"
    "%LOCALAPPDATA%\\VOK Tarnel\\history.sqlite; a dump to a file also records a\n"
    "snapshot, and so do a commit the meter confirmed and a load without a failed line,\n"
    "as left):\n"
    "  history [SERIAL]   the meters met, one a line: serial number, firmware, last\n"
    "                     seen, snapshots; with SERIAL that meter's snapshots, oldest\n"
    "                     first: ID, time, kind, serial number, note (tabs)\n"
    "  snapshot [--note TEXT]\n"
    "                     read the meter's configuration as dump does and keep it in\n"
    "                     the history; prints the new ID\n"
    "  show ID            the snapshot as a parameter file on stdout\n"
    "  report ID ID -o FILE.html [--engineer NAME] [--place TEXT]\n"
    "                     the service report of the two snapshots as one HTML page;\n"
    "                     name and place default to the window's [Report] section\n"
    "  restore ID [--yes] show what loading the snapshot would change (meter now ->\n"
    "                     snapshot), ask, then load it as load does; --yes asks nothing\n"
    "Diagnostics, with any command that uses the link:\n"
    "  --trace            every frame and event of the link on stderr, one line each:\n"
    "                     ms since the link opened, TX/RX or the event, the frame in\n"
    "                     hex, what it is\n"
    "  --stats            the link's counters on stderr when the command has ended\n"
    "Link options default to the settings saved by vok-tarnel (vok-tarnel.ini beside\n"
    "the programs, or ~/.config/vok-tarnel/vok-tarnel.ini when their folder is not\n"
    "writable, on Windows %APPDATA%\\VOK Tarnel\\vok-tarnel.ini), then to COM1, 115200,\n"
    "200 and 1.\n"
    "--fast-framing takes an answer the moment it is whole by the length its header\n"
    "gives, instead of after 20 ms of line silence (anything else still ends by\n"
    "silence); off unless given, whatever the window uses.\n"
    "--echo says whether the line hands each request back before the answer (the\n"
    "local echo of many 2-wire RS-485 adapters): on takes it off the line, off never\n"
    "looks for it, auto (the default) learns it from the first exchange.\n"
    "--rs485 puts the port into RS-485 mode: the driver raises RTS to switch the\n"
    "adapter's transmitter on while it sends, BEFORE and AFTER ms (0-100, default 0)\n"
    "around each request (Linux; Windows has no such delays and ignores them);\n"
    "--rs485=off turns a saved RS-485 mode off. --dtr and --rts hold the line on or\n"
    "off from the open (some isolated converters draw their power from them); keep,\n"
    "the default, leaves it as the driver has it. RS-485 mode takes RTS, so --rts\n"
    "then does nothing. A port whose driver refuses any of them (a pseudo-terminal\n"
    "refuses them all) does not open. They default to the [Line] section of the\n"
    "settings.\n"
    "A request without a good answer is sent again, up to 102 attempts in all, 1 ms\n"
    "apart: a meter or gateway that stays silent costs 102 time-outs before the\n"
    "command fails (about 20.6 s at --timeout 200); --trace shows each attempt.\n"
    "--port tcp://HOST:PORT reaches the meter through a serial-to-Ethernet gateway in\n"
    "transparent mode (RTU over TCP); HOST is an IPv4 address, an IPv6 address in\n"
    "brackets or a host name. --speed is then checked as usual but ignored. The\n"
    "connection may take ten time-outs (at least 2 s) to be made.\n"
    "Exit status: 0 success, 1 link or meter failure (a port that cannot be opened or\n"
    "is lost too; no meter found by scan), 2 usage error, a speed the port refuses, or a\n"
    "file that cannot be read or written, 3 a file that fails validation or a load with\n"
    "failed writes.\n";

namespace {

struct CommandShape {
    std::size_t arguments;
    std::size_t optionalArguments = 0;
};

const std::map<std::string, CommandShape> kCommands = {
    {"ports", {0}}, {"poll", {0}}, {"stats", {0}}, {"write", {2}}, {"nvram", {0}},
    {"dump", {1}},  {"load", {1}}, {"check", {1}}, {"log", {1}},
    {"verify", {1}}, {"diff", {2}}, {"scan", {0}}, {"history", {0, 1}}, {"snapshot", {0}},
    {"show", {1}}, {"report", {2}}, {"restore", {1}},
};

// Commands that neither open the link nor take its diagnostics.
bool WithoutLink(const std::string& command)
{
    return command == "ports" || command == "check" || command == "diff" || command == "history" ||
           command == "show" || command == "report";
}

// "BEFORE,AFTER": the delays of --rs485, each 0 to 100 ms.
std::optional<std::pair<std::uint32_t, std::uint32_t>> Rs485Delays(const std::string& text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const auto before = ParseInt32(text.substr(0, comma));
    const auto after = ParseInt32(text.substr(comma + 1));
    const auto valid = [](const std::optional<std::int32_t>& ms) {
        return ms && *ms >= 0 && static_cast<std::uint32_t>(*ms) <= kMaxRs485DelayMs;
    };
    if (!valid(before) || !valid(after))
        return std::nullopt;
    return std::pair{static_cast<std::uint32_t>(*before), static_cast<std::uint32_t>(*after)};
}

// A positive, finite number of seconds ("0.5", "3600").
std::optional<double> Seconds(const std::string& text)
{
    const auto seconds = ParseFloat(text);
    if (!seconds || !(*seconds > 0))
        return std::nullopt;
    return *seconds;
}

} // namespace

CliParse ParseCommandLine(const std::vector<std::string>& arguments)
{
    CliParse result;
    CliOptions options;
    bool intervalGiven = false, separatorGiven = false;
    const auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const auto value = [&](std::optional<std::string>& target) {
            if (i + 1 >= arguments.size())
                return false;
            target = arguments[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            result.help = true;
            return result;
        }
        if (a == "--version") {
            result.version = true;
            return result;
        }
        if (a == "--port" || a == "--speed" || a == "--timeout" || a == "--address") {
            std::optional<std::string>& target = a == "--port"    ? options.port
                                                 : a == "--speed" ? options.speed
                                                 : a == "--timeout" ? options.timeout
                                                                    : options.address;
            if (!value(target))
                return fail("Не указано значение параметра " + a);
        } else if (a == "--count") {
            std::optional<std::string> text;
            if (!value(text))
                return fail("Не указано значение параметра --count");
            const auto n = ParseInt32(*text);
            if (!n || *n < 1)
                return fail("Неверное число опросов: " + *text);
            options.count = *n;
            options.countGiven = true;
        } else if (a == "--interval" || a == "--duration" || a == "--give-up-after") {
            std::optional<std::string> text;
            if (!value(text))
                return fail("Не указано значение параметра " + a);
            const auto seconds = Seconds(*text);
            if (!seconds)
                return fail("Неверное число секунд: " + *text);
            if (a == "--interval") {
                options.intervalSeconds = *seconds;
                intervalGiven = true;
            } else if (a == "--give-up-after") {
                options.giveUpSeconds = *seconds;
            } else {
                options.durationSeconds = *seconds;
            }
        } else if (a == "--separator") {
            std::optional<std::string> text;
            if (!value(text))
                return fail("Не указано значение параметра --separator");
            if (*text != "," && *text != ";")
                return fail("Разделитель должен быть , или ;: " + *text);
            options.separator = *text;
            separatorGiven = true;
        } else if (a == "--force") {
            options.force = true;
        } else if (a == "--reconnect") {
            options.reconnect = true;
        } else if (a == "--trace" || a == "--stats" || a == "--all") {
            (a == "--trace" ? options.trace : a == "--stats" ? options.stats : options.all) = true;
        } else if (a == "--speeds" || a == "--addresses") {
            if (!value(a == "--speeds" ? options.speeds : options.addresses))
                return fail("Не указано значение параметра " + a);
        } else if (a == "--fast-framing") {
            options.fastFraming = true;
        } else if (a == "--echo") {
            std::optional<std::string> word;
            if (!value(word))
                return fail("Не указано значение параметра --echo");
            const std::optional<EchoMode> mode = ParseEchoMode(*word);
            if (!mode)
                return fail("Эхо должно быть off, on или auto: " + *word);
            options.echo = *mode;
        } else if (a == "--rs485" || a.rfind("--rs485=", 0) == 0) {
            const std::string given = a == "--rs485" ? "" : a.substr(8);
            if (given == "off") {
                options.line.rs485 = false;
            } else {
                options.line.rs485 = true;
                if (!given.empty()) {
                    const auto delays = Rs485Delays(given);
                    if (!delays)
                        return fail("Задержки RS-485 должны быть ДО,ПОСЛЕ в мс от 0 до 100: " + given);
                    options.line.delayBeforeMs = delays->first;
                    options.line.delayAfterMs = delays->second;
                }
            }
        } else if (a == "--dtr" || a == "--rts") {
            std::optional<std::string> word;
            if (!value(word))
                return fail("Не указано значение параметра " + a);
            const std::optional<LineHold> hold = ParseLineHold(*word);
            if (!hold)
                return fail("Параметр " + a + " должен быть keep, on или off: " + *word);
            (a == "--dtr" ? options.line.dtr : options.line.rts) = *hold;
        } else if (a == "--note" || a == "-o" || a == "--engineer" || a == "--place") {
            std::optional<std::string>& target = a == "--note"       ? options.note
                                                 : a == "-o"         ? options.output
                                                 : a == "--engineer" ? options.engineer
                                                                     : options.place;
            if (!value(target))
                return fail("Не указано значение параметра " + a);
        } else if (a == "--yes") {
            options.yes = true;
        } else if (a.size() > 1 && a[0] == '-' && (options.command.empty() || options.command == "log")) {
            return fail("Неизвестный параметр: " + a);
        } else if (options.command.empty()) {
            options.command = a;
        } else {
            options.arguments.push_back(a);
        }
    }
    if (options.command.empty())
        return fail("Не указана команда");
    const auto shape = kCommands.find(options.command);
    if (shape == kCommands.end())
        return fail("Неизвестная команда: " + options.command);
    if (options.arguments.size() < shape->second.arguments ||
        options.arguments.size() > shape->second.arguments + shape->second.optionalArguments)
        return fail("Неверное число аргументов команды " + options.command);
    const bool log = options.command == "log";
    if (options.countGiven && options.command != "poll" && options.command != "stats" && !log)
        return fail("Параметр --count относится только к командам poll, stats и log");
    if (options.force && options.command != "dump" && !log)
        return fail("Параметр --force относится только к командам dump и log");
    if ((intervalGiven || separatorGiven || options.durationSeconds) && !log)
        return fail("Параметры --interval, --duration и --separator относятся только к команде log");
    if (options.reconnect && options.command != "stats" && !log)
        return fail("Параметр --reconnect относится только к командам log и stats");
    if (options.giveUpSeconds && !options.reconnect)
        return fail("Параметр --give-up-after относится только к --reconnect");
    if (options.countGiven && options.durationSeconds)
        return fail("Параметры --count и --duration не совместимы");
    if ((options.all || options.speeds || options.addresses) && options.command != "scan")
        return fail("Параметры --speeds, --addresses и --all относятся только к команде scan");
    if (options.speeds && !ParseSpeedList(*options.speeds))
        return fail("Неверный список скоростей: " + *options.speeds);
    if (options.addresses && !ParseAddressRange(*options.addresses))
        return fail("Неверный диапазон адресов (от 1 до 247): " + *options.addresses);
    if (options.note && options.command != "snapshot")
        return fail("Параметр --note относится только к команде snapshot");
    if (options.yes && options.command != "restore")
        return fail("Параметр --yes относится только к команде restore");
    if ((options.output || options.engineer || options.place) && options.command != "report")
        return fail("Параметры -o, --engineer и --place относятся только к команде report");
    if (options.command == "report" && !options.output)
        return fail("Команде report нужен файл отчёта: -o FILE.html");
    if ((options.trace || options.stats) && WithoutLink(options.command))
        return fail("Параметры --trace и --stats относятся только к командам, работающим со связью");
    result.options = std::move(options);
    return result;
}

LineOptions LineFlags::Over(LineOptions saved) const
{
    saved.rs485 = rs485.value_or(saved.rs485);
    saved.delayBeforeMs = delayBeforeMs.value_or(saved.delayBeforeMs);
    saved.delayAfterMs = delayAfterMs.value_or(saved.delayAfterMs);
    saved.dtr = dtr.value_or(saved.dtr);
    saved.rts = rts.value_or(saved.rts);
    return saved;
}
