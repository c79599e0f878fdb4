#pragma once
// What the master receives when several devices answer one request on a half-duplex line:
// their frames overlap with a skew of a few bit times (each device has its own return
// delay), a driven 0 wins over the idle 1, and the master's UART cuts the merged bit
// stream into bytes again from each start bit it sees. The result is not a valid reply.
#include <cstdint>
#include <vector>

namespace sim {

// Reply k (0 first) starts k * skew_bits bit times after reply 0; every byte is a frame of
// ten bits (start, eight data bits low bit first, stop).
std::vector<uint8_t> CollideOnLine(const std::vector<std::vector<uint8_t>>& replies,
                                   int skew_bits = 13);

}  // namespace sim
