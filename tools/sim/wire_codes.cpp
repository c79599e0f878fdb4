#include "tools/sim/wire_codes.h"

namespace sim {

uint8_t InstructionChecksum(const uint8_t* bytes, size_t n) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<uint8_t>(~sum & 0xFF);
}

uint16_t ModbusCrc(const uint8_t* bytes, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc >>= 1;
            if (carry) crc ^= 0xA001;
        }
    }
    return crc;
}

}  // namespace sim
