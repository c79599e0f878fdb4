#include "tools/sim/sim_options.h"

#include <iterator>

#include "platform/number_text.h"

namespace sim {
namespace {

bool ParseInt(const std::string& text, long low, long high, int& out) {
    const auto v = ParseInteger(text, low, high, 0);
    if (!v) return false;
    out = static_cast<int>(*v);
    return true;
}

// "MAJ.MIN" with both parts 0..255.
bool ParsePair(const std::string& text, uint8_t& major, uint8_t& minor) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return false;
    int a = 0;
    int b = 0;
    if (!ParseInt(text.substr(0, dot), 0, 255, a) || !ParseInt(text.substr(dot + 1), 0, 255, b))
        return false;
    major = static_cast<uint8_t>(a);
    minor = static_cast<uint8_t>(b);
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: vexa-sim [options] [devices]\n"
           "devices:\n"
           "  --servo ID[:end=0|1,baud=N,level=N,fw=MAJ.MIN,model=MAJ.MIN]\n"
           "  --pwm ID[:end=0|1,baud=N,fw=MAJ.MIN,model=MAJ.MIN]   PWM-family servo\n"
           "  --modbus ID[:baud=N,fw=MAJ.MIN,model=MAJ.MIN]\n"
           "  --open-device           a device in its boot loader (answers only at 500000)\n"
           "  --demo                  the demo bus (added to any devices given): servos 1-4,\n"
           "                          PWM-family servo 5, Modbus servos 6 and 7, the PWM\n"
           "                          signal adapter at 253 (writes only), 115200 baud;\n"
           "                          models from the sample setup files unless --setup-dir\n"
           "  --demo-spread           the demo's devices spread over the rates 1000000,\n"
           "                          500000, 115200, 57600 and 9600, with two servos\n"
           "                          sharing id 3 at 57600 (for scan --all-bauds)\n"
           "options:\n"
           "  --setup-dir DIR         take models from the setup files in DIR\n"
           "  --link PATH             keep a symbolic link to the port at PATH\n"
           "  --wire-time             add the byte time of request and reply\n"
           "  --reply-delay-us N      wait N microseconds before every reply\n"
           "  --exit-on-eof           stop when standard input ends\n"
           "The first line on standard output is the port path. Standard input takes\n"
           "commands: drop N | corrupt N | garbage N | late N MS | endless on|off |\n"
           "clear | error ID BITS | wire on|off | delay US | quit\n";
}

bool ParseDevice(Family family, const std::string& text, DeviceOption& out, std::string* error) {
    out = DeviceOption{};
    out.family = family;
    if (family == Family::kModbus) out.end = 1;
    const size_t colon = text.find(':');
    const long max_id = family == Family::kModbus ? 247 : 253;
    const long min_id = family == Family::kModbus ? 1 : 0;
    if (!ParseInt(text.substr(0, colon), min_id, max_id, out.id)) {
        *error = "bad device id in '" + text + "'";
        return false;
    }
    if (colon == std::string::npos) return true;
    std::string rest = text.substr(colon + 1);
    ModelIdentity identity;
    bool has_fw = false;
    bool has_model = false;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        bool ok = false;
        if (key == "end" && family != Family::kModbus) {
            ok = ParseInt(value, 0, 1, out.end);
        } else if (key == "baud") {
            ok = ParseInt(value, 50, 4000000, out.baud);
        } else if (key == "level" && family == Family::kServo) {
            ok = ParseInt(value, 0, 255, out.level);
        } else if (key == "fw") {
            ok = has_fw = ParsePair(value, identity.fw_major, identity.fw_minor);
        } else if (key == "model") {
            ok = has_model = ParsePair(value, identity.model_major, identity.model_minor);
        }
        if (!ok) {
            *error = "bad device setting '" + item + "' in '" + text + "'";
            return false;
        }
    }
    if (has_fw != has_model) {
        *error = "fw= and model= go together in '" + text + "'";
        return false;
    }
    if (has_fw) {
        identity.variant = family == Family::kModbus ? 1 : static_cast<uint8_t>(out.end);
        out.identity = identity;
    }
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, SimOptions& out, std::string* error) {
    out = SimOptions{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--demo") {
            out.demo = true;
        } else if (a == "--demo-spread") {
            out.demo_spread = true;
        } else if (a == "--open-device") {
            out.open_device = true;
        } else if (a == "--wire-time") {
            out.config.wire_time = true;
        } else if (a == "--exit-on-eof") {
            out.exit_on_eof = true;
        } else if (a == "--link") {
            if (!value(out.config.link_path)) return false;
        } else if (a == "--setup-dir") {
            if (!value(out.setup_dir)) return false;
        } else if (a == "--reply-delay-us") {
            if (!value(v)) return false;
            if (!ParseInt(v, 0, 10000000, out.config.reply_delay_us)) {
                *error = "bad --reply-delay-us '" + v + "'";
                return false;
            }
        } else if (a == "--servo" || a == "--pwm" || a == "--modbus") {
            if (!value(v)) return false;
            const Family family = a == "--servo" ? Family::kServo
                                  : a == "--pwm" ? Family::kPwm
                                                 : Family::kModbus;
            DeviceOption device;
            if (!ParseDevice(family, v, device, error)) return false;
            out.devices.push_back(device);
        } else {
            *error = "unknown option '" + a + "'";
            return false;
        }
    }
    return true;
}

std::vector<DeviceOption> DemoDevices() {
    std::vector<DeviceOption> d;
    auto add = [&](Family family, int id, int end, std::optional<ModelIdentity> identity) {
        DeviceOption s;
        s.family = family;
        s.id = id;
        s.end = end;
        s.identity = identity;
        d.push_back(s);
    };
    // The sample models of the setup files: two byte-order-0 servos (firmware 3.6, model
    // 4.0), two byte-order-1 servos (5.2, 6.2), a PWM-family servo (7.1, 9.0) and two
    // Modbus servos (2.10, 8.5). Modbus ids differ from the others: the search tries
    // Modbus only where the instruction protocol got no answer.
    const ModelIdentity low{3, 6, 0, 4, 0};
    const ModelIdentity high{5, 2, 1, 6, 2};
    const ModelIdentity pwm{7, 1, 0, 9, 0};
    const ModelIdentity modbus{2, 10, 1, 8, 5};
    add(Family::kServo, 1, 0, low);
    add(Family::kServo, 2, 0, low);
    add(Family::kServo, 3, 1, high);
    add(Family::kServo, 4, 1, high);
    add(Family::kPwm, 5, 0, pwm);
    add(Family::kModbus, 6, 1, modbus);
    add(Family::kModbus, 7, 1, modbus);
    return d;
}

std::vector<DeviceOption> SpreadDemoDevices() {
    std::vector<DeviceOption> d = DemoDevices();
    // The demo devices' rates in their order; a device added later keeps the default rate.
    const int rates[] = {1000000, 500000, 57600, 57600, 115200, 115200, 9600};
    for (size_t k = 0; k < d.size() && k < std::size(rates); ++k) d[k].baud = rates[k];
    // A new servo of the other model, delivered with the id of one already on the bus.
    DeviceOption twin = d[0];
    twin.id = 3;
    twin.baud = 57600;
    d.push_back(twin);
    return d;
}

void AddDevices(SimBus& bus, const ModelCatalog& catalog, const std::vector<DeviceOption>& devices,
                std::vector<std::string>* notes) {
    for (const DeviceOption& device : devices) {
        std::string note;
        ServoModel model = catalog.Resolve(device.family, device.identity, &note);
        if (notes && !note.empty())
            notes->push_back("device " + std::to_string(device.id) + ": " + note);
        if (device.family == Family::kModbus) {
            bus.AddModbusServo(std::move(model), ModbusSettings{device.id, device.baud});
        } else {
            bus.AddServo(std::move(model),
                         ServoSettings{device.id, device.end, device.baud, device.level});
        }
    }
}

}  // namespace sim
