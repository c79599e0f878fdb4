#pragma once
// Frames that tests build by hand: the Modbus CRC (low byte first) and servo instruction
// frames with their checksum. Written out here rather than taken from the protocol code, so a
// fault in its CRC or checksum cannot hide.
#include <cstdint>
#include <vector>

inline void AppendModbusCrc(std::vector<uint8_t>& frame) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : frame) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
}

// FF FF, id, length, the instruction (or a reply's error byte), the parameters, and the
// checksum: the inverted low byte of the sum from the id on.
inline std::vector<uint8_t> ServoFrame(uint8_t id, uint8_t code,
                                       const std::vector<uint8_t>& params) {
    std::vector<uint8_t> f = {0xFF, 0xFF, id, static_cast<uint8_t>(params.size() + 2), code};
    for (uint8_t b : params) f.push_back(b);
    unsigned sum = 0;
    for (size_t i = 2; i < f.size(); ++i) sum += f[i];
    f.push_back(static_cast<uint8_t>(~sum));
    return f;
}
