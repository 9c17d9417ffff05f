#include "traffic_text.h"

#include "crc16.h"

#include <cstdio>

namespace {

using W = TrafficWords;

std::string Pick(W words, const char* russian, const char* english)
{
    return words == W::Russian ? russian : english;
}

unsigned Word16(const std::uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

std::string Num(unsigned long long n) { return std::to_string(n); }

std::string Block(W words, unsigned start, unsigned count)
{
    return Num(start) + (words == W::Russian ? "×" : "x") + Num(count);
}

// A count with its noun: "1 регистр", "2 регистра", "5 регистров".
std::string Counted(W words, std::size_t n, const char* one, const char* few, const char* many, const char* english)
{
    if (words == W::English)
        return Num(n) + " " + english + (n == 1 ? "" : "s");
    const std::size_t tens = n % 100, ones = n % 10;
    const char* noun = (tens >= 11 && tens <= 14) ? many : ones == 1 ? one : (ones >= 2 && ones <= 4) ? few : many;
    return Num(n) + " " + noun;
}

std::string Registers(W words, std::size_t n) { return Counted(words, n, "регистр", "регистра", "регистров", "register"); }

std::string Bytes(W words, std::size_t n) { return Counted(words, n, "байт", "байта", "байт", "byte"); }

std::string ExceptionName(W words, unsigned code)
{
    switch (code) {
    case 1:
        return Pick(words, "неверная функция", "illegal function");
    case 2:
        return Pick(words, "неверный адрес", "illegal data address");
    case 3:
        return Pick(words, "неверные данные", "illegal data value");
    case 4:
        return Pick(words, "сбой устройства", "device failure");
    case 5:
        return Pick(words, "принято, выполняется", "acknowledge");
    case 6:
        return Pick(words, "устройство занято", "device busy");
    case 8:
        return Pick(words, "ошибка памяти", "memory parity error");
    case 10:
        return Pick(words, "шлюз: нет пути", "gateway path unavailable");
    case 11:
        return Pick(words, "шлюз: нет ответа", "gateway target failed");
    default:
        return Pick(words, "код неизвестен", "unknown code");
    }
}

std::string OtherFunction(W words, unsigned function, std::size_t bytes)
{
    return Pick(words, "функция ", "function ") + Num(function) + ", " + Bytes(words, bytes);
}

std::string RequestSummary(const TrafficEntry& e, W words)
{
    const std::uint8_t* f = e.bytes;
    if (e.length < 4)
        return OtherFunction(words, e.length > 1 ? f[1] : 0, e.length);
    const unsigned function = f[1];
    if (e.length == 8 && function >= 1 && function <= 4) {
        std::string s = Pick(words, "чтение ", "read ") + Block(words, Word16(f + 2), Word16(f + 4));
        if (function != 3)
            s += Pick(words, " (функция ", " (function ") + Num(function) + ")";
        return s;
    }
    if (e.length == 8 && function == 6)
        return Pick(words, "запись ", "write ") + Num(Word16(f + 2)) + " = " + Num(Word16(f + 4));
    if (e.length >= 9 && function == 16)
        return Pick(words, "запись ", "write ") + Block(words, Word16(f + 2), Word16(f + 4));
    return OtherFunction(words, function, e.length);
}

std::string FrameSummary(const TrafficEntry& e, W words)
{
    const std::uint8_t* f = e.bytes;
    if (e.length < 5)
        return Pick(words, "обрывок: ", "fragment: ") + Bytes(words, e.length);
    if (!CrcMatches(f, e.length))
        return Pick(words, "ошибка CRC", "bad CRC");
    const unsigned function = f[1];
    if (function & 0x80)
        return Pick(words, "исключение ", "exception ") + Num(f[2]) + ": " + ExceptionName(words, f[2]);
    if (function >= 1 && function <= 4 && f[2] == e.length - 5u) {
        if (function == 3 || function == 4)
            return Pick(words, "ответ: ", "answer: ") + Registers(words, f[2] / 2u) +
                   (f[2] % 2 ? Pick(words, " (нечётное число байт)", " (odd byte count)") : "") +
                   (function == 4 ? Pick(words, ", функция 4", ", function 4") : "");
        return Pick(words, "ответ: ", "answer: ") + Bytes(words, f[2]);
    }
    if (e.length == 8 && function == 6)
        return Pick(words, "запись принята: ", "write echo: ") + Num(Word16(f + 2)) + " = " + Num(Word16(f + 4));
    if (e.length == 8 && function == 16)
        return Pick(words, "запись принята: ", "write echo: ") + Block(words, Word16(f + 2), Word16(f + 4));
    return OtherFunction(words, function, e.length);
}

} // namespace

std::string FrameHex(const TrafficEntry& entry)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(entry.length * 3u);
    for (std::size_t i = 0; i < entry.length; ++i) {
        if (i > 0)
            out += ' ';
        out += kDigits[entry.bytes[i] >> 4];
        out += kDigits[entry.bytes[i] & 15];
    }
    return out;
}

std::string TrafficDirection(const TrafficEntry& entry, TrafficWords words)
{
    switch (entry.kind) {
    case TrafficKind::Request:
        return Pick(words, "→", "TX");
    case TrafficKind::Frame:
        return Pick(words, "←", "RX");
    case TrafficKind::Answer:
        return Pick(words, "принят", "TAKEN");
    case TrafficKind::TimeOut:
        return Pick(words, "таймаут", "TIMEOUT");
    case TrafficKind::CrcError:
        return Pick(words, "CRC", "CRC");
    case TrafficKind::OtherAddress:
        return Pick(words, "чужой", "OTHER");
    case TrafficKind::Stale:
        return Pick(words, "отброшен", "STALE");
    case TrafficKind::Misfit:
        return Pick(words, "не тот", "MISFIT");
    case TrafficKind::PortLost:
        return Pick(words, "потеря", "LOST");
    case TrafficKind::Opened:
        return Pick(words, "открыт", "OPEN");
    case TrafficKind::Echo:
        return Pick(words, "эхо", "ECHO");
    }
    return {};
}

std::string TrafficSummary(const TrafficEntry& entry, TrafficWords words)
{
    switch (entry.kind) {
    case TrafficKind::Request:
    {
        std::string text = RequestSummary(entry, words);
        if (entry.repeat)
            text += Pick(words, ", повтор", ", repeat");
        if (entry.repeat && entry.detail > 1)
            text += Pick(words, " ", ", attempt ") + Num(static_cast<unsigned long long>(entry.detail)) +
                    Pick(words, " из ", " of ") + Num(static_cast<unsigned long long>(kMostAttempts));
        return text;
    }
    case TrafficKind::Frame:
        return FrameSummary(entry, words);
    case TrafficKind::Answer: {
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.3f", static_cast<double>(entry.detail) / 1000.0);
        return Pick(words, "ответ принят, время ответа ", "answer taken, answer time ") + ms +
               Pick(words, " мс", " ms");
    }
    case TrafficKind::TimeOut:
        return Pick(words, "таймаут", "time-out");
    case TrafficKind::CrcError:
        return Pick(words, "ошибка CRC", "CRC error");
    case TrafficKind::OtherAddress:
        return Pick(words, "кадр для адреса ", "frame for address ") + Num(entry.code) +
               Pick(words, " пропущен", " passed over");
    case TrafficKind::Stale:
        return Pick(words, "устаревший кадр отброшен", "stale frame dropped");
    case TrafficKind::Misfit:
        return Pick(words, "ответ не к этому запросу", "answer does not fit the request");
    case TrafficKind::PortLost:
        return Pick(words, "порт потерян", "port lost");
    case TrafficKind::Opened:
        return Pick(words, "порт открыт, ", "port opened, ") + Num(static_cast<unsigned long long>(entry.detail)) +
               Pick(words, " бод", " baud");
    case TrafficKind::Echo:
        return Pick(words, "эхо запроса снято с линии", "echo of the request taken off");
    }
    return {};
}

TrafficSeverity Severity(const TrafficEntry& entry)
{
    switch (entry.kind) {
    case TrafficKind::TimeOut:
    case TrafficKind::CrcError:
    case TrafficKind::Misfit:
    case TrafficKind::PortLost:
        return TrafficSeverity::Error;
    case TrafficKind::Answer:
        return entry.code != 0 ? TrafficSeverity::Error : TrafficSeverity::Normal;
    case TrafficKind::OtherAddress:
    case TrafficKind::Stale:
    case TrafficKind::Echo:
        return TrafficSeverity::Notice;
    case TrafficKind::Frame:
        if (entry.length < 5 || !CrcMatches(entry.bytes, entry.length))
            return TrafficSeverity::Notice;
        return (entry.bytes[1] & 0x80) ? TrafficSeverity::Error : TrafficSeverity::Normal;
    case TrafficKind::Request:
    case TrafficKind::Opened:
        return TrafficSeverity::Normal;
    }
    return TrafficSeverity::Normal;
}

double TrafficClock::Ms(const TrafficEntry& entry)
{
    if (!started_ || entry.kind == TrafficKind::Opened) {
        started_ = true;
        originUs_ = entry.timeUs;
    }
    return static_cast<double>(entry.timeUs - originUs_) / 1000.0;
}

std::string TraceLine(double ms, const TrafficEntry& entry)
{
    char time[32];
    std::snprintf(time, sizeof time, "%.3f ", ms);
    std::string line = time + TrafficDirection(entry, TrafficWords::English);
    if (entry.length > 0)
        line += ' ' + FrameHex(entry);
    return line + ' ' + TrafficSummary(entry, TrafficWords::English);
}

std::string DroppedText(std::uint64_t count, TrafficWords words)
{
    return Pick(words, "пропущено записей: ", "entries dropped: ") + Num(count);
}

std::vector<StatisticsRow> StatisticsRows(const LinkCounters& c, TrafficWords words)
{
    std::string exceptions = Num(c.ExceptionAnswers());
    if (!c.exceptions.empty()) {
        exceptions += " (";
        for (std::size_t i = 0; i < c.exceptions.size(); ++i) {
            exceptions += (i ? ", " : "") + Pick(words, "код ", "code ") + Num(c.exceptions[i].first) + ": " +
                          Num(c.exceptions[i].second);
        }
        exceptions += ")";
    }
    std::string times = "-";
    if (c.answerTime) {
        char text[96];
        const auto ms = [](std::int64_t us) { return static_cast<double>(us) / 1000.0; };
        std::snprintf(text, sizeof text, "%.3f / %.3f / %.3f (%zu)", ms(c.answerTime->minUs),
                      ms(c.answerTime->medianUs), ms(c.answerTime->maxUs), c.answerTime->samples);
        times = text;
    }
    return {
        {Pick(words, "Запросы", "requests"), Num(c.requests)},
        {Pick(words, "Ответы", "answers"), Num(c.answers)},
        {Pick(words, "Таймауты", "time-outs"), Num(c.timeOuts)},
        {Pick(words, "Ошибки CRC", "CRC errors"), Num(c.crcErrors)},
        {Pick(words, "Исключения", "exception answers"), exceptions},
        {Pick(words, "Повторы", "retries"), Num(c.retries)},
        {Pick(words, "Устаревшие кадры", "stale frames dropped"), Num(c.stale)},
        {Pick(words, "Ответы не к запросу", "misfit answers"), Num(c.misfits)},
        {Pick(words, "Кадры другим адресам", "frames for other addresses"), Num(c.otherAddress)},
        {Pick(words, "Потеря порта", "port lost"), Num(c.portLost)},
        {Pick(words, "Эхо запросов", "echoes"), Num(c.echoes)},
        {Pick(words, "Время ответа, мс (мин / медиана / макс)", "answer time ms (min / median / max)"), times},
    };
}

StatisticsRow LatencyTimerRow(int timerMs, TrafficWords words)
{
    return {Pick(words, "Таймер задержки адаптера, мс", "adapter latency timer ms"), Num(timerMs)};
}

std::string LatencyTimerHint(int timerMs, const std::string& lowerCommand, bool fastFraming, TrafficWords words)
{
    constexpr int kHarmlessMs = 10;
    if (fastFraming || timerMs <= kHarmlessMs)
        return {};
    std::string hint = Pick(words, "Адаптер задерживает принятые байты до ", "the adapter holds received bytes up to ") +
                       Num(timerMs) +
                       Pick(words, " мс: включите быстрый приём или уменьшите таймер",
                            " ms: use --fast-framing or lower its latency timer");
    if (lowerCommand.empty())
        return hint + Pick(words, " (свойства порта в диспетчере устройств, «Дополнительно»)",
                           " (the port's properties in the Device Manager, Advanced)");
    return hint + ": " + lowerCommand;
}
