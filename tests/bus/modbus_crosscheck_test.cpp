// The Modbus master against an independent RTU slave (libmodbus) on a pseudo-terminal.
#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "modbus/modbus.h"
#include "pty_pair.h"
#include "transport/cqv_comm.h"

namespace {

constexpr int kSlaveId = 5;

// libmodbus answering as slave 5 on the master end of the pty, in its own thread. Its
// register table is only touched under `lock` (the reply goes out after the update, so a
// test that has its answer sees the new values).
class ReferenceSlave {
  public:
    explicit ReferenceSlave(int fd) {
        ctx_ = modbus_new_rtu("/dev/null", 115200, 'N', 8, 1);
        modbus_set_slave(ctx_, kSlaveId);
        modbus_set_socket(ctx_, fd);
        modbus_set_indication_timeout(ctx_, 0, 50000);
        map_ = modbus_mapping_new(0, 0, 200, 0);
        for (int i = 0; i < 200; ++i) map_->tab_registers[i] = static_cast<uint16_t>(1000 + i);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ReferenceSlave() {
        stop_ = true;
        thread_.join();
        modbus_set_socket(ctx_, -1);
        modbus_mapping_free(map_);
        modbus_free(ctx_);
    }
    uint16_t Register(int i) {
        std::lock_guard<std::mutex> g(lock_);
        return map_->tab_registers[i];
    }
    void SetRegister(int i, uint16_t v) {
        std::lock_guard<std::mutex> g(lock_);
        map_->tab_registers[i] = v;
    }

  private:
    void Serve() {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int rc = modbus_receive(ctx_, query);
            if (rc <= 0) continue;
            std::lock_guard<std::mutex> g(lock_);
            modbus_reply(ctx_, query, rc, map_);
        }
    }

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    std::mutex lock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class ModbusCrossCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.Open(port_, 115200, 200));
        master_.Port = &port_;
        slave_ = std::make_unique<ReferenceSlave>(pty_.master());
    }
    void TearDown() override { slave_.reset(); }

    PtyPair pty_;
    CQVComm port_;
    Modbus master_;
    std::unique_ptr<ReferenceSlave> slave_;
};

TEST_F(ModbusCrossCheck, ReadsAndWritesRegisters) {
    uint16_t r[29] = {};
    ASSERT_EQ(master_.ReadHoldingRegisters(kSlaveId, 10, r, 3), 3) << int(master_.status());
    EXPECT_EQ(r[0], 1010);
    EXPECT_EQ(r[2], 1012);
    EXPECT_EQ(master_.reply_id(), kSlaveId);

    slave_->SetRegister(0, 312);
    slave_->SetRegister(1, 65535);
    ASSERT_EQ(master_.ReadHoldingRegisters(kSlaveId, 0, r, 29), 29);
    EXPECT_EQ(r[0], 312);
    EXPECT_EQ(r[1], 65535);
    EXPECT_EQ(r[28], 1028);

    ASSERT_TRUE(master_.WriteRegister(kSlaveId, 133, 128)) << int(master_.status());
    EXPECT_EQ(slave_->Register(133), 128);

    uint16_t block[27];
    for (int i = 0; i < 27; ++i) block[i] = static_cast<uint16_t>(0xA000 + i);
    ASSERT_TRUE(master_.WriteRegisters(kSlaveId, 128, block, 27)) << int(master_.status());
    EXPECT_EQ(slave_->Register(128), 0xA000);
    EXPECT_EQ(slave_->Register(154), 0xA000 + 26);
}

TEST_F(ModbusCrossCheck, ExceptionsOtherIdsAndBroadcast) {
    port_.SetTimeout(60);
    uint16_t r[4];
    // Past the end of the slave's table: its exception reply is shorter than a register
    // reply and is reported as a time-out.
    EXPECT_EQ(master_.ReadHoldingRegisters(kSlaveId, 198, r, 4), 0);
    EXPECT_EQ(master_.status(), Rtu::kTimeout);
    // A broadcast write is taken by the slave without an answer.
    EXPECT_TRUE(master_.WriteRegister(0, 129, 1));
    uint16_t v = 0;
    ASSERT_EQ(master_.ReadHoldingRegisters(kSlaveId, 129, &v, 1), 1);
    EXPECT_EQ(v, 1);
    // Still in step after the failures.
    ASSERT_EQ(master_.ReadHoldingRegisters(kSlaveId, 0, r, 4), 4);
    EXPECT_EQ(r[3], 1003);
    // Nobody answers for another id. (The reference slave then takes the next frame on
    // the line for that id's answer and ignores it, so this comes last.)
    EXPECT_EQ(master_.ReadHoldingRegisters(kSlaveId + 1, 0, r, 4), 0);
    EXPECT_EQ(master_.status(), Rtu::kTimeout);
}

}  // namespace
