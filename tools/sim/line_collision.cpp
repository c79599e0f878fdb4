#include "tools/sim/line_collision.h"

#include <algorithm>

namespace sim {

std::vector<uint8_t> CollideOnLine(const std::vector<std::vector<uint8_t>>& replies,
                                   int skew_bits) {
    size_t length = 0;
    for (size_t k = 0; k < replies.size(); ++k)
        length = std::max(length, k * static_cast<size_t>(skew_bits) + replies[k].size() * 10);
    std::vector<uint8_t> line(length, 1);  // idle high
    for (size_t k = 0; k < replies.size(); ++k) {
        size_t at = k * static_cast<size_t>(skew_bits);
        for (uint8_t byte : replies[k]) {
            line[at] = 0;  // start bit
            for (int b = 0; b < 8; ++b) line[at + 1 + b] &= (byte >> b) & 1;
            at += 10;  // the stop bit is idle high and changes nothing
        }
    }
    std::vector<uint8_t> received;
    for (size_t t = 0; t < line.size();) {
        if (line[t] != 0) {
            ++t;
            continue;
        }
        uint8_t byte = 0;
        for (int b = 0; b < 8 && t + 1 + b < line.size(); ++b)
            byte |= static_cast<uint8_t>(line[t + 1 + b] << b);
        received.push_back(byte);  // a missing stop bit still delivers the byte
        t += 10;
    }
    return received;
}

}  // namespace sim
