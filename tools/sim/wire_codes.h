#pragma once
// Device-side checksums, kept apart from the master's so that a fault in one side's
// arithmetic shows up as a refused packet instead of agreeing with itself.
#include <cstddef>
#include <cstdint>

namespace sim {

// Instruction protocol: complement of the 8-bit sum of every byte given (id .. last data).
uint8_t InstructionChecksum(const uint8_t* bytes, size_t n);

// Modbus RTU CRC-16 (init 0xFFFF, reflected polynomial 0xA001); sent low byte first.
uint16_t ModbusCrc(const uint8_t* bytes, size_t n);

}  // namespace sim
