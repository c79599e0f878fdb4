// The Modbus master reading whatever the line delivers. Four leading bytes choose the
// requests (slave id, first register, register count); the rest is the reply stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzzed_line.h"
#include "modbus/modbus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t id = data[0];
    const uint16_t address = static_cast<uint16_t>(data[1] << 4);
    // Up to 40 registers: beyond the 29 a reply frame can carry, so overflow is covered.
    const uint16_t count = static_cast<uint16_t>(data[2] % 41);
    FuzzedLine line(data + 4, size - 4);
    Modbus bus;
    bus.Port = &line;

    uint16_t* registers =
        static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * (count ? count : 1)));
    for (uint16_t k = 0; k < count; ++k) registers[k] = k;
    for (int round = 0; round < 8 && !line.exhausted(); ++round) {
        const int got = bus.ReadHoldingRegisters(id, address, registers, count);
        if (got != 0 && got != count) std::abort();
        if (got != 0 && bus.status() != Rtu::kOk) std::abort();
        bus.WriteRegister(id, 133, 128);
        bus.WriteRegisters(id, 128, registers, count);
        if (data[3] & 1) bus.Restart(id);
    }
    std::free(registers);
    return 0;
}
