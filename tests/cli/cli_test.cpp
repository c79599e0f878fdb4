// vexa-cli: argument parsing, and each command's wire bytes, output and exit status on a
// port whose far side answers from a table of request -> reply frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "tests/support/byte_script.h"
#include "tests/support/fake_port.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_runner.h"
#include "transport/cqv_comm.h"

namespace {

// The far side answers each request found in `replies` (hex to hex) and ignores the rest.
class ScriptedPort : public FakePort {
  public:
    ScriptedPort() {
        device = [this](const Bytes& request) {
            const auto it = replies.find(HexOf(request));
            return it == replies.end() ? Bytes{} : Hex(it->second);
        };
    }
    std::map<std::string, std::string> replies;
};

struct CliRun {
    int status;
    std::string out, err;
};

CliRun RunOn(ScriptedPort& port, const std::vector<std::string>& args) {
    CliOptions o;
    std::string error;
    std::vector<std::string> all = {"--port", "/dev/null"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_TRUE(ParseCli(all, o, error)) << error;
    std::ostringstream out, err;
    const int status = RunCommand(o, port, nullptr, out, err);
    return {status, out.str(), err.str()};
}

// The bytes a command wrote to the port, or "exit N" when it failed.
std::string Sent(ScriptedPort& port, const std::vector<std::string>& args) {
    port.Take();
    const int status = RunOn(port, args).status;
    return status == 0 ? port.Take() : "exit " + std::to_string(status);
}

TEST(CliParse, OptionsNumbersAndUsageErrors) {
    CliOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseCli({"--port", "/dev/ttyUSB0", "--baud", "1000000", "--parity", "even", "--timeout",
                  "0x10", "--end", "1", "--level", "0", "write", "1", "0x28", "255", "0XfF"},
                 o, error))
        << error;
    EXPECT_EQ(o.port, "/dev/ttyUSB0");
    EXPECT_EQ(o.baud, 1000000);
    EXPECT_EQ(o.parity, 2);
    EXPECT_EQ(o.timeout, 16);
    EXPECT_EQ(o.end, 1);
    EXPECT_EQ(o.level, 0);
    EXPECT_EQ(o.command, "write");
    EXPECT_EQ(o.numbers, (std::vector<long>{1, 40, 255, 255}));

    CliOptions d;
    ASSERT_TRUE(ParseCli({"ports"}, d, error));
    EXPECT_EQ(d.baud, 115200);
    EXPECT_EQ(d.timeout, 25);
    EXPECT_EQ(d.level, 1);
    EXPECT_EQ(d.end, 0);

    CliOptions s;
    ASSERT_TRUE(ParseCli({"--port", "p", "syncwrite", "42", "2", "1,2,0x10", "16", "0"}, s, error));
    EXPECT_EQ(s.ids, (std::vector<uint8_t>{1, 2, 16}));
    EXPECT_EQ(s.numbers, (std::vector<long>{42, 2, 16, 0}));

    CliOptions p;
    ASSERT_TRUE(
        ParseCli({"--port", "p", "--pos-address", "42", "position", "1", "-100", "0", "1000", "0"},
                 p, error));
    EXPECT_EQ(p.numbers[1], -100);

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--port", "p", "fly", "1"},
        {"--bogus", "ports"},
        {"--port", "p", "--parity", "mark", "scan"},
        {"read", "1", "0", "9"},                      // no port
        {"--port", "p", "read", "1", "0"},            // too few
        {"--port", "p", "read", "1", "0", "9", "9"},  // too many
        {"--port", "p", "read", "255", "0", "9"},     // id out of range
        {"--port", "p", "read", "1", "0", "254"},     // reply would not fit
        {"--port", "p", "read", "0x", "0", "9"},
        {"--port", "p", "write", "1", "40", "256"},
        {"--port", "p", "position", "1", "0", "0", "0", "0"},  // no --pos-address
        {"--port", "p", "syncwrite", "42", "2", "1,2", "16"},  // COUNT says 2, one byte
        {"--port", "p", "syncwrite", "42", "1", "1,,2", "16"},
        {"--port", "p", "mb-read", "1", "0", "99999999999999999999"},
    };
    for (const auto& args : bad) {
        CliOptions b;
        std::string why;
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(ParseCli(args, b, why)) << joined;
        EXPECT_FALSE(why.empty()) << joined;
    }
}

TEST(CliCommands, InstructionProtocolCommands) {
    ScriptedPort port;
    port.replies["FF FF 03 04 02 00 09 ED"] = "FF FF 03 0B 00 0A 03 00 30 05 03 00 00 01 AB";
    port.replies["FF FF 03 05 03 28 01 02 C9"] = "FF FF 03 02 00 FA";
    CliRun r = RunOn(port, {"read", "3", "0", "9"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0A 03 00 30 05 03 00 00 01\n");

    r = RunOn(port, {"read", "4", "0", "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("servo 4"), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);

    EXPECT_EQ(RunOn(port, {"write", "3", "40", "1", "2"}).status, 0);
    EXPECT_EQ(RunOn(port, {"write", "3", "41", "1", "2"}).status, 1);  // no status packet
    EXPECT_EQ(RunOn(port, {"--level", "0", "write", "3", "41", "1", "2"}).status, 0);

    EXPECT_EQ(Sent(port, {"syncwrite", "40", "2", "1,2", "5", "6"}),
              "FF FF FE 0A 83 28 02 01 05 06 02 05 06 31");
    EXPECT_EQ(Sent(port, {"--level", "0", "--pos-address", "42", "position", "3", "-100", "5",
                          "1000", "0"}),
              "FF FF 03 0A 03 2A 05 64 80 00 00 E8 03 F1");
    EXPECT_EQ(Sent(port, {"--end", "1", "--level", "0", "writeword", "3", "42", "0x0203"}),
              "FF FF 03 05 03 2A 02 03 C5");

    port.Take();
    EXPECT_EQ(RunOn(port, {"action", "3"}).status, 0);
    EXPECT_EQ(RunOn(port, {"backup", "3"}).status, 1);
    EXPECT_EQ(port.Take(), "FF FF 03 02 05 F5 FF FF 03 02 09 F1");
}

TEST(CliCommands, ModbusCommandsReportTheStatusCode) {
    ScriptedPort port;
    port.replies["07 03 00 0A 00 03 25 AF"] = "07 03 06 00 07 00 04 00 00 FE D4";
    port.replies["07 06 00 81 00 01 18 44"] = "07 06 00 81 00 01 18 44";
    port.replies["07 10 00 80 00 02 04 00 01 00 02 35 46"] = "07 10 00 80 00 02 40 46";
    CliRun r = RunOn(port, {"mb-read", "7", "10", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7 4 0\n");

    r = RunOn(port, {"mb-read", "8", "10", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Modbus status 1 (time-out)\n");
    r = RunOn(port, {"mb-read", "248", "10", "3"});
    EXPECT_EQ(r.err, "Modbus status 4 (wrong slave id)\n");
    r = RunOn(port, {"mb-read", "7", "0", "30"});
    EXPECT_EQ(r.err, "Modbus status 5 (frame overflow)\n");

    EXPECT_EQ(RunOn(port, {"mb-write", "7", "129", "1"}).status, 0);
    EXPECT_EQ(RunOn(port, {"mb-write", "7", "128", "1", "2"}).status, 0);
    EXPECT_EQ(Sent(port, {"mb-restart", "1"}), "01 41 C0 10");
}

TEST(CliCommands, ScanProbesInSearchOrderWithBothProtocols) {
    ScriptedPort port;
    port.replies["FF FF 03 04 02 00 09 ED"] = "FF FF 03 0B 00 0A 03 00 30 05 03 00 00 01 AB";
    port.replies["07 03 00 00 00 04 44 6F"] = "07 03 08 01 38 04 D2 00 00 00 00 4A C6";
    port.replies["07 03 00 0A 00 03 25 AF"] = "07 03 06 00 07 00 04 00 00 FE D4";
    // Answers the first Modbus read only: not a device.
    port.replies["09 03 00 00 00 04 45 41"] = "09 03 08 00 01 00 02 00 00 00 00 D6 B7";
    const CliRun r = RunOn(port, {"scan"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "3 0 10 3 0 48 5 3 0 0 1\n7 2 3 12 1 12 34 7 4 255 1\n");
    ASSERT_GE(port.requests().size(), 3u);
    EXPECT_EQ(HexOf(port.requests()[0]), "FF FF FD 04 02 00 09 F3");  // 253 first; no Modbus id 253
    EXPECT_EQ(HexOf(port.requests()[1]), "FF FF 00 04 02 00 09 F0");
    EXPECT_EQ(HexOf(port.requests()[2]), "00 03 00 00 00 04 45 D8");
    // 254 instruction reads, Modbus reads for 0..247 except the found instruction servo,
    // and the second reads of ids 7 and 9.
    EXPECT_EQ(port.requests().size(), 254u + 247u + 2u);
}

TEST(CliCommands, ScanWithSetupFilesNamesEachKindOfDevice) {
    ScriptedPort port;
    port.replies["FF FF 01 04 02 00 09 EF"] = "FF FF 01 0B 00 03 06 00 04 00 01 04 00 01 E0";
    port.replies["FF FF 02 04 02 00 09 EE"] = "FF FF 02 0B 00 09 01 07 02 00 00 00 00 00 DF";
    port.replies["07 03 00 00 00 04 44 6F"] = "07 03 08 00 D2 03 25 00 00 00 00 34 A6";
    port.replies["07 03 00 0A 00 03 25 AF"] = "07 03 06 00 07 00 02 00 00 1E D5";
    StringTable strings(false);
    SettingsStore settings(::testing::TempDir());
    ServoSetup setup(strings, settings);
    setup.SetFolders(VEXA_RESOURCE_DIR "/setup");
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCli({"--port", "/dev/null", "scan"}, o, error));
    std::ostringstream out, err;
    EXPECT_EQ(RunCommand(o, port, &setup, out, err), 0);
    // The pulse-width device's record is rebuilt from its first four bytes; the lookup
    // fills in its byte 2.
    EXPECT_EQ(out.str(),
              "1 0 3 6 0 4 0 1 4 0 1 VX40 servo (4096 steps)\n"
              "2 1 7 1 0 9 255 2 5 255 1 VXP9 pulse-width servo\n"
              "7 2 2 10 1 8 5 7 2 255 1 VXM8 Modbus servo\n");
}

TEST(CliProgram, UsageErrorsExitTwoAndPortFailuresOne) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--port", "p", "read"}, out, err), 2);
    EXPECT_NE(err.str().find("usage"), std::string::npos);
    std::ostringstream out2, err2;
    EXPECT_EQ(RunCli({"--port", "/nonexistent/tty", "read", "1", "0", "9"}, out2, err2), 1);
    EXPECT_EQ(err2.str(), "cannot open /nonexistent/tty\n");
}

}  // namespace
