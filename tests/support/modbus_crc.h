#pragma once
// Appends the Modbus CRC (low byte first) to a frame that tests build by hand. Written out
// here rather than taken from the master, so a fault in the master's CRC cannot hide.
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
