#pragma once
// The bus rates the tool offers, in the order the baud combo lists them, and the mapping
// from a servo's baud-rate index (its memory byte) to one of them. Instruction-protocol
// servos and Modbus devices number their rates differently.
#include <array>

#include "platform/bus_lock.h"

class CQVComm;

namespace bus_rates {

inline constexpr std::array<int, 14> kRates = {1000000, 500000, 250000, 256000, 128000,
                                               115200,  76800,  57600,  56000,  38400,
                                               19200,   14400,  9600,   4800};
// Position of 115200, the rate a fresh window starts at.
inline constexpr int kDefaultPosition = 5;

// The rate at position, or 0 outside the table.
int RateAt(int position);
// The position of rate in the table, or -1 when the table lacks it.
int PositionOf(int rate);
// The position of a servo's baud-rate index 0..12, or -1 where the device has no such rate.
int PositionOfIndex(int index, bool modbus);
// The rate of a servo's baud-rate index, or 0 for none.
int RateOfIndex(int index, bool modbus);

// Moves the port to the rate a servo now answers at (its baud-rate index) with parity,
// inside one bus transaction. Returns what CQVComm::SetBaud returns, or the port's
// present rate, unchanged, when the index names no rate.
int FollowServoRate(CQVComm& port, BusLock& lock, int index, int parity, bool modbus);

}  // namespace bus_rates
