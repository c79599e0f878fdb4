#include "app/servo_identity.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "definitions/servo_setup.h"
#include "definitions/servo_types.h"
#include "modbus/rtu.h"
#include "protocol/qvs.h"

bool ReadIdentityFromBus(QVS& qvs, Rtu& rtu, BusLock& lock, int id, uint8_t identity[5],
                         ServoKind kind) {
    std::lock_guard<BusLock> g(lock);
    const uint8_t bus_id = static_cast<uint8_t>(id);
    if (kind == kKindServo) {
        return qvs.Read(bus_id, 0, identity, 5) == 5;
    }
    if (kind == kKindPwm) {
        uint8_t b[4] = {};
        if (qvs.Read(bus_id, 0, b, 4) != 4) return false;
        const uint8_t out[5] = {b[2], b[1], 0xFF, b[0], 0xFF};
        std::copy(out, out + 5, identity);
        return true;
    }
    if (kind == kKindModbus) {
        uint16_t r[2] = {};
        if (rtu.ReadHoldingRegisters(bus_id, 0, r, 2) != 2) return false;
        const uint8_t out[5] = {static_cast<uint8_t>(r[0] / 100), static_cast<uint8_t>(r[0] % 100),
                                0xFF, static_cast<uint8_t>(r[1] / 100),
                                static_cast<uint8_t>(r[1] % 100)};
        std::copy(out, out + 5, identity);
        return true;
    }
    return false;
}

int CompareModelOnBus(ServoSetup& setup, QVS& qvs, Rtu& rtu, BusLock& lock, int id,
                      const uint8_t identity[5], ServoKind kind) {
    // The keys come back from the lookups themselves: a poll's lookup on another thread
    // between the calls cannot swap the kept key.
    std::array<uint8_t, 4> kept{}, now{};
    const std::string& file = setup.FileForKind(kind);
    if (!setup.HasMemoryTable(file, identity, &kept)) return 1;
    uint8_t read_back[5] = {};
    if (!ReadIdentityFromBus(qvs, rtu, lock, id, read_back, kind)) return 1;
    if (!setup.HasMemoryTable(file, read_back, &now)) return 1;
    return now == kept ? 0 : 2;
}
