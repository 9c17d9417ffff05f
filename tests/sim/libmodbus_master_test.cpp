// libmodbus as an independent Modbus master against the simulated meter.

#include "frozen_sim.h"
#include "meter_sim.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct ModbusDeleter {
    void operator()(modbus_t* ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using ModbusPtr = std::unique_ptr<modbus_t, ModbusDeleter>;

class LibmodbusMaster : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = StartFrozenSim();
        ASSERT_TRUE(sim_->Running());
        ctx_.reset(modbus_new_rtu(sim_->PortPath().c_str(), 115200, 'N', 8, 1));
        ASSERT_NE(ctx_, nullptr);
        ASSERT_EQ(modbus_set_slave(ctx_.get(), 1), 0);
        ASSERT_EQ(modbus_connect(ctx_.get()), 0) << modbus_strerror(errno);
        SetResponseTimeout(2000);
    }

    void SetResponseTimeout(int ms)
    {
        modbus_set_response_timeout(ctx_.get(), static_cast<uint32_t>(ms / 1000),
                                    static_cast<uint32_t>(ms % 1000) * 1000);
    }

    // Sends a raw request (address and PDU; libmodbus adds the CRC) and
    // returns the answer frame without its CRC.
    std::vector<uint8_t> RawExchange(std::vector<uint8_t> request)
    {
        if (modbus_send_raw_request(ctx_.get(), request.data(), static_cast<int>(request.size())) < 0)
            return {};
        uint8_t rsp[MODBUS_RTU_MAX_ADU_LENGTH];
        const int n = modbus_receive_confirmation(ctx_.get(), rsp);
        if (n < 3)
            return {};
        return {rsp, rsp + n - 2};
    }

    std::unique_ptr<MeterSim> sim_;
    ModbusPtr ctx_;
};

TEST_F(LibmodbusMaster, ReadsMatchTheImage)
{
    for (int count : {1, 30, 125}) {
        SCOPED_TRACE(count);
        for (int i = 0; i < count; ++i)
            sim_->SetReg(static_cast<uint16_t>(53300 + i), static_cast<uint16_t>(0x1000 + 7 * i + count));
        std::vector<uint16_t> regs(static_cast<std::size_t>(count));
        ASSERT_EQ(modbus_read_registers(ctx_.get(), 53300, count, regs.data()), count)
            << modbus_strerror(errno);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(regs[static_cast<std::size_t>(i)], 0x1000 + 7 * i + count) << i;
    }
    // The last register of the address space can be read.
    sim_->SetReg(65535, 0xBEEF);
    uint16_t last = 0;
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 65535, 1, &last), 1);
    EXPECT_EQ(last, 0xBEEF);
}

TEST_F(LibmodbusMaster, StartupImageHoldsPlausibleMainBlock)
{
    uint16_t regs[34];
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 2000, 34, regs), 34);
    // Floats lie low word first: modbus_get_float_dcba is for other orders;
    // the "badc"/"cdab" helpers name byte orders, so decode by hand.
    auto f = [&](int a) {
        const uint32_t bits = regs[a - 2000] | (uint32_t{regs[a - 2000 + 1]} << 16);
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    };
    EXPECT_GT(f(2000), 0.0f);                 // serial number
    EXPECT_GT(f(2028), 0.0f);                 // water cut
    EXPECT_LT(f(2028), 100.0f);
    EXPECT_TRUE(f(2016) == 0.0f || f(2016) == 1.0f);
    EXPECT_EQ(f(2000), sim_->Float(2000));
    uint16_t firmware = 0;
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 53020, 1, &firmware), 1);
    EXPECT_GE(firmware, 10700);
}

TEST_F(LibmodbusMaster, WritesChangeTheImage)
{
    ASSERT_EQ(modbus_write_register(ctx_.get(), 42100, 17), 1);
    EXPECT_EQ(sim_->Reg(42100), 17);

    const uint16_t values[3] = {0x0102, 0xA0B0, 0xFFFF};
    ASSERT_EQ(modbus_write_registers(ctx_.get(), 56000, 3, values), 3);
    EXPECT_EQ(sim_->Reg(56000), 0x0102);
    EXPECT_EQ(sim_->Reg(56001), 0xA0B0);
    EXPECT_EQ(sim_->Reg(56002), 0xFFFF);

    std::vector<uint16_t> many(123);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<uint16_t>(i * 3 + 1);
    ASSERT_EQ(modbus_write_registers(ctx_.get(), 1000, 123, many.data()), 123);
    EXPECT_EQ(sim_->Reg(1000), 1);
    EXPECT_EQ(sim_->Reg(1122), 122 * 3 + 1);
    EXPECT_EQ(sim_->Reg(1123), 0);
}

TEST_F(LibmodbusMaster, ExceptionAnswers)
{
    uint16_t regs[10];
    // Function 4 is not served.
    EXPECT_EQ(modbus_read_input_registers(ctx_.get(), 0, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    // A range past the last register.
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 65530, 10, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    const uint16_t two[2] = {1, 2};
    EXPECT_EQ(modbus_write_registers(ctx_.get(), 65535, 2, two), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // Bad quantities (libmodbus refuses to build these, so they go raw).
    struct Case {
        const char* what;
        std::vector<uint8_t> request;
        uint8_t function;
        uint8_t code;
    };
    const Case cases[] = {
        {"read 0", {1, 3, 0, 0, 0, 0}, 3, 3},
        {"read 126", {1, 3, 0, 0, 0, 126}, 3, 3},
        {"write 0", {1, 16, 0, 0, 0, 0, 0}, 16, 3},
        {"byte count not 2 x count", {1, 16, 0, 0, 0, 2, 2, 0, 1}, 16, 3},
        {"write 124", {1, 16, 0, 0, 0, 124, 2, 0, 1}, 16, 3},
        {"unknown function", {1, 0x2B, 0x0E, 1, 0}, 0x2B, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto answer = RawExchange(c.request);
        ASSERT_EQ(answer.size(), 3u);
        EXPECT_EQ(answer[0], 1);
        EXPECT_EQ(answer[1], c.function | 0x80);
        EXPECT_EQ(answer[2], c.code);
    }
    // Nothing was written by the refused requests.
    EXPECT_EQ(sim_->Reg(0), 0);
}

TEST_F(LibmodbusMaster, FramesForOtherAddressesAreIgnored)
{
    modbus_set_slave(ctx_.get(), 2);
    SetResponseTimeout(200);
    uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 1, &reg), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(sim_->RequestCount(), 0u);
    modbus_set_slave(ctx_.get(), 1);
    SetResponseTimeout(2000);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 1, &reg), 1);
    EXPECT_EQ(sim_->RequestCount(), 1u);
}

TEST_F(LibmodbusMaster, NvramCommandClearsAfterConfiguredReads)
{
    struct Case {
        int clearReads;
        std::vector<uint16_t> readBack;
    };
    const Case cases[] = {
        {1, {1234, 0, 0}},
        {0, {0, 0}},
        {3, {1234, 1234, 1234, 0}},
        {MeterSimOptions::kNever, {1234, 1234, 1234, 1234}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clearReads);
        sim_->SetNvramClearReads(c.clearReads);
        const int commitsBefore = sim_->GetCounters().nvramCommits;
        ASSERT_EQ(modbus_write_register(ctx_.get(), 49989, 1234), 1);
        EXPECT_EQ(sim_->GetCounters().nvramCommits, commitsBefore + 1);
        for (uint16_t expected : c.readBack) {
            uint16_t v = 0xFFFF;
            ASSERT_EQ(modbus_read_registers(ctx_.get(), 49989, 1, &v), 1);
            EXPECT_EQ(v, expected);
        }
        sim_->SetReg(49989, 0);
    }
    // Another value is a plain register.
    ASSERT_EQ(modbus_write_register(ctx_.get(), 49989, 7), 1);
    uint16_t v = 0;
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 49989, 1, &v), 1);
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 49989, 1, &v), 1);
    EXPECT_EQ(v, 7);
}

TEST_F(LibmodbusMaster, FactoryCommandLoadsFactoryImageThenClears)
{
    const float startupSerial = sim_->Float(2000);
    sim_->SetFloat(53029, -99.0f); // a setting the factory image replaces
    // 101, 101.0f, 101.0f: floats low word first.
    const uint16_t block[5] = {101, 0x0000, 0x42CA, 0x0000, 0x42CA};
    ASSERT_EQ(modbus_write_registers(ctx_.get(), 60064, 5, block), 5);
    EXPECT_EQ(sim_->GetCounters().factoryLoads, 1);
    EXPECT_NE(sim_->Float(2000), startupSerial);
    EXPECT_NE(sim_->Float(53029), -99.0f);

    uint16_t back[5];
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 60064, 5, back), 5);
    EXPECT_EQ(std::vector<uint16_t>(back, back + 5), std::vector<uint16_t>(block, block + 5));
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 60064, 5, back), 5);
    EXPECT_EQ(std::vector<uint16_t>(back, back + 5), std::vector<uint16_t>(5, 0));

    // A block with other floats is no factory command.
    const uint16_t wrong[5] = {101, 0x0000, 0x42CA, 0x0000, 0x3F80};
    ASSERT_EQ(modbus_write_registers(ctx_.get(), 60064, 5, wrong), 5);
    EXPECT_EQ(sim_->GetCounters().factoryLoads, 1);

    // Apply: function 6 with 10, reads 0 at once.
    ASSERT_EQ(modbus_write_register(ctx_.get(), 60064, 10), 1);
    EXPECT_EQ(sim_->GetCounters().applies, 1);
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 60064, 1, back), 1);
    EXPECT_EQ(back[0], 0);
}

TEST_F(LibmodbusMaster, InjectedFaultsReachTheMaster)
{
    uint16_t regs[10];
    sim_->SetBusyAnswers(1);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), 2);

    sim_->SetExceptionRange(53000, 53099, 4);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 53011, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), 2);
    sim_->ClearExceptionRange();

    sim_->SetShortReads(3);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 10, regs), -1);
    EXPECT_EQ(errno, EMBBADDATA);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 3, regs), 3);
    sim_->SetShortReads(-1);

    sim_->SetBadCrcAnswers(1);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), -1);
    EXPECT_EQ(errno, EMBBADCRC);
    modbus_flush(ctx_.get());
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), 2);

    sim_->SetAnswerAddress(9);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), -1);
    EXPECT_EQ(errno, EMBBADSLAVE);
    sim_->SetAnswerAddress(-1);
    modbus_flush(ctx_.get());

    // A delay within the master's time-out is only slower.
    sim_->SetAnswerDelay(150);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), 2);
    // One beyond it is a time-out.
    SetResponseTimeout(50);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), -1);
    EXPECT_EQ(errno, ETIMEDOUT);

    sim_->SetAnswerDelay(0);
    sim_->SetSilent(true);
    EXPECT_EQ(modbus_read_registers(ctx_.get(), 2000, 2, regs), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
}

TEST_F(LibmodbusMaster, RequestLogRecordsPdusInOrder)
{
    uint16_t regs[30];
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 2000, 30, regs), 30);
    ASSERT_EQ(modbus_write_register(ctx_.get(), 42101, 5), 1);
    const auto log = sim_->Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], (std::vector<uint8_t>{3, 0x07, 0xD0, 0, 30}));
    EXPECT_EQ(log[1], (std::vector<uint8_t>{6, 0xA4, 0x75, 0, 5}));
    sim_->ClearRequests();
    EXPECT_TRUE(sim_->Requests().empty());
}

TEST_F(LibmodbusMaster, LiveValuesMoveUnlessFrozen)
{
    sim_->SetFrozen(false);
    auto readWaterCut = [&] {
        uint16_t r[2];
        EXPECT_EQ(modbus_read_registers(ctx_.get(), 2028, 2, r), 2);
        return std::pair{r[0], r[1]};
    };
    const auto first = readWaterCut();
    bool moved = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!moved && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        moved = readWaterCut() != first;
    }
    EXPECT_TRUE(moved);

    sim_->SetFrozen(true);
    sim_->SetFloat(2028, 42.5f);
    const auto frozen = readWaterCut();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(readWaterCut(), frozen);
    EXPECT_EQ(sim_->Float(2028), 42.5f);
}

} // namespace
