#pragma once
// What a simulated device is built from: its identity, its memory table (addresses or
// registers with size, default value, sign rule and whether the bus may write them) and
// the addresses its motion shows up at. Models come from the setup files when the
// simulator is given them, otherwise from the small built-in set below.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class Family { kServo, kPwm, kModbus };

// Where a memory entry lives: RAM is lost at a restart or power cycle; the other two are
// kept (EPROM and EPROM1; INFO and DEFAULT, which Modbus servos open separately).
enum class Store : uint8_t { kRam, kEprom, kDefault };

struct ModelEntry {
    int address = 0;
    int size = 1;   // bytes (instruction protocol) or registers (Modbus)
    int value = 0;  // default shown before anything is written
    int sign = -1;  // -1 unsigned, -2 signed byte, n: sign-magnitude with sign bit n
    bool read_only = false;
    Store store = Store::kRam;
};

// The addresses the Debug page reads and writes for this model (the model's debug row).
struct DebugLayout {
    bool present = false;
    uint8_t feedback_start = 0;
    uint8_t feedback_end = 0;
    uint8_t motion_address = 0;  // seven-byte block: acc, position, time, speed
    uint16_t position_divisor = 1;
    uint8_t pwm_goal_address = 0;
    uint8_t torque_address = 0;
};

struct ServoModel {
    std::string name;
    Family family = Family::kServo;
    uint8_t fw_major = 0;
    uint8_t fw_minor = 0;
    uint8_t model_major = 0;
    uint8_t model_minor = 0;
    std::vector<ModelEntry> entries;
    DebugLayout debug;
    // Special entries found by name in the setup file; -1 where the model has none. While
    // the lock entry holds a non-zero value, writes to kept entries are acknowledged but
    // dropped. A pulse-width servo's baud-rate and reply-level entries have no fixed place.
    int lock_address = -1;
    int pwm_baud_address = -1;
    int pwm_level_address = -1;
    uint8_t voltage = 120;    // tenths of a volt reported in the feedback
    int ambient = 30;         // degrees the motor cools down to
    int start_position = -1;  // where the shaft rests at power-on; -1: mid-span

    // Highest goal the model's slider offers: 4095 / divisor.
    int PositionSpan() const {
        return 4095 / (debug.position_divisor ? debug.position_divisor : 1);
    }
    int StartPosition() const { return start_position >= 0 ? start_position : PositionSpan() / 2; }
};

// Built-in models used when no setup file describes the device.
ServoModel BuiltInServoModel();   // instruction protocol, feedback at 56..72
ServoModel BuiltInPwmModel();     // PWM family, 16-byte feedback block in its own order
ServoModel BuiltInModbusModel();  // Modbus registers

// Baud rate of a device baud-rate index, or 0 for an index without one.
int ServoBaudForIndex(int index);
int ModbusBaudForIndex(int index);
// Index of a baud rate in the device table, or -1.
int ServoIndexForBaud(int baud);
int ModbusIndexForBaud(int baud);

}  // namespace sim
