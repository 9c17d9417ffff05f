#pragma once
// Register value codecs: one value of the meter and its place in the Modbus
// byte stream. The value is held in an atomic word so that the link thread
// may decode into an object while the window thread reads it.

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

class ModBusReg {
public:
    virtual int ByteSize() const = 0;
    virtual int Store(std::uint8_t* image, std::int32_t& position) const = 0;
    virtual void Load(const std::uint8_t* image, std::int32_t& position) = 0;
    virtual void Encode(std::uint8_t* buffer, std::int32_t& position) const = 0;
    virtual void Decode(const std::uint8_t* buffer, std::int32_t& position) = 0;
    virtual void GetRegBytes(std::uint16_t index, std::uint8_t* destination) const = 0;
    virtual void SetRegWord(std::uint16_t index, std::uint16_t word) = 0;

protected:
    ModBusReg() = default;
    ModBusReg(const ModBusReg&) = default;
    ModBusReg& operator=(const ModBusReg&) = default;
    ~ModBusReg() = default;
};

// Holds a trivially copyable value race-free; copies read the value.
template <class T>
class AtomicValue {
public:
    explicit AtomicValue(T v = T{}) : v_(v) {}
    AtomicValue(const AtomicValue& o) : v_(o.get()) {}
    AtomicValue& operator=(const AtomicValue& o)
    {
        set(o.get());
        return *this;
    }
    T get() const { return v_.load(std::memory_order_relaxed); }
    void set(T v) { v_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> v_;
    static_assert(std::atomic<T>::is_always_lock_free);
};

namespace codec_detail {
template <class T>
std::array<std::uint8_t, sizeof(T)> MachineBytes(T v)
{
    std::array<std::uint8_t, sizeof(T)> b;
    std::memcpy(b.data(), &v, sizeof(T));
    return b;
}
template <class T>
T FromMachineBytes(const std::uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}
// Puts the value's machine bytes into the image and moves past them; 1 when
// the image held other bytes there, 0 when it already held these.
template <class T>
int StoreMachineBytes(T v, std::uint8_t* image, std::int32_t& position)
{
    const auto b = MachineBytes(v);
    const bool differ = std::memcmp(image + position, b.data(), sizeof(T)) != 0;
    if (differ)
        std::memcpy(image + position, b.data(), sizeof(T));
    position += sizeof(T);
    return differ ? 1 : 0;
}
template <class T>
T LoadMachineBytes(const std::uint8_t* image, std::int32_t& position)
{
    const T v = FromMachineBytes<T>(image + position);
    position += sizeof(T);
    return v;
}
} // namespace codec_detail

// A 16-bit value in one register, high byte first on the wire.
template <class T>
class tModBus2ByteReg : public ModBusReg {
    static_assert(sizeof(T) == 2);

public:
    explicit tModBus2ByteReg(T initial = 0) : value_(initial) {}

    T Get() const { return value_.get(); }
    void Set(T v) { value_.set(v); }

    int ByteSize() const override { return 2; }
    int Store(std::uint8_t* image, std::int32_t& position) const override
    {
        return codec_detail::StoreMachineBytes(Get(), image, position);
    }
    void Load(const std::uint8_t* image, std::int32_t& position) override
    {
        Set(codec_detail::LoadMachineBytes<T>(image, position));
    }
    void Encode(std::uint8_t* buffer, std::int32_t& position) const override
    {
        const auto u = static_cast<std::uint16_t>(Get());
        buffer[position] = static_cast<std::uint8_t>(u >> 8);
        buffer[position + 1] = static_cast<std::uint8_t>(u & 0xFF);
        position += 2;
    }
    void Decode(const std::uint8_t* buffer, std::int32_t& position) override
    {
        Set(static_cast<T>(static_cast<std::uint16_t>((buffer[position] << 8) | buffer[position + 1])));
        position += 2;
    }
    void GetRegBytes(std::uint16_t, std::uint8_t* destination) const override
    {
        const auto u = static_cast<std::uint16_t>(Get());
        destination[0] = static_cast<std::uint8_t>(u >> 8);
        destination[1] = static_cast<std::uint8_t>(u & 0xFF);
    }
    void SetRegWord(std::uint16_t, std::uint16_t word) override
    {
        // The word holds the register's two wire bytes, the first at the lower address.
        const auto w = codec_detail::MachineBytes(word);
        Set(static_cast<T>(static_cast<std::uint16_t>((w[0] << 8) | w[1])));
    }

private:
    AtomicValue<T> value_;
};

class ModBus4ByteReg : public ModBusReg {
protected:
    ModBus4ByteReg() = default;
    ModBus4ByteReg(const ModBus4ByteReg&) = default;
    ModBus4ByteReg& operator=(const ModBus4ByteReg&) = default;
    ~ModBus4ByteReg() = default;
};

// Rows [h, pA, pB, l, pC, pD]: register (0 first, 1 second) carrying the
// high bytes A B and their positions in it, then the same for C D.
inline constexpr std::uint8_t ByteOrder[4][6] = {
    {0, 0, 1, 1, 0, 1}, // A B C D
    {1, 1, 0, 0, 1, 0}, // D C B A
    {1, 0, 1, 0, 0, 1}, // C D A B
    {0, 1, 0, 1, 1, 0}, // B A D C
};

// A 32-bit value in two registers laid out by row N of ByteOrder.
template <class T, int N>
class tModBus4ByteReg : public ModBus4ByteReg {
    static_assert(sizeof(T) == 4);
    static_assert(N >= 0 && N < 4);
    static constexpr const std::uint8_t* Row = ByteOrder[N];

public:
    explicit tModBus4ByteReg(T initial = 0) : value_(initial) {}

    T Get() const { return value_.get(); }
    void Set(T v) { value_.set(v); }

    int ByteSize() const override { return 4; }
    int Store(std::uint8_t* image, std::int32_t& position) const override
    {
        return codec_detail::StoreMachineBytes(Get(), image, position);
    }
    void Load(const std::uint8_t* image, std::int32_t& position) override
    {
        Set(codec_detail::LoadMachineBytes<T>(image, position));
    }
    void Encode(std::uint8_t* buffer, std::int32_t& position) const override
    {
        const auto abcd = Abcd(Get());
        std::uint8_t* p = buffer + position;
        p[2 * Row[0] + Row[1]] = abcd[0];
        p[2 * Row[0] + Row[2]] = abcd[1];
        p[2 * Row[3] + Row[4]] = abcd[2];
        p[2 * Row[3] + Row[5]] = abcd[3];
        position += 4;
    }
    void Decode(const std::uint8_t* buffer, std::int32_t& position) override
    {
        const std::uint8_t* p = buffer + position;
        Set(FromAbcd({p[2 * Row[0] + Row[1]], p[2 * Row[0] + Row[2]], p[2 * Row[3] + Row[4]],
                      p[2 * Row[3] + Row[5]]}));
        position += 4;
    }
    void GetRegBytes(std::uint16_t index, std::uint8_t* destination) const override
    {
        const auto abcd = Abcd(Get());
        if (index == Row[0]) {
            destination[Row[1]] = abcd[0];
            destination[Row[2]] = abcd[1];
        } else if (index == Row[3]) {
            destination[Row[4]] = abcd[2];
            destination[Row[5]] = abcd[3];
        }
    }
    void SetRegWord(std::uint16_t index, std::uint16_t word) override
    {
        const auto w = codec_detail::MachineBytes(word);
        auto abcd = Abcd(Get());
        if (index == Row[0]) {
            abcd[0] = w[Row[1]];
            abcd[1] = w[Row[2]];
        } else if (index == Row[3]) {
            abcd[2] = w[Row[4]];
            abcd[3] = w[Row[5]];
        } else {
            return;
        }
        Set(FromAbcd(abcd));
    }

private:
    // A is the most significant byte of the value's 32-bit pattern.
    static std::array<std::uint8_t, 4> Abcd(T v)
    {
        const auto u = std::bit_cast<std::uint32_t>(v);
        return {static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
    }
    static T FromAbcd(const std::array<std::uint8_t, 4>& b)
    {
        const std::uint32_t u = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                (std::uint32_t{b[2]} << 8) | b[3];
        return std::bit_cast<T>(u);
    }

    AtomicValue<T> value_;
};

// The codecs the system uses. The meter's unsigned 32-bit values are
// std::uint32_t here, whatever the width of unsigned long.
using ModBusShortReg = tModBus2ByteReg<short>;
using ModBusUShortReg = tModBus2ByteReg<unsigned short>;
using ModBusFloatReg = tModBus4ByteReg<float, 2>;
using ModBusULongReg = tModBus4ByteReg<std::uint32_t, 2>;
