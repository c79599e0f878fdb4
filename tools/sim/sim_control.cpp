#include "tools/sim/sim_control.h"

#include <sstream>
#include <vector>

#include "platform/number_text.h"

namespace sim {

std::string ExecuteControl(SimBus& bus, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    if (!(in >> command)) return "ok";
    std::vector<long> numbers;
    std::string word;
    std::vector<std::string> words;
    while (in >> word) {
        words.push_back(word);
        if (const auto v = ParseInteger<long>(word, 0)) numbers.push_back(*v);
    }
    auto count_ok = [&](size_t n) { return numbers.size() == n && words.size() == n; };
    auto on_off = [&](bool& on) {
        if (words.size() != 1 || (words[0] != "on" && words[0] != "off")) return false;
        on = words[0] == "on";
        return true;
    };
    FaultInjector& f = bus.faults();
    bool on = false;
    if (command == "drop" && count_ok(1)) {
        f.DropReplies(static_cast<int>(numbers[0]));
    } else if (command == "corrupt" && count_ok(1)) {
        f.CorruptReplies(static_cast<int>(numbers[0]));
    } else if (command == "garbage" && count_ok(1)) {
        f.GarbageBeforeReplies(static_cast<int>(numbers[0]), {0x12, 0x34, 0xFF, 0x56});
    } else if (command == "late" && count_ok(2)) {
        f.LateReplies(static_cast<int>(numbers[0]), static_cast<int>(numbers[1]));
    } else if (command == "endless" && on_off(on)) {
        f.SetEndlessGarbage(on);
    } else if (command == "clear" && words.empty()) {
        f.Clear();
        bus.random_faults().Set(0, 1);
    } else if (command == "wire" && on_off(on)) {
        bus.SetWireTime(on);
    } else if (command == "delay" && count_ok(1) && numbers[0] >= 0) {
        bus.SetReplyDelayUs(static_cast<int>(numbers[0]));
    } else if (command == "error" && count_ok(2)) {
        const int id = static_cast<int>(numbers[0]);
        const auto bits = static_cast<uint8_t>(numbers[1]);
        const bool found = bus.WithServo(id, [&](InstructionServo& s) { s.SetErrorBits(bits); }) ||
                           bus.WithModbusServo(id, [&](ModbusServo& s) { s.SetErrorBits(bits); });
        if (!found) return "error: no device with id " + std::to_string(id);
    } else if (command == "boot" && !words.empty()) {
        // Faults of the firmware exchange: nak K (block K once), nak-all, silent, garbage, clear.
        BootFaults boot;
        if (words[0] == "nak" && words.size() == 2 && numbers.size() == 1 && numbers[0] > 0) {
            boot = {BootFaults::kNakOnce, static_cast<int>(numbers[0])};
        } else if (words.size() == 1 && words[0] == "nak-all") {
            boot.kind = BootFaults::kNakForever;
        } else if (words.size() == 1 && words[0] == "silent") {
            boot.kind = BootFaults::kSilent;
        } else if (words.size() == 1 && words[0] == "garbage") {
            boot.kind = BootFaults::kGarbage;
        } else if (!(words.size() == 1 && words[0] == "clear")) {
            return "error: boot nak K | nak-all | silent | garbage | clear";
        }
        bus.SetBootFaults(boot);
    } else if (command == "random" && (count_ok(1) || count_ok(2)) && numbers[0] >= 0 &&
               numbers[0] <= 100) {
        bus.random_faults().Set(static_cast<int>(numbers[0]),
                                numbers.size() == 2 ? static_cast<uint32_t>(numbers[1]) : 1);
    } else if ((command == "unplug" || command == "replug") && words.empty()) {
        std::string why;
        if (!(command == "unplug" ? bus.Unplug(&why) : bus.Replug(&why))) return "error: " + why;
    } else if (command == "power" && count_ok(1)) {
        const int id = static_cast<int>(numbers[0]);
        const bool found = bus.WithServo(id, [](InstructionServo& s) { s.PowerCycle(); }) ||
                           bus.WithModbusServo(id, [](ModbusServo& s) { s.PowerCycle(); });
        if (!found) return "error: no device with id " + std::to_string(id);
    } else if (command == "quit" && words.empty()) {
        return "bye";
    } else {
        return "error: unknown command '" + line + "'";
    }
    return "ok";
}

}  // namespace sim
