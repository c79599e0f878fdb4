#pragma once
// A servo on the instruction protocol (or a PWM-family servo, which speaks the same
// protocol with another memory layout): a 256-byte memory table that reads, writes,
// registered writes plus action, sync writes, recovery, backup and restart act on, and a
// shaft whose state is published into the model's feedback block.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tools/sim/boot_loader.h"
#include "tools/sim/servo_model.h"
#include "tools/sim/servo_motion.h"
#include "tools/sim/sim_device.h"

namespace sim {

struct ServoSettings {
    int id = 1;
    int end = 0;  // byte order of 16-bit values: 0 low byte first
    int baud = 115200;
    int level = 1;  // status-reply level (memory address 8)
};

class InstructionServo : public SimDevice {
  public:
    static constexpr uint8_t kBroadcast = 0xFE;

    InstructionServo(ServoModel model, const ServoSettings& settings);

    int baud() const override { return baud_; }
    int id() const override { return memory_[id_address_]; }
    bool HandleInstruction(const uint8_t* packet, size_t n, std::vector<uint8_t>& reply) override;
    void Advance(double seconds) override;
    BootLoader* boot_loader() override { return &boot_; }
    void RunUploadedImage() override;

    uint8_t Peek(int address) const { return memory_[address & 0xFF]; }
    // Sets a memory byte as the servo itself would (tests and benchmarks).
    void Poke(int address, uint8_t value) { memory_[address & 0xFF] = value; }
    // Error bits reported in every status byte (0x01 voltage, 0x02 sensor, 0x04 heat,
    // 0x08 current, 0x20 load).
    void SetErrorBits(uint8_t bits) { error_bits_ = bits; }
    uint8_t error_bits() const { return error_bits_; }
    ServoMotion& motion() { return motion_; }
    const ServoModel& model() const { return model_; }
    int end() const { return end_; }
    // Power off and on: what the RAM held is lost, what was kept comes back.
    void PowerCycle() { Restart(); }

  private:
    bool IsPwm() const { return model_.family == Family::kPwm; }
    int Level() const;
    int BaudAddress() const;
    // A kept entry that the lock entry currently protects.
    bool Locked() const;
    void BuildReply(uint8_t id, const uint8_t* data, size_t n, std::vector<uint8_t>& reply) const;
    void ApplyWrite(int address, const uint8_t* data, size_t n);
    void TakeCommands(int first, int last);
    void PublishFeedback();
    uint16_t Word(int address) const;
    void SetWord(int address, uint16_t value);
    void SetSigned(int address, int value, int sign_bit);
    void Restart();

    ServoModel model_;
    int end_;
    int baud_;
    int id_address_;
    bool has_angle_limits_ = false;  // 16-bit angle limits at 9 and 11 in the model's table
    std::array<uint8_t, 256> memory_{};
    std::array<uint8_t, 256> factory_{};
    std::array<uint8_t, 256> saved_{};
    std::array<bool, 256> read_only_{};
    std::array<Store, 256> store_{};
    // The model names its areas: kept entries persist on their own, RAM comes back with its
    // factory values. Without areas, a restart brings back the last backed-up memory.
    bool areas_ = false;
    std::optional<std::pair<int, std::vector<uint8_t>>> pending_;
    uint8_t error_bits_ = 0;
    ServoMotion motion_;
    BootLoader boot_;
};

}  // namespace sim
