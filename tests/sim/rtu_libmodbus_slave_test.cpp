// Our RTU channel against libmodbus as an independent RTU slave, joined by a
// null-modem pty cable: frames, CRC and exception answers interoperate, in
// both framing modes.

#include "codecs.h"
#include "null_modem.h"
#include "rtu.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kFirst = 2000;
constexpr int kCount = 200;

// A libmodbus RTU slave at address 1 serving holding registers 2000..2199.
class LibmodbusSlave {
public:
    explicit LibmodbusSlave(const std::string& path)
    {
        ctx_ = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
        if (!ctx_)
            throw std::runtime_error("modbus_new_rtu failed");
        modbus_set_slave(ctx_, 1);
        if (modbus_connect(ctx_) != 0) {
            modbus_free(ctx_);
            throw std::runtime_error("modbus_connect failed");
        }
        // A bounded wait for each request lets the thread see the stop flag.
        modbus_set_indication_timeout(ctx_, 0, 50000);
        mapping_ = modbus_mapping_new_start_address(0, 0, 0, 0, kFirst, kCount, 0, 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave()
    {
        stop_ = true;
        thread_.join();
        modbus_mapping_free(mapping_);
        modbus_close(ctx_);
        modbus_free(ctx_);
    }

    uint16_t Reg(int address)
    {
        std::lock_guard lock(mutex_);
        return mapping_->tab_registers[address - kFirst];
    }
    void SetReg(int address, uint16_t value)
    {
        std::lock_guard lock(mutex_);
        mapping_->tab_registers[address - kFirst] = value;
    }

private:
    void Serve()
    {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int rc = modbus_receive(ctx_, query);
            if (rc > 0) {
                std::lock_guard lock(mutex_);
                modbus_reply(ctx_, query, rc, mapping_);
            }
        }
    }

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The parameter switches fast framing on.
class RtuAgainstLibmodbus : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        rtu_.SetFastFraming(GetParam());
        ASSERT_TRUE(rtu_.Open(modem_.PathA(), 115200));
    }

    NullModem modem_;
    LibmodbusSlave slave_{modem_.PathB()};
    ModBusRtu rtu_;
};

TEST_P(RtuAgainstLibmodbus, ReadsOfOneThirtyAndHundredTwentyFiveRegisters)
{
    for (int i = 0; i < kCount; ++i)
        slave_.SetReg(kFirst + i, static_cast<uint16_t>(0xA000 + 3 * i));
    for (int count : {1, 30, 125}) {
        SCOPED_TRACE(count);
        const int start = kFirst + 7;
        ModBusRequest request(3, static_cast<uint16_t>(start), static_cast<uint16_t>(count));
        ASSERT_NO_THROW(rtu_.Transact(1, request, 2000));
        ASSERT_EQ(rtu_.length, 2u + 2u * static_cast<unsigned>(count));
        for (int i = 0; i < count; ++i) {
            ModBusUShortReg reg;
            rtu_ >> reg;
            EXPECT_EQ(reg.Get(), 0xA000 + 3 * (7 + i)) << i;
        }
        // Nothing beyond the answer is taken.
        ModBusUShortReg beyond(0x5555);
        rtu_ >> beyond;
        EXPECT_EQ(beyond.Get(), 0x5555);
    }
}

TEST_P(RtuAgainstLibmodbus, SingleAndMultipleWritesReachTheSlave)
{
    ModBusRequest single(6, 2010, 0xCAFE);
    ASSERT_NO_THROW(rtu_.Transact(1, single, 2000));
    EXPECT_EQ(slave_.Reg(2010), 0xCAFE);
    // The write answer echoes the request.
    EXPECT_EQ(std::vector<uint8_t>(rtu_.data, rtu_.data + rtu_.length),
              (std::vector<uint8_t>{6, 0x07, 0xDA, 0xCA, 0xFE}));

    ModBusRequest multiple(16, 2100, 5);
    multiple.Rewind();
    multiple << ModBusUShortReg(101) << ModBusFloatReg(1.0f) << ModBusFloatReg(-2.5f);
    ASSERT_NO_THROW(rtu_.Transact(1, multiple, 2000));
    EXPECT_EQ(slave_.Reg(2100), 101);
    EXPECT_EQ(slave_.Reg(2101), 0x0000); // low word of 1.0f first
    EXPECT_EQ(slave_.Reg(2102), 0x3F80);
    EXPECT_EQ(slave_.Reg(2103), 0x0000);
    EXPECT_EQ(slave_.Reg(2104), 0xC020);

    // Read back what was written, through the codecs.
    ModBusRequest read(3, 2100, 5);
    ASSERT_NO_THROW(rtu_.Transact(1, read, 2000));
    ModBusUShortReg code;
    ModBusFloatReg a, b;
    rtu_ >> code >> a >> b;
    EXPECT_EQ(code.Get(), 101);
    EXPECT_EQ(a.Get(), 1.0f);
    EXPECT_EQ(b.Get(), -2.5f);

    // 123 registers, the most one request carries.
    ModBusRequest longest(16, 2000, 123);
    longest.Rewind();
    for (int i = 0; i < 123; ++i)
        longest << ModBusUShortReg(static_cast<unsigned short>(i + 1000));
    ASSERT_NO_THROW(rtu_.Transact(1, longest, 2000));
    EXPECT_EQ(slave_.Reg(2000), 1000);
    EXPECT_EQ(slave_.Reg(2122), 1122);
}

TEST_P(RtuAgainstLibmodbus, ExceptionAnswersAreThrownAsPduErrors)
{
    struct Case {
        const char* what;
        uint8_t function;
        uint16_t address;
        uint16_t countOrValue;
    };
    const Case cases[] = {
        {"read past the mapping", 3, kFirst + kCount - 5, 10},
        {"read before the mapping", 3, 100, 1},
        {"single write outside", 6, 1000, 1},
        {"input registers not mapped", 4, kFirst, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModBusRequest request(c.function, c.address, c.countOrValue);
        try {
            rtu_.Transact(1, request, 2000);
            ADD_FAILURE() << "no exception answer";
        } catch (ModBusPdu::error_t e) {
            EXPECT_EQ(e, 2);
        } catch (ModBusRtu::error_t e) {
            ADD_FAILURE() << "link error " << e;
        }
    }
    // The channel goes on working after exception answers.
    ModBusRequest ok(3, kFirst, 1);
    EXPECT_NO_THROW(rtu_.Transact(1, ok, 2000));
}

TEST_P(RtuAgainstLibmodbus, OtherSlaveAddressGetsNoAnswer)
{
    ModBusRequest request(3, kFirst, 1);
    try {
        rtu_.Transact(7, request, 200);
        ADD_FAILURE() << "answered";
    } catch (ModBusRtu::error_t e) {
        EXPECT_EQ(e, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Framing, RtuAgainstLibmodbus, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByLength" : "BySilence"; });

} // namespace
