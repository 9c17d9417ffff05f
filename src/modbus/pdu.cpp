#include "pdu.h"

#include "codecs.h"

#include <cstring>

ModBusRequest::ModBusRequest(std::uint8_t function, std::uint16_t address, std::uint16_t countOrValue)
{
    Build(function, address, countOrValue);
}

std::uint8_t* ModBusRequest::Resize(std::uint32_t byteCount)
{
    if (data && byteCount == length)
        return data;
    if (byteCount >= kMaxPduLength)
        byteCount = kMaxPduLength;
    buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(byteCount);
    data = buffer_.get();
    length = byteCount;
    return data;
}

void ModBusRequest::Build(std::uint8_t function, std::uint16_t address, std::uint16_t countOrValue)
{
    const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    if (function >= 1 && function <= 6) {
        std::uint8_t* p = Resize(5);
        p[0] = function;
        p[1] = hi(address);
        p[2] = lo(address);
        p[3] = hi(countOrValue);
        p[4] = lo(countOrValue);
        values = nullptr;
    } else if (function == 15 || function == 16) {
        // Function 15 shares the head of the multiple-write form; its value
        // area is sized as for registers, which more than covers any coils.
        std::uint8_t* p = Resize(6 + 2u * countOrValue);
        p[0] = function;
        p[1] = hi(address);
        p[2] = lo(address);
        p[3] = hi(countOrValue);
        p[4] = lo(countOrValue);
        p[5] = static_cast<std::uint8_t>((2u * countOrValue) & 0xFF);
        values = p + 6;
    }
}

void ModBusRequest::SetAddress(std::uint16_t address)
{
    if (data && length >= 3) {
        data[1] = static_cast<std::uint8_t>(address >> 8);
        data[2] = static_cast<std::uint8_t>(address & 0xFF);
    }
}

void ModBusRequest::CopyTo(std::uint8_t* destination) const
{
    if (data && length >= 1 && length <= kMaxPduLength)
        std::memcpy(destination, data, length);
}

ModBusRequest& ModBusRequest::operator<<(const ModBusReg& reg)
{
    if (!values)
        return *this;
    const std::int64_t room = static_cast<std::int64_t>(length) - 6;
    if (offset + reg.ByteSize() <= room)
        reg.Encode(values, offset);
    return *this;
}

bool ModBusAnswer::Parse(std::int32_t& exception)
{
    values = nullptr;
    offset = 0;
    if (!data || length < 2)
        return false;
    exception = 0;
    const std::uint8_t function = data[0];
    if (function & 0x80) {
        exception = data[1];
        return true;
    }
    if (function >= 1 && function <= 4) {
        if (length >= 4 && data[1] == length - 2) {
            values = data + 2;
            return true;
        }
        return false;
    }
    if (function == 5 || function == 6 || function == 15 || function == 16)
        return length == 5;
    return false;
}

ModBusAnswer& ModBusAnswer::operator>>(ModBusReg& reg)
{
    if (!values)
        return *this;
    if (offset + reg.ByteSize() <= static_cast<std::int32_t>(data[1]))
        reg.Decode(values, offset);
    return *this;
}

bool AnswerFits(const ModBusPdu& request, const ModBusPdu& answer)
{
    return AnswerFits(request.data, request.length, answer.data, answer.length);
}

bool AnswerFits(const std::uint8_t* request, std::uint32_t requestLength, const std::uint8_t* answer,
                std::uint32_t answerLength)
{
    if (!request || requestLength < 5 || !answer || answerLength < 2)
        return false;
    const std::uint8_t asked = request[0];
    const std::uint8_t function = answer[0];
    if (function == (asked | 0x80))
        return answerLength == 2 && answer[1] != 0;
    if (function != asked)
        return false;
    const std::uint32_t count = (std::uint32_t{request[3]} << 8) | request[4];
    switch (asked) {
    case 1:
    case 2:
    case 3:
    case 4: {
        const std::uint32_t bytes = asked <= 2 ? (count + 7) / 8 : 2 * count;
        return bytes <= 255 && answerLength == 2 + bytes && answer[1] == bytes;
    }
    case 5:
    case 6:
        return answerLength == 5 && std::memcmp(answer, request, 5) == 0;
    case 15:
    case 16:
        return answerLength == 5 && std::memcmp(answer + 1, request + 1, 4) == 0;
    default:
        return false;
    }
}
