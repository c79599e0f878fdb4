#pragma once
// A Modbus RTU servo: holding registers read with function 3 and written with 6 and 16,
// the device-specific restart 65, exception replies for bad functions, addresses and
// counts. Registers 128.. take the goal, 129 the torque switch, 133/134 the parameter
// store commands, 256..265 report the shaft.
#include <array>
#include <cstdint>
#include <vector>

#include "tools/sim/boot_loader.h"
#include "tools/sim/servo_model.h"
#include "tools/sim/servo_motion.h"
#include "tools/sim/sim_device.h"

namespace sim {

struct ModbusSettings {
    int id = 1;
    int baud = 115200;
};

class ModbusServo : public SimDevice {
  public:
    static constexpr int kRegisterCount = 320;
    static constexpr int kGoalRegister = 128;
    static constexpr int kTorqueRegister = 129;
    static constexpr int kStoreModeRegister = 133;
    static constexpr int kStoreCommandRegister = 134;
    static constexpr int kFeedbackRegister = 256;
    static constexpr int kFeedbackCount = 10;
    static constexpr int kIdRegister = 10;
    static constexpr int kBaudRegister = 11;

    ModbusServo(ServoModel model, const ModbusSettings& settings);

    int baud() const override { return baud_; }
    int id() const override { return registers_[kIdRegister] & 0xFF; }
    bool HandleModbus(const uint8_t* frame, size_t n, std::vector<uint8_t>& reply) override;
    void Advance(double seconds) override;
    BootLoader* boot_loader() override { return &boot_; }
    void RunUploadedImage() override;

    uint16_t Register(int address) const { return registers_.at(address); }
    void SetRegister(int address, uint16_t value) { registers_.at(address) = value; }
    void SetErrorBits(uint8_t bits);
    ServoMotion& motion() { return motion_; }
    // Power off and on: RAM registers lose what was written, kept ones come back.
    void PowerCycle() { Reload(); }

  private:
    void Reload();
    // Whether register 133 currently lets a write to this kept register through.
    bool Open(int address) const;
    bool Write(int address, const uint16_t* values, int count);
    void Exception(uint8_t id, uint8_t function, uint8_t code, std::vector<uint8_t>& reply) const;
    void Finish(std::vector<uint8_t>& reply) const;
    void PublishFeedback();

    ServoModel model_;
    int baud_;
    std::array<uint16_t, kRegisterCount> registers_{};
    std::array<uint16_t, kRegisterCount> factory_{};
    std::array<uint16_t, kRegisterCount> saved_{};
    std::array<Store, kRegisterCount> store_{};
    bool areas_ = false;  // as for the instruction servo
    uint8_t error_bits_ = 0;
    ServoMotion motion_;
    BootLoader boot_{BootLoader::Kind::kBus, 0};
};

}  // namespace sim
