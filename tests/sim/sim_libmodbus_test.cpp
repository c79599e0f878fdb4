// The simulator's Modbus side against an independent master (libmodbus).
#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <cerrno>

#include "tools/sim/sim_bus.h"

using namespace sim;

namespace {

class SimLibmodbusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{10, 115200});
        bus.AddModbusServo(BuiltInModbusModel(), ModbusSettings{11, 57600});
        bus.AddServo(BuiltInServoModel(), ServoSettings{10, 0, 115200, 1});
        std::string error;
        ASSERT_TRUE(bus.Start(&error)) << error;
        ctx = modbus_new_rtu(bus.port_path().c_str(), 115200, 'N', 8, 1);
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
        modbus_set_response_timeout(ctx, 0, 200000);
        modbus_set_slave(ctx, 10);
    }
    void TearDown() override {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
        bus.Stop();
    }
    SimBus bus;
    modbus_t* ctx = nullptr;
};

}  // namespace

TEST_F(SimLibmodbusTest, ReadsAndWritesHoldingRegisters) {
    uint16_t r[8] = {};
    ASSERT_EQ(modbus_read_registers(ctx, 0, 4, r), 4) << modbus_strerror(errno);
    EXPECT_EQ(r[0], 212);
    EXPECT_EQ(r[1], 401);
    ASSERT_EQ(modbus_read_registers(ctx, 10, 3, r), 3);
    EXPECT_EQ(r[0], 10);
    EXPECT_EQ(r[1], 2);

    ASSERT_EQ(modbus_write_register(ctx, 13, 0x1234), 1) << modbus_strerror(errno);
    const uint16_t block[] = {7, 8, 9};
    ASSERT_EQ(modbus_write_registers(ctx, 12, 3, block), 3) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(ctx, 12, 3, r), 3);
    EXPECT_EQ(r[0], 7);
    EXPECT_EQ(r[1], 8);
    EXPECT_EQ(r[2], 9);
    // The feedback block from 256 reads in one go: voltage 12.0 V at 260.
    ASSERT_EQ(modbus_read_registers(ctx, 256, 10, r), 10);
    EXPECT_EQ(r[4], 120);
}

TEST_F(SimLibmodbusTest, ExceptionsForBadAddressesCountsAndFunctions) {
    uint16_t r[40];
    EXPECT_EQ(modbus_read_registers(ctx, 300, 30, r), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(ctx, 257, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // Function 7 (read exception status) is not one this servo knows.
    const uint8_t raw[] = {10, 0x07};
    ASSERT_EQ(modbus_send_raw_request(ctx, raw, 2), 4);
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
    ASSERT_EQ(modbus_receive_confirmation(ctx, reply), 5);
    EXPECT_EQ(reply[0], 10);
    EXPECT_EQ(reply[1], 0x87);
    EXPECT_EQ(reply[2], 0x01);  // illegal function
}

TEST_F(SimLibmodbusTest, ForeignIdsOtherBaudRatesAndBadCrcsGetNoAnswer) {
    uint16_t r[4];
    modbus_set_slave(ctx, 12);
    EXPECT_EQ(modbus_read_registers(ctx, 0, 4, r), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_set_slave(ctx, 11);  // listens at 57600
    EXPECT_EQ(modbus_read_registers(ctx, 0, 4, r), -1);
    EXPECT_EQ(errno, ETIMEDOUT);

    // Read of four registers from 0 with the CRC's last byte wrong.
    modbus_flush(ctx);
    const uint8_t bad[] = {0x0A, 0x03, 0x00, 0x00, 0x00, 0x04, 0x44, 0xB0};
    ASSERT_EQ(write(modbus_get_socket(ctx), bad, sizeof bad), 8);
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
    EXPECT_EQ(modbus_receive_confirmation(ctx, reply), -1);

    // The line is still in step afterwards.
    modbus_set_slave(ctx, 10);
    EXPECT_EQ(modbus_read_registers(ctx, 0, 4, r), 4);
}
