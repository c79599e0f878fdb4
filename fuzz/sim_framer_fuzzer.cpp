// What the simulator does with the tool's bytes: cut into requests in arbitrary chunks,
// and every request handed to the devices that would see it on the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tools/sim/instruction_servo.h"
#include "tools/sim/modbus_servo.h"
#include "tools/sim/request_framer.h"
#include "tools/sim/servo_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte sets the chunk size the bytes arrive in (1..16).
    const size_t chunk = (data[0] & 0x0F) + 1;
    sim::InstructionServo servo(sim::BuiltInServoModel(), {.id = 1, .end = data[0] >> 7});
    sim::InstructionServo pwm(sim::BuiltInPwmModel(), {.id = 2});
    sim::ModbusServo modbus(sim::BuiltInModbusModel(), {.id = 1});
    sim::RequestFramer framer;
    sim::RequestFramer::Frame frame;
    std::vector<uint8_t> reply;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = std::min(chunk, size - at);
        framer.Feed(data + at, n);
        while (framer.Next(frame)) {
            if (frame.bytes.empty()) std::abort();
            reply.clear();
            if (frame.kind == sim::RequestFramer::Kind::kInstruction) {
                servo.HandleInstruction(frame.bytes.data(), frame.bytes.size(), reply);
                reply.clear();
                pwm.HandleInstruction(frame.bytes.data(), frame.bytes.size(), reply);
            } else {
                modbus.HandleModbus(frame.bytes.data(), frame.bytes.size(), reply);
            }
        }
        if (framer.buffered() > sim::RequestFramer::kMaxBuffered) std::abort();
    }
    return 0;
}
