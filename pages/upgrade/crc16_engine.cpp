#include "pages/upgrade/crc16_engine.h"

namespace {
uint16_t Reverse16(uint16_t v) {
    uint16_t r = 0;
    for (int i = 0; i < 16; ++i) {
        r = static_cast<uint16_t>((r << 1) | (v & 1));
        v >>= 1;
    }
    return r;
}
}  // namespace

Crc16Engine::Crc16Engine(uint16_t initial, uint16_t final_xor, uint16_t polynomial, bool reflected)
    : initial_(initial),
      final_xor_(final_xor),
      polynomial_(reflected ? Reverse16(polynomial) : polynomial),
      reflected_(reflected) {}

uint16_t Crc16Engine::Compute(const uint8_t* data, size_t n) const {
    uint16_t crc = initial_;
    for (size_t k = 0; k < n; ++k) {
        if (reflected_) {
            crc ^= data[k];
            for (int b = 0; b < 8; ++b)
                crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ polynomial_)
                                : static_cast<uint16_t>(crc >> 1);
        } else {
            crc ^= static_cast<uint16_t>(data[k] << 8);
            for (int b = 0; b < 8; ++b)
                crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ polynomial_)
                                     : static_cast<uint16_t>(crc << 1);
        }
    }
    return static_cast<uint16_t>(crc ^ final_xor_);
}
