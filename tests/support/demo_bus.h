#pragma once
// The simulated buses several page tests share, built from the sample setup files' models
// and started on a pseudo-terminal. Each returns "" once the bus runs, else why it did not.
#include <string>

#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

inline std::string StartedOrWhyNot(sim::SimBus& bus) {
    std::string error;
    if (bus.Start(&error)) return "";
    return error.empty() ? "the simulated bus did not start" : error;
}

// The devices `vexa-sim --demo` puts on the line.
inline std::string StartDemoBus(sim::SimBus& bus) {
    sim::AddDevices(bus, sim::ModelCatalog(VEXA_RESOURCE_DIR "/setup"), sim::DemoDevices(),
                    nullptr);
    return StartedOrWhyNot(bus);
}

// Devices at five rates, two servos sharing id 3 at 57600 (`vexa-sim --demo-spread`).
inline std::string StartSpreadBus(sim::SimBus& bus) {
    sim::AddDevices(bus, sim::ModelCatalog(VEXA_RESOURCE_DIR "/setup"), sim::SpreadDemoDevices(),
                    nullptr);
    return StartedOrWhyNot(bus);
}

// Servos 1 and 2 (VX40), 3 (VX62, high byte first), 5 (VXP9, PWM family) and Modbus servo 6
// (VXM8), all at 115200.
inline std::string StartFiveServoBus(sim::SimBus& bus) {
    const sim::ModelCatalog catalog(VEXA_RESOURCE_DIR "/setup");
    const sim::ModelIdentity low{3, 6, 0, 4, 0}, high{5, 2, 1, 6, 2}, pwm{7, 1, 0, 9, 0},
        modbus{2, 10, 1, 8, 5};
    bus.AddServo(catalog.Resolve(sim::Family::kServo, low, nullptr), {.id = 1});
    bus.AddServo(catalog.Resolve(sim::Family::kServo, low, nullptr), {.id = 2});
    bus.AddServo(catalog.Resolve(sim::Family::kServo, high, nullptr), {.id = 3, .end = 1});
    bus.AddServo(catalog.Resolve(sim::Family::kPwm, pwm, nullptr), {.id = 5});
    bus.AddModbusServo(catalog.Resolve(sim::Family::kModbus, modbus, nullptr), {.id = 6});
    return StartedOrWhyNot(bus);
}
