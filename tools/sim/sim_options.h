#pragma once
// The command line of vexa-sim and the devices it describes.
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"

namespace sim {

struct DeviceOption {
    Family family = Family::kServo;
    int id = 1;
    int end = 0;
    int baud = 115200;
    int level = 1;
    std::optional<ModelIdentity> identity;  // fw= and model= given
};

struct SimOptions {
    SimConfig config;
    std::string setup_dir;
    std::vector<DeviceOption> devices;
    bool demo = false;
    bool demo_spread = false;  // the demo's devices over several rates, one id shared
    bool open_device = false;  // a device sitting in its boot loader
    bool exit_on_eof = false;
    bool help = false;
};

// false with a message on a usage error.
bool ParseOptions(const std::vector<std::string>& args, SimOptions& out, std::string* error);
// "ID[:key=value,...]" for --servo, --pwm and --modbus.
bool ParseDevice(Family family, const std::string& text, DeviceOption& out, std::string* error);
// The demo bus: instruction servos of both sample models and byte orders, a PWM-family
// servo, two Modbus servos, all at 115200 baud.
std::vector<DeviceOption> DemoDevices();
// The same devices spread over five rates, plus a second servo answering under id 3 at
// its rate: a bus to find with the all-rate discovery.
std::vector<DeviceOption> SpreadDemoDevices();
// Adds the devices to the bus with models from the catalog; notes go to `notes`.
void AddDevices(SimBus& bus, const ModelCatalog& catalog, const std::vector<DeviceOption>& devices,
                std::vector<std::string>* notes);

const char* UsageText();

}  // namespace sim
