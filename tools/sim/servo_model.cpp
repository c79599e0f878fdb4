#include "tools/sim/servo_model.h"

#include <array>

namespace sim {
namespace {

constexpr std::array<int, 13> kServoBauds = {1000000, 500000, 250000, 128000, 115200, 76800, 57600,
                                             38400,   19200,  14400,  9600,   4800,   256000};
constexpr std::array<int, 10> kModbusBauds = {256000, 128000, 115200, 57600, 56000,
                                              38400,  19200,  14400,  9600,  4800};

ModelEntry Entry(int address, int size, int value, bool read_only = false, int sign = -1) {
    ModelEntry e;
    e.address = address;
    e.size = size;
    e.value = value;
    e.sign = sign;
    e.read_only = read_only;
    return e;
}

}  // namespace

ServoModel BuiltInServoModel() {
    ServoModel m;
    m.name = "SIM-S1";
    m.family = Family::kServo;
    m.fw_major = 3;
    m.fw_minor = 10;
    m.model_major = 9;
    m.model_minor = 3;
    m.entries = {
        Entry(0, 1, 3, true),
        Entry(1, 1, 10, true),
        Entry(2, 1, 0, true),
        Entry(3, 1, 9, true),
        Entry(4, 1, 3, true),
        Entry(5, 1, 1),
        Entry(6, 1, 4),
        Entry(7, 1, 0),
        Entry(8, 1, 1),
        Entry(9, 2, 0),
        Entry(11, 2, 4095),
        Entry(13, 1, 70),
        Entry(14, 1, 140),
        Entry(15, 1, 40),
        Entry(16, 2, 1000),
        Entry(18, 1, 0),
        Entry(19, 1, 44),
        Entry(20, 1, 47),
        Entry(21, 1, 32),
        Entry(22, 1, 32),
        Entry(23, 1, 0),
        Entry(24, 1, 16),
        Entry(26, 1, 1),
        Entry(27, 1, 1),
        Entry(31, 2, 0, false, 11),
        Entry(33, 1, 0),
        Entry(34, 1, 20),
        Entry(40, 1, 0),
        Entry(41, 1, 0),
        Entry(42, 2, 0, false, 15),
        Entry(44, 2, 0, false, 10),
        Entry(46, 2, 0, false, 15),
        Entry(48, 1, 0),
        Entry(56, 2, 0, true, 15),
        Entry(58, 2, 0, true, 15),
        Entry(60, 2, 0, true, 10),
        Entry(62, 1, 120, true),
        Entry(63, 1, 30, true),
        Entry(64, 1, 0, true),
        Entry(65, 1, 0, true),
        Entry(66, 1, 0, true),
        Entry(67, 2, 0, true, 15),
        Entry(69, 2, 0, true, 15),
        Entry(71, 2, 0, true, 15),
    };
    m.debug.present = true;
    m.debug.feedback_start = 56;
    m.debug.feedback_end = 72;
    m.debug.motion_address = 41;
    m.debug.position_divisor = 1;
    m.debug.pwm_goal_address = 0;
    m.debug.torque_address = 40;
    m.voltage = 120;
    return m;
}

ServoModel BuiltInPwmModel() {
    ServoModel m;
    m.name = "SIM-P1";
    m.family = Family::kPwm;
    // PWM-family identity: 0 model major, 1 firmware minor, 2 firmware major, 3 id.
    m.fw_major = 2;
    m.fw_minor = 4;
    m.model_major = 7;
    m.model_minor = 0;
    m.entries = {
        Entry(0, 1, 7, true),   Entry(1, 1, 4, true),  Entry(2, 1, 2, true),
        Entry(3, 1, 1),         Entry(4, 1, 4),        Entry(5, 1, 0),
        Entry(6, 1, 0),         Entry(7, 1, 0),        Entry(8, 1, 0),
        Entry(9, 2, 20),        Entry(11, 2, 1003),    Entry(40, 1, 0),
        Entry(42, 2, 500),      Entry(56, 2, 0, true), Entry(58, 2, 0, true),
        Entry(60, 2, 0, true),  Entry(62, 2, 0, true), Entry(64, 1, 30, true),
        Entry(65, 1, 74, true), Entry(66, 2, 0, true), Entry(68, 1, 0, true),
        Entry(69, 1, 0, true),  Entry(70, 2, 0, true),
    };
    m.debug.present = true;
    m.debug.feedback_start = 56;
    m.debug.feedback_end = 71;
    m.debug.motion_address = 0;
    m.debug.position_divisor = 4;
    m.debug.pwm_goal_address = 42;
    m.debug.torque_address = 40;
    m.voltage = 74;
    return m;
}

ServoModel BuiltInModbusModel() {
    ServoModel m;
    m.name = "SIM-M1";
    m.family = Family::kModbus;
    m.fw_major = 2;
    m.fw_minor = 12;
    m.model_major = 4;
    m.model_minor = 1;
    m.entries = {
        Entry(0, 1, 212, true),  Entry(1, 1, 401, true), Entry(2, 1, 0, true),
        Entry(3, 1, 0, true),    Entry(10, 1, 1),        Entry(11, 1, 2),
        Entry(12, 1, 0),         Entry(13, 1, 0),        Entry(14, 1, 4095),
        Entry(128, 1, 0),        Entry(129, 1, 0),       Entry(130, 1, 0),
        Entry(131, 1, 0),        Entry(132, 1, 0),       Entry(133, 1, 1),
        Entry(134, 1, 0),        Entry(256, 1, 0, true), Entry(257, 1, 0, true),
        Entry(258, 1, 0, true),  Entry(259, 1, 0, true), Entry(260, 1, 120, true),
        Entry(261, 1, 30, true), Entry(262, 1, 0, true), Entry(263, 1, 0, true),
        Entry(264, 1, 0, true),  Entry(265, 1, 0, true),
    };
    m.debug.present = true;
    m.debug.position_divisor = 1;
    m.voltage = 120;
    return m;
}

int ServoBaudForIndex(int index) {
    return index >= 0 && index < static_cast<int>(kServoBauds.size()) ? kServoBauds[index] : 0;
}

int ModbusBaudForIndex(int index) {
    return index >= 0 && index < static_cast<int>(kModbusBauds.size()) ? kModbusBauds[index] : 0;
}

int ServoIndexForBaud(int baud) {
    for (size_t i = 0; i < kServoBauds.size(); ++i)
        if (kServoBauds[i] == baud) return static_cast<int>(i);
    return -1;
}

int ModbusIndexForBaud(int baud) {
    for (size_t i = 0; i < kModbusBauds.size(); ++i)
        if (kModbusBauds[i] == baud) return static_cast<int>(i);
    return -1;
}

}  // namespace sim
