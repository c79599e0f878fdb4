#pragma once
#include <array>
#include <cstdint>
#include <string>

// Nine identification bytes of a found device (memory addresses 0 to 8 for
// instruction-protocol servos, composed by the search for the other kinds).
using ServoInfo = std::array<uint8_t, 9>;

// Protocol kind of a found device.
enum ServoKind : int { kKindServo = 0, kKindPwm = 1, kKindModbus = 2 };

constexpr int kMaxServos = 254;

// One memory-table parameter: nine texts exactly as they stand in the setup file.
struct MemoryEntry {
    std::array<std::string, 9> field;  // address, name, size, value, sign, area, access, min, max
};

// Thirteen 16-bit per-model settings: 0..3 key, 4..12 Debug page settings.
using DebugRow = std::array<uint16_t, 13>;
