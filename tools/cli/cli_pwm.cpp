#include "tools/cli/cli_pwm.h"

#include <ostream>

#include "pages/pwm/servo_pwm.h"
#include "pages/pwm/servo_pwm_memory_view.h"
#include "platform/bus_lock.h"
#include "platform/system.h"

bool ParsePwmCommand(const std::vector<std::string>& rest, CliOptions& o, std::string& error) {
    const std::string usage = "usage: pwm pulse US [--min N] [--max N] | pwm on | pwm off";
    if (rest.empty()) {
        error = usage;
        return false;
    }
    const std::string& sub = rest[0];
    o.words = {sub};
    o.numbers = {-1, -1, -1};
    if (sub == "on" || sub == "off") {
        if (rest.size() != 1) {
            error = usage;
            return false;
        }
    } else if (sub == "pulse") {
        if (rest.size() < 2 || !ParseNumber(rest[1], 0, 65535, o.numbers[0])) {
            error = usage;
            return false;
        }
        for (size_t k = 2; k < rest.size(); k += 2) {
            const bool is_min = rest[k] == "--min";
            if ((!is_min && rest[k] != "--max") || k + 1 >= rest.size() ||
                !ParseNumber(rest[k + 1], 0, 9999, o.numbers[is_min ? 1 : 2])) {
                error = usage;
                return false;
            }
        }
    } else {
        error = usage;
        return false;
    }
    if (o.port.empty()) {
        error = "pwm needs --port";
        return false;
    }
    return true;
}

int RunPwmCommand(const CliOptions& o, Tervion& tervion, std::ostream& out, std::ostream& err) {
    BusLock lock;
    CServoPwm page(tervion, lock, UserIsChinese());
    ServoPwmMemoryView view;
    page.InitDialog(&view);
    page.Activate();
    const std::string& sub = o.words[0];
    if (sub == "pulse") {
        const long minimum = o.numbers[1], maximum = o.numbers[2];
        if (minimum >= 0 || maximum >= 0) {
            if (minimum >= 0) view.SetText(kPwmMinEdit, std::to_string(minimum));
            if (maximum >= 0) view.SetText(kPwmMaxEdit, std::to_string(maximum));
            page.SwitchOn();
        }
        page.SetPulse(static_cast<int>(o.numbers[0]));
        out << view.Text(kPwmPulseStatic) << "\n";
    } else if (sub == "on") {
        page.SwitchOn();
        out << page.Minimum() << " " << page.Maximum() << "\n";
    } else {
        page.SwitchOff();
    }
    page.Deactivate();
    return 0;
}
