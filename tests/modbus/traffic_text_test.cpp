// The traffic tap's entries in words, and the statistics counted from them.

#include "crc16.h"
#include "link_statistics.h"
#include "traffic_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A frame entry: address and PDU with the CRC put behind them (or broken).
TrafficEntry FrameEntry(TrafficKind kind, std::vector<std::uint8_t> bytes, bool goodCrc = true)
{
    bytes.resize(bytes.size() + 2);
    PutCrc(bytes.data(), bytes.size() - 2);
    if (!goodCrc)
        bytes.back() ^= 0xFF;
    TrafficEntry e;
    e.kind = kind;
    e.SetBytes(bytes.data(), bytes.size());
    return e;
}

TrafficEntry Event(TrafficKind kind, std::uint8_t code = 0, std::int64_t detail = 0)
{
    TrafficEntry e;
    e.kind = kind;
    e.code = code;
    e.detail = detail;
    e.length = 0;
    return e;
}

} // namespace

TEST(TrafficText, FramesAndEventsInBothLanguages)
{
    using K = TrafficKind;
    struct Case {
        TrafficEntry entry;
        const char* direction;
        const char* russian;
        const char* english;
        TrafficSeverity severity;
    };
    TrafficEntry repeat = FrameEntry(K::Request, {1, 3, 0x07, 0xD0, 0, 30});
    repeat.repeat = true;
    TrafficEntry third = repeat;
    third.detail = 3;
    std::vector<std::uint8_t> answer30 = {1, 3, 60};
    answer30.resize(63);
    const Case cases[] = {
        {FrameEntry(K::Request, {1, 3, 0x07, 0xD0, 0, 30}), "→", "чтение 2000×30", "read 2000x30",
         TrafficSeverity::Normal},
        {repeat, "→", "чтение 2000×30, повтор", "read 2000x30, repeat", TrafficSeverity::Normal},
        {third, "→", "чтение 2000×30, повтор 3 из 102", "read 2000x30, repeat, attempt 3 of 102",
         TrafficSeverity::Normal},
        {FrameEntry(K::Request, {1, 6, 0xC3, 0x44, 0x04, 0xD2}), "→", "запись 49988 = 1234", "write 49988 = 1234",
         TrafficSeverity::Normal},
        {FrameEntry(K::Request, {1, 16, 0xEA, 0x9F, 0, 5, 10, 0, 101, 0, 0, 0, 0, 0, 0, 0, 0}), "→",
         "запись 60063×5", "write 60063x5", TrafficSeverity::Normal},
        {FrameEntry(K::Frame, answer30), "←", "ответ: 30 регистров", "answer: 30 registers", TrafficSeverity::Normal},
        {FrameEntry(K::Frame, {1, 3, 2, 0, 7}), "←", "ответ: 1 регистр", "answer: 1 register",
         TrafficSeverity::Normal},
        {FrameEntry(K::Frame, {1, 3, 4, 0, 7, 0, 8}), "←", "ответ: 2 регистра", "answer: 2 registers",
         TrafficSeverity::Normal},
        {FrameEntry(K::Frame, {1, 0x83, 2}), "←", "исключение 2: неверный адрес", "exception 2: illegal data address",
         TrafficSeverity::Error},
        {FrameEntry(K::Frame, {1, 3, 2, 0, 7}, false), "←", "ошибка CRC", "bad CRC", TrafficSeverity::Notice},
        {FrameEntry(K::Frame, {1, 6, 0xC3, 0x44, 0x04, 0xD2}), "←", "запись принята: 49988 = 1234",
         "write echo: 49988 = 1234", TrafficSeverity::Normal},
        {FrameEntry(K::Frame, {0x55}), "←", "обрывок: 3 байта", "fragment: 3 bytes", TrafficSeverity::Notice},
        {Event(K::TimeOut), "таймаут", "таймаут", "time-out", TrafficSeverity::Error},
        {Event(K::CrcError), "CRC", "ошибка CRC", "CRC error", TrafficSeverity::Error},
        {Event(K::OtherAddress, 5), "чужой", "кадр для адреса 5 пропущен", "frame for address 5 passed over",
         TrafficSeverity::Notice},
        {Event(K::Stale), "отброшен", "устаревший кадр отброшен", "stale frame dropped", TrafficSeverity::Notice},
        {Event(K::Misfit), "не тот", "ответ не к этому запросу", "answer does not fit the request",
         TrafficSeverity::Error},
        {Event(K::PortLost), "потеря", "порт потерян", "port lost", TrafficSeverity::Error},
        {Event(K::Opened, 0, 19200), "открыт", "порт открыт, 19200 бод", "port opened, 19200 baud",
         TrafficSeverity::Normal},
        {Event(K::Answer, 0, 1500), "принят", "ответ принят, время ответа 1.500 мс",
         "answer taken, answer time 1.500 ms", TrafficSeverity::Normal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.english);
        EXPECT_EQ(TrafficDirection(c.entry, TrafficWords::Russian), c.direction);
        EXPECT_EQ(TrafficSummary(c.entry, TrafficWords::Russian), c.russian);
        EXPECT_EQ(TrafficSummary(c.entry, TrafficWords::English), c.english);
        EXPECT_EQ(Severity(c.entry), c.severity);
    }
}

TEST(TrafficText, TraceLinesCountFromTheOpeningOfTheLink)
{
    TrafficEntry opened = Event(TrafficKind::Opened, 0, 115200);
    opened.timeUs = 5'000'000;
    TrafficEntry request = FrameEntry(TrafficKind::Request, {1, 3, 0x07, 0xD0, 0, 30});
    request.timeUs = 5'012'345;
    TrafficEntry timeOut = Event(TrafficKind::TimeOut);
    timeOut.timeUs = 5'212'400;
    TrafficClock clock;
    EXPECT_EQ(TraceLine(clock.Ms(opened), opened), "0.000 OPEN port opened, 115200 baud");
    EXPECT_EQ(TraceLine(clock.Ms(request), request), "12.345 TX 01 03 07 D0 00 1E C5 4F read 2000x30");
    EXPECT_EQ(TraceLine(clock.Ms(timeOut), timeOut), "212.400 TIMEOUT time-out");
    // A new opening starts the count again.
    opened.timeUs = 9'000'000;
    request.timeUs = 9'000'500;
    clock.Ms(opened);
    EXPECT_DOUBLE_EQ(clock.Ms(request), 0.5);
}

TEST(LinkStatistics, CountsEachKindAndTheAnswerTimesOfTheLastThousand)
{
    LinkStatistics stats;
    EXPECT_FALSE(stats.Counters().answerTime);
    TrafficEntry repeat = Event(TrafficKind::Request);
    repeat.repeat = true;
    const TrafficEntry entries[] = {
        Event(TrafficKind::Request), repeat, repeat, Event(TrafficKind::Frame), Event(TrafficKind::TimeOut),
        Event(TrafficKind::CrcError), Event(TrafficKind::Stale), Event(TrafficKind::Stale),
        Event(TrafficKind::Misfit), Event(TrafficKind::OtherAddress, 7), Event(TrafficKind::PortLost),
        Event(TrafficKind::Answer, 2, 100), Event(TrafficKind::Answer, 6, 300), Event(TrafficKind::Answer, 6, 200),
    };
    for (const TrafficEntry& e : entries)
        stats.Add(e);
    LinkCounters c = stats.Counters();
    EXPECT_EQ(c.requests, 3u);
    EXPECT_EQ(c.retries, 2u);
    EXPECT_EQ(c.answers, 3u);
    EXPECT_EQ(c.timeOuts, 1u);
    EXPECT_EQ(c.crcErrors, 1u);
    EXPECT_EQ(c.stale, 2u);
    EXPECT_EQ(c.misfits, 1u);
    EXPECT_EQ(c.otherAddress, 1u);
    EXPECT_EQ(c.portLost, 1u);
    EXPECT_EQ(c.exceptions, (std::vector<std::pair<int, std::uint64_t>>{{2, 1}, {6, 2}}));
    ASSERT_TRUE(c.answerTime);
    EXPECT_EQ(c.answerTime->minUs, 100);
    EXPECT_EQ(c.answerTime->medianUs, 200);
    EXPECT_EQ(c.answerTime->maxUs, 300);

    // 1500 answers of 1..1500 us: only the last thousand (501..1500) count.
    stats.Reset();
    for (int us = 1; us <= 1500; ++us)
        stats.Add(Event(TrafficKind::Answer, 0, us));
    c = stats.Counters();
    EXPECT_EQ(c.answers, 1500u);
    EXPECT_TRUE(c.exceptions.empty());
    ASSERT_TRUE(c.answerTime);
    EXPECT_EQ(c.answerTime->samples, 1000u);
    EXPECT_EQ(c.answerTime->minUs, 501);
    EXPECT_EQ(c.answerTime->medianUs, 1001);
    EXPECT_EQ(c.answerTime->maxUs, 1500);
}

TEST(TrafficText, AdvicePaysOnlyWhereASlowAdapterTimerCostsSilenceFraming)
{
    const std::string command = "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
    const struct {
        int ms;
        const char* command;
        bool fastFraming;
        const char* russian; // "" for no advice
        const char* english;
    } cases[] = {
        {16, command.c_str(), false,
         "Адаптер задерживает принятые байты до 16 мс: включите быстрый приём или уменьшите таймер: ",
         "the adapter holds received bytes up to 16 ms: use --fast-framing or lower its latency timer: "},
        {11, command.c_str(), false, "Адаптер задерживает принятые байты до 11 мс", "up to 11 ms"},
        {10, command.c_str(), false, "", ""},
        {1, command.c_str(), false, "", ""},
        {16, command.c_str(), true, "", ""},
        {16, "", false, "(свойства порта в диспетчере устройств, «Дополнительно»)",
         "(the port's properties in the Device Manager, Advanced)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ms) + (c.fastFraming ? " fast" : " silence"));
        const std::string russian = LatencyTimerHint(c.ms, c.command, c.fastFraming, TrafficWords::Russian);
        const std::string english = LatencyTimerHint(c.ms, c.command, c.fastFraming, TrafficWords::English);
        if (!*c.russian) {
            EXPECT_EQ(russian, "");
            EXPECT_EQ(english, "");
            continue;
        }
        EXPECT_NE(russian.find(c.russian), std::string::npos) << russian;
        EXPECT_NE(english.find(c.english), std::string::npos) << english;
        EXPECT_EQ(russian.find(command) != std::string::npos, *c.command != '\0') << russian;
    }
    EXPECT_EQ(LatencyTimerRow(16, TrafficWords::Russian).name, "Таймер задержки адаптера, мс");
    EXPECT_EQ(LatencyTimerRow(16, TrafficWords::English).value, "16");
}
