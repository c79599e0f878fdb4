#pragma once
// A table-free CRC-16 engine configured by initial value, final XOR, polynomial and a
// reflection flag. Reflected engines keep the bit-reversed polynomial and shift right
// (low end first); the others feed each byte into the high end and shift left.
#include <cstddef>
#include <cstdint>

class Crc16Engine {
  public:
    Crc16Engine(uint16_t initial, uint16_t final_xor, uint16_t polynomial, bool reflected);

    uint16_t Compute(const uint8_t* data, size_t n) const;

  private:
    uint16_t initial_;
    uint16_t final_xor_;
    uint16_t polynomial_;  // bit-reversed when reflected_
    bool reflected_;
};
