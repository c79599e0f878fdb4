#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

// Nine identification bytes of a found device (memory addresses 0 to 8 for
// instruction-protocol servos, composed by the search for the other kinds). The bytes stay
// an array, as the bus reads them and the pages copy them; the accessors name the ones the
// program uses on their own.
struct ServoInfo : std::array<uint8_t, 9> {
    // Bytes 0 and 1: firmware version.
    uint8_t firmware_major() const { return (*this)[0]; }
    uint8_t firmware_minor() const { return (*this)[1]; }
    // Byte 2: the variant, also the byte order of the device's words on the bus.
    uint8_t byte_order() const { return (*this)[2]; }
    // Bytes 3 and 4: model number.
    uint8_t model_major() const { return (*this)[3]; }
    uint8_t model_minor() const { return (*this)[4]; }
    // Byte 5: the id.
    uint8_t id() const { return (*this)[5]; }
    void set_id(uint8_t id) { (*this)[5] = id; }
    // Byte 8: the status-reply level.
    uint8_t level() const { return (*this)[8]; }
};
static_assert(sizeof(ServoInfo) == 9);

// Protocol kind of a found device.
enum ServoKind : int { kKindServo = 0, kKindPwm = 1, kKindModbus = 2 };

constexpr int kMaxServos = 254;

// A device a search found: its identification bytes, its protocol kind, and the rate it
// answered at (0 when a plain search found it at the port's rate).
struct FoundServo {
    ServoInfo record{};
    ServoKind kind = kKindServo;
    int baud = 0;
};

// One memory-table parameter: nine texts exactly as they stand in the setup file.
struct MemoryEntry {
    std::array<std::string, 9> field;  // address, name, size, value, sign, area, access, min, max
};

// Thirteen 16-bit per-model settings: 0..3 key, 4..12 Debug page settings.
using DebugRow = std::array<uint16_t, 13>;
