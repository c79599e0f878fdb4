#include "transport/bus_rates.h"

#include <mutex>

#include "transport/cqv_comm.h"

namespace bus_rates {
namespace {

// Table position per servo baud-rate index 0..12; -1 where the device has no such rate.
constexpr int kServoPositions[13] = {0, 1, 2, 4, 5, 6, 7, 9, 10, 11, 12, 13, 3};
constexpr int kModbusPositions[13] = {3, 4, 5, 7, 8, 9, 10, 11, 12, 13, -1, -1, -1};

}  // namespace

int RateAt(int position) {
    if (position < 0 || position >= static_cast<int>(kRates.size())) return 0;
    return kRates[static_cast<size_t>(position)];
}

int PositionOf(int rate) {
    for (size_t p = 0; p < kRates.size(); ++p)
        if (kRates[p] == rate) return static_cast<int>(p);
    return -1;
}

int PositionOfIndex(int index, bool modbus) {
    if (index < 0 || index > 12) return -1;
    return modbus ? kModbusPositions[index] : kServoPositions[index];
}

int RateOfIndex(int index, bool modbus) { return RateAt(PositionOfIndex(index, modbus)); }

int FollowServoRate(CQVComm& port, BusLock& lock, int index, int parity, bool modbus) {
    const int rate = RateOfIndex(index, modbus);
    if (rate == 0) return port.BaudRate.load();
    std::lock_guard<BusLock> g(lock);
    return port.SetBaud(rate, parity);
}

}  // namespace bus_rates
