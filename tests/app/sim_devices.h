#pragma once
// A demo-like simulated bus for the end-to-end tests: both instruction-protocol sample
// models in both byte orders, the pulse-width servo and two Modbus servos, at 115200 baud,
// with the identities the sample setup files describe.
#include <vector>

#include "tools/sim/sim_options.h"

inline sim::DeviceSpec SimDevice(sim::Family family, int id, int end, sim::ModelIdentity identity) {
    sim::DeviceSpec d;
    d.family = family;
    d.id = id;
    d.end = end;
    d.identity = identity;
    return d;
}

inline std::vector<sim::DeviceSpec> SampleBus() {
    using sim::Family;
    return {
        SimDevice(Family::kServo, 1, 0, {3, 6, 0, 4, 0}),
        SimDevice(Family::kServo, 2, 0, {3, 6, 0, 4, 0}),
        SimDevice(Family::kServo, 3, 1, {5, 2, 1, 6, 2}),
        SimDevice(Family::kPwm, 6, 0, {7, 1, 0, 9, 0}),
        SimDevice(Family::kModbus, 10, 1, {2, 10, 1, 8, 5}),
        SimDevice(Family::kModbus, 11, 1, {2, 10, 1, 8, 5}),
    };
}
