#pragma once
// Modbus PDU view, the request builder and the in-place answer reader.

#include <cstdint>
#include <memory>

class ModBusReg;

// A view of one PDU: function code first. Owns nothing.
class ModBusPdu {
public:
    // Modbus exception code of an exception answer, thrown by value.
    enum error_t : std::int32_t {};

    std::uint8_t* data = nullptr;   // first PDU byte; null while there is none
    std::uint32_t length = 0;       // number of PDU bytes
    std::uint8_t* values = nullptr; // first byte of the value area, or null
    std::int32_t offset = 0;        // next value byte to write or read

    std::uint32_t Size() const { return length; }
    void Rewind() { offset = 0; }
};

// Largest PDU that fits an RTU frame of 256 bytes.
inline constexpr std::uint32_t kMaxPduLength = 253;

// Builds read and write requests in a buffer of its own of at most 253 bytes.
class ModBusRequest : public ModBusPdu {
public:
    ModBusRequest() = default;
    ModBusRequest(std::uint8_t function, std::uint16_t address, std::uint16_t countOrValue);
    ModBusRequest(const ModBusRequest&) = delete;
    ModBusRequest& operator=(const ModBusRequest&) = delete;
    ~ModBusRequest() = default;

    void Build(std::uint8_t function, std::uint16_t address, std::uint16_t countOrValue);
    void SetAddress(std::uint16_t address);
    void CopyTo(std::uint8_t* destination) const;
    std::uint8_t* Resize(std::uint32_t byteCount);

    // Puts a register value into the value area of a multiple-write request.
    ModBusRequest& operator<<(const ModBusReg& reg);

private:
    std::unique_ptr<std::uint8_t[]> buffer_;
};

// True when `answer` can be the answer to `request`: the same function code
// (or that code with bit 7 and a nonzero exception code); for a read, the
// byte count of exactly the registers asked; for a single write, the echo
// of address and value; for a multiple write, the echo of address and
// quantity. An answer to another request of the same shape cannot be told
// apart here; the channel keeps those off by its order of frames.
bool AnswerFits(const ModBusPdu& request, const ModBusPdu& answer);
// The same on raw PDU bytes; only the first five bytes of the request count.
bool AnswerFits(const std::uint8_t* request, std::uint32_t requestLength, const std::uint8_t* answer,
                std::uint32_t answerLength);

// Reads an answer PDU in place.
class ModBusAnswer : public ModBusPdu {
public:
    // True when the PDU is a well-formed answer; `exception` receives the
    // exception code of an exception answer and 0 otherwise.
    bool Parse(std::int32_t& exception);

    // Takes the next register value out of a read answer.
    ModBusAnswer& operator>>(ModBusReg& reg);
};
