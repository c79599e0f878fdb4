#include "tools/cli/cli_options.h"

#include <map>
#include <optional>
#include <string_view>

#include "platform/number_text.h"
#include "tools/cli/cli_bus_monitor.h"
#include "tools/cli/cli_programming.h"
#include "tools/cli/cli_pwm.h"
#include "tools/cli/cli_scan.h"
#include "tools/cli/cli_update.h"
#include "tools/cli/cli_upgrade.h"

namespace {

struct Range {
    long min, max;
};

constexpr Range kId{0, 254};
constexpr Range kAddr{0, 255};
constexpr Range kByte{0, 255};
constexpr Range kWord{0, 65535};
constexpr Range kSlave{0, 255};

// Argument shapes per command: fixed leading arguments, then an optional repeated one.
struct Shape {
    std::vector<Range> fixed;
    bool repeated;  // one or more further arguments of `more`
    Range more;
};

const std::map<std::string, Shape>& Shapes() {
    static const std::map<std::string, Shape> shapes = {
        {"ports", {{}, false, {}}},
        {"scan", {{}, false, {}}},
        {"read", {{kId, kAddr, {1, 253}}, false, {}}},
        {"write", {{kId, kAddr}, true, kByte}},
        {"regwrite", {{kId, kAddr}, true, kByte}},
        {"action", {{kId}, false, {}}},
        {"restart", {{kId}, false, {}}},
        {"recovery", {{kId}, false, {}}},
        {"backup", {{kId}, false, {}}},
        {"writeword", {{kId, kAddr, kWord}, false, {}}},
        {"position", {{kId, {-32768, 32767}, kByte, kWord, kWord}, false, {}}},
        {"mb-read", {{kSlave, kWord, {1, 125}}, false, {}}},
        {"mb-write", {{kSlave, kWord}, true, kWord}},
        {"mb-restart", {{kSlave}, false, {}}},
    };
    return shapes;
}

bool ParseIdList(const std::string& text, std::vector<uint8_t>& ids) {
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        long id = 0;
        if (!ParseNumber(text.substr(start, comma - start), 0, 253, id)) return false;
        ids.push_back(static_cast<uint8_t>(id));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    // Decimal, or hexadecimal after "0x"; a '-' may lead either.
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits[0] == '-') return false;
    const std::optional<long long> magnitude = ParseInteger(digits, 0, 1LL << 40, base);
    if (!magnitude) return false;
    const long long v = negative ? -*magnitude : *magnitude;
    if (v < min || v > max) return false;
    value = static_cast<long>(v);
    return true;
}

bool ParseCli(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
    size_t i = 0;
    auto number_option = [&](const std::string& name, long min, long max, int& out) {
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        long v = 0;
        if (!ParseNumber(args[i + 1], min, max, v)) {
            error = "bad value for " + name + ": " + args[i + 1];
            return false;
        }
        out = static_cast<int>(v);
        i += 2;
        return true;
    };
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        if (ParseMonitorOption(args, i, o)) continue;
        const std::string& a = args[i];
        if (a == "--port" || a == "--setup-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = a + " needs a value";
                return false;
            }
            (a == "--port" ? o.port : o.setup_dir) = args[i + 1];
            i += 2;
        } else if (a == "--parity") {
            const std::string v = i + 1 < args.size() ? args[i + 1] : "";
            if (v == "none")
                o.parity = 0;
            else if (v == "odd")
                o.parity = 1;
            else if (v == "even")
                o.parity = 2;
            else {
                error = "--parity takes none, odd or even";
                return false;
            }
            i += 2;
        } else if (a == "--baud") {
            if (!number_option(a, 1, 100000000, o.baud)) return false;
        } else if (a == "--timeout") {
            if (!number_option(a, 0, 600000, o.timeout)) return false;
        } else if (a == "--end") {
            if (!number_option(a, 0, 1, o.end)) return false;
        } else if (a == "--level") {
            if (!number_option(a, 0, 255, o.level)) return false;
        } else if (a == "--pos-address") {
            if (!number_option(a, 0, 255, o.pos_address)) return false;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (i >= args.size()) {
        error = "no command";
        return false;
    }
    o.command = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());

    // Update-server commands: no port, text arguments.
    if (o.command == "check-version" || o.command == "fetch") {
        const size_t want = o.command == "fetch" ? 2 : 0;
        if (rest.size() != want) {
            error = o.command == "fetch" ? "usage: fetch NAME OUT" : "usage: check-version";
            return false;
        }
        o.words = rest;
        return true;
    }

    if (IsUpgradeCommand(o.command)) return ParseUpgradeCommand(rest, o, error);
    if (o.command == "pwm") return ParsePwmCommand(rest, o, error);
    if (o.command == "self-update") return ParseSelfUpdateCommand(rest, o, error);
    if (IsProgrammingCommand(o.command)) return ParseProgrammingCommand(rest, o, error);

    if (o.command == "syncwrite") {
        // ADDR COUNT ID[,ID...] BYTE...: exactly COUNT bytes for every listed id.
        long addr = 0, count = 0;
        if (rest.size() < 3 || !ParseNumber(rest[0], 0, 255, addr) ||
            !ParseNumber(rest[1], 1, 255, count) || !ParseIdList(rest[2], o.ids)) {
            error = "usage: syncwrite ADDR COUNT ID[,ID...] BYTE...";
            return false;
        }
        if (rest.size() - 3 != static_cast<size_t>(count)) {
            error = "syncwrite: COUNT is " + std::to_string(count) + " but " +
                    std::to_string(rest.size() - 3) + " bytes were given";
            return false;
        }
        o.numbers = {addr, count};
        for (size_t k = 3; k < rest.size(); ++k) {
            long b = 0;
            if (!ParseNumber(rest[k], 0, 255, b)) {
                error = "bad byte: " + rest[k];
                return false;
            }
            o.numbers.push_back(b);
        }
        if (o.port.empty()) {
            error = "syncwrite needs --port";
            return false;
        }
        return true;
    }

    if (o.command == "scan") {
        if (!ParseScanArguments(rest, o, error)) return false;
        rest.clear();
    }

    const auto it = Shapes().find(o.command);
    if (it == Shapes().end()) {
        error = "unknown command " + o.command;
        return false;
    }
    const Shape& shape = it->second;
    const size_t fixed = shape.fixed.size();
    if (rest.size() < fixed || (!shape.repeated && rest.size() != fixed) ||
        (shape.repeated && rest.size() == fixed)) {
        error = "wrong number of arguments for " + o.command;
        return false;
    }
    for (size_t k = 0; k < rest.size(); ++k) {
        const Range r = k < fixed ? shape.fixed[k] : shape.more;
        long v = 0;
        if (!ParseNumber(rest[k], r.min, r.max, v)) {
            error = o.command + ": bad argument " + rest[k];
            return false;
        }
        o.numbers.push_back(v);
    }
    if (o.command == "position" && o.pos_address < 0) {
        error = "position needs --pos-address";
        return false;
    }
    if (o.command != "ports" && o.port.empty()) {
        error = o.command + " needs --port";
        return false;
    }
    return true;
}

std::string CliUsage() {
    return "usage: vexa-cli [--port PATH] [--baud N] [--parity none|odd|even] [--timeout MS]\n"
           "                [--end 0|1] [--level N] [--pos-address A] [--setup-dir DIR]\n"
           "                [--trace] COMMAND\n"
           "commands:\n"
           "  ports\n"
           "  read ID ADDR COUNT\n"
           "  write ID ADDR BYTE...        regwrite ID ADDR BYTE...\n"
           "  action ID   restart ID   recovery ID   backup ID\n"
           "  commtest ID[,ID...] [PASSES]   upgrade ID FILE [--device bus|pwm|modbus]\n"
           "  firmware-online ID [--upgrade]   (Upgrade page; need --setup-dir)\n"
           "  syncwrite ADDR COUNT ID[,ID...] BYTE...\n"
           "  writeword ID ADDR VALUE\n"
           "  position ID POS ACC SPEED TIME   (needs --pos-address)\n"
           "  mb-read ID REG COUNT   mb-write ID REG VALUE...   mb-restart ID\n"
           "  scan [--all-bauds [--margin MS] [--rates R1,R2,...]] [FIRST LAST]\n"
           "                                (--all-bauds: at each of the 14 baud rates, each\n"
           "                                 line led by the rate, a RATE ID garbled line for\n"
           "                                 replies that collide; FIRST LAST: those ids)\n"
           "  check-version                 (update server: 0 same, -1 no date, -2 no answer,\n"
           "                                 -3 no data, -4 newer build)\n"
           "  fetch NAME OUT                (download a file by the file query)\n"
           "  pwm pulse US [--min N] [--max N]   pwm on   pwm off   (PWM adapter, id 253)\n"
           "  self-update [DIR]             (VexaUpdate's download into DIR, default .)\n"
           "  table ID   set ID NAME VALUE [--hidden]   (need --setup-dir)\n"
           "  params save|load ID FILE   params recovery|backup|online ID\n"
           "--trace: every byte sent (TX) and received (RX) on standard error, with seconds\n"
           "         since the start to the microsecond\n"
           "numbers: decimal or 0x-hex. exit: 0 ok, 1 no answer or refused, 2 usage error\n";
}
