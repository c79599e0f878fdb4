#include "tools/cli/cli_runner.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "definitions/server_file.h"
#include "definitions/server_query.h"
#include "definitions/servo_setup.h"
#include "definitions/servo_types.h"
#include "modbus/modbus.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "protocol/tervion.h"
#include "tools/cli/cli_bus_monitor.h"
#include "tools/cli/cli_programming.h"
#include "tools/cli/cli_pwm.h"
#include "tools/cli/cli_scan.h"
#include "tools/cli/cli_update.h"
#include "tools/cli/cli_upgrade.h"
#include "transport/cqv_comm.h"

namespace {

const char* StatusText(uint8_t status) {
    switch (status) {
        case Rtu::kTimeout:
            return "time-out";
        case Rtu::kException:
            return "exception or unsupported function";
        case Rtu::kCrc:
            return "CRC mismatch";
        case Rtu::kWrongId:
            return "wrong slave id";
        case Rtu::kOverflow:
            return "frame overflow";
        default:
            return "ok";
    }
}

int ModbusFailure(const Modbus& m, std::ostream& err) {
    err << "Modbus status " << int(m.status()) << " (" << StatusText(m.status()) << ")\n";
    return 1;
}

std::string HexLine(const uint8_t* bytes, int n) {
    std::string line;
    char buf[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) line += ' ';
        line += buf;
    }
    return line;
}

}  // namespace

int RunCommand(const CliOptions& o, CQVComm& port, ServoSetup* setup, std::ostream& out,
               std::ostream& err) {
    Tervion t;
    t.Comm = &port;
    t.End = static_cast<uint8_t>(o.end);
    t.Level = static_cast<uint8_t>(o.level);
    if (o.pos_address >= 0) t.PosAddress = static_cast<uint8_t>(o.pos_address);
    Modbus m;
    m.Port = &port;

    const std::string& c = o.command;
    const std::vector<long>& v = o.numbers;
    auto u8 = [](long x) { return static_cast<uint8_t>(x); };
    auto no_status = [&](long id) {
        err << "no valid status packet from servo " << id << "\n";
        return 1;
    };

    if (c == "read") {
        std::vector<uint8_t> bytes(static_cast<size_t>(v[2]));
        if (t.Read(u8(v[0]), u8(v[1]), bytes.data(), static_cast<int>(v[2])) != v[2]) {
            err << "no valid reply from servo " << v[0] << "\n";
            return 1;
        }
        out << HexLine(bytes.data(), static_cast<int>(v[2])) << "\n";
        return 0;
    }
    if (c == "write" || c == "regwrite") {
        std::vector<uint8_t> data;
        for (size_t k = 2; k < v.size(); ++k) data.push_back(u8(v[k]));
        const int n = static_cast<int>(data.size());
        const int ok = c == "write" ? t.Write(u8(v[0]), u8(v[1]), data.data(), n)
                                    : t.RegWrite(u8(v[0]), u8(v[1]), data.data(), n);
        return ok ? 0 : no_status(v[0]);
    }
    if (c == "writeword") {
        return t.WriteWord(u8(v[0]), u8(v[1]), static_cast<uint16_t>(v[2])) ? 0 : no_status(v[0]);
    }
    if (c == "position") {
        const int ok = t.WritePosition(u8(v[0]), static_cast<int16_t>(v[1]), u8(v[2]),
                                       static_cast<uint16_t>(v[3]), static_cast<uint16_t>(v[4]));
        return ok ? 0 : no_status(v[0]);
    }
    if (c == "syncwrite") {
        std::vector<uint8_t> data;
        for (size_t k = 2; k < v.size(); ++k) data.push_back(u8(v[k]));
        if (!t.SyncWrite(o.ids.data(), static_cast<int>(o.ids.size()), u8(v[0]), data.data(),
                         static_cast<int>(data.size()))) {
            err << "sync write too long for one packet\n";
            return 1;
        }
        return 0;
    }
    if (c == "action") return t.Action(u8(v[0])), 0;
    if (c == "restart") return t.Restart(u8(v[0])), 0;
    if (c == "recovery") return t.Recovery(u8(v[0])) ? 0 : no_status(v[0]);
    if (c == "backup") return t.Backup(u8(v[0])) ? 0 : no_status(v[0]);
    if (c == "mb-read") {
        std::vector<uint16_t> regs(static_cast<size_t>(v[2]));
        const auto count = static_cast<uint16_t>(v[2]);
        if (m.ReadHoldingRegisters(u8(v[0]), static_cast<uint16_t>(v[1]), regs.data(), count) !=
                static_cast<uint8_t>(count) ||
            m.status() != Rtu::kOk) {
            return ModbusFailure(m, err);
        }
        for (size_t k = 0; k < regs.size(); ++k) out << (k ? " " : "") << regs[k];
        out << "\n";
        return 0;
    }
    if (c == "mb-write") {
        std::vector<uint16_t> values;
        for (size_t k = 2; k < v.size(); ++k) values.push_back(static_cast<uint16_t>(v[k]));
        const bool ok = values.size() == 1
                            ? m.WriteRegister(u8(v[0]), static_cast<uint16_t>(v[1]), values[0])
                            : m.WriteRegisters(u8(v[0]), static_cast<uint16_t>(v[1]), values.data(),
                                               static_cast<uint16_t>(values.size()));
        return ok ? 0 : ModbusFailure(m, err);
    }
    if (c == "mb-restart") {
        m.Restart(u8(v[0]));
        return m.status() == Rtu::kOk ? 0 : ModbusFailure(m, err);
    }
    if (c == "scan") return RunScan(o, port, t, m, setup, out);
    if (c == "pwm") return RunPwmCommand(o, t, out, err);
    err << "unknown command " << c << "\n";
    return 2;
}

static int RunServerCommand(const CliOptions& o, std::ostream& out, std::ostream& err) {
    if (o.command == "check-version") {
        out << CheckVersion(SettingsStore(SettingsStore::DefaultFolder())) << "\n";
        return 0;
    }
    // fetch NAME OUT: the file query, decoded, written whole or not at all.
    const ServerReply reply = DownloadServerFile(o.words[0], kMaxReplyBytes);
    if (reply.result == ServerResult::kNoReply) {
        err << "no answer from the update server\n";
        return 1;
    }
    if (reply.result == ServerResult::kNothingStored) {
        err << "the update server has no file " << o.words[0] << "\n";
        return 1;
    }
    if (reply.result == ServerResult::kTooLarge) {
        err << "the file does not decode\n";
        return 1;
    }
    const std::vector<uint8_t>& bytes = reply.bytes;
    const size_t n = bytes.size();
    const std::string tmp = o.words[1] + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    const bool written = f && (n == 0 || std::fwrite(bytes.data(), 1, n, f) == n);
    const bool closed = f && std::fclose(f) == 0;
    if (!written || !closed || std::rename(tmp.c_str(), o.words[1].c_str()) != 0) {
        std::remove(tmp.c_str());
        err << "cannot write " << o.words[1] << "\n";
        return 1;
    }
    out << n << " bytes\n";
    return 0;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliOptions o;
    std::string error;
    if (!ParseCli(args, o, error)) {
        err << error << "\n" << CliUsage();
        return 2;
    }
    if (o.command == "check-version" || o.command == "fetch") return RunServerCommand(o, out, err);
    if (o.command == "self-update") return RunSelfUpdateCommand(o, out, err);
    CQVComm port;
    if (o.command == "ports") {
        const int n = port.EnumeratePorts();
        for (int i = 0; i < n; ++i) out << port.PortNames[i] << "\n";
        return 0;
    }
    if (!port.OpenPort(o.port)) {
        err << "cannot open " << o.port << "\n";
        return 1;
    }
    if (o.trace) StartTrace(port, err);
    port.ConfigurePort(o.baud, o.parity, o.timeout);
    if (IsUpgradeCommand(o.command)) return RunUpgradeCommand(o, port, out, err);
    if (IsProgrammingCommand(o.command)) return RunProgramming(o, port, out, err);

    if (o.setup_dir.empty() || o.command != "scan") return RunCommand(o, port, nullptr, out, err);
    StringTable strings(UserIsChinese());
    SettingsStore settings(SettingsStore::DefaultFolder());
    ServoSetup setup(strings, settings);
    setup.SetFolders(o.setup_dir);
    return RunCommand(o, port, &setup, out, err);
}
