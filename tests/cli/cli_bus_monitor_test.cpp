// vexa-cli's scan over every baud rate and its byte trace, run whole (RunCli) against the
// simulated bus on a pseudo-terminal.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/demo_bus.h"
#include "tools/cli/cli_runner.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

class CliBusMonitor : public ::testing::Test {
  protected:
    // Devices as vexa-sim's --servo and --modbus take them.
    void StartBus(const std::vector<std::pair<sim::Family, std::string>>& devices) {
        std::vector<sim::DeviceOption> options;
        for (const auto& [family, text] : devices) {
            sim::DeviceOption d;
            std::string error;
            ASSERT_TRUE(sim::ParseDevice(family, text, d, &error)) << error;
            options.push_back(d);
        }
        sim::ModelCatalog catalog(VEXA_RESOURCE_DIR "/setup");
        sim::AddDevices(bus_, catalog, options, nullptr);
        ASSERT_EQ(StartedOrWhyNot(bus_), "");
    }
    void TearDown() override { bus_.Stop(); }

    CliRun Cli(std::vector<std::string> args) {
        std::vector<std::string> all = {"--port", bus_.port_path(), "--timeout", "20"};
        all.insert(all.end(), args.begin(), args.end());
        std::ostringstream out, err;
        const int status = RunCli(all, out, err);
        return {status, out.str(), err.str()};
    }

    sim::SimBus bus_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

// Each device is found at its own rate only (its baud-rate byte, record byte 6, agrees),
// the rates in the main window's order from 1000000 down to 4800, and the scan keeps to
// the ids asked for (servo 9 is left out).
TEST_F(CliBusMonitor, ScanAllBaudsReportsEachDeviceAtTheRateItAnswered) {
    StartBus({{sim::Family::kModbus, "1:baud=1000000,fw=2.10,model=8.5"},
              {sim::Family::kServo, "2:baud=57600,fw=3.6,model=4.0"},
              {sim::Family::kServo, "3:baud=4800,end=1,fw=5.2,model=6.2"},
              {sim::Family::kServo, "9:baud=57600,fw=3.6,model=4.0"}});
    const CliRun r = Cli({"--setup-dir", VEXA_RESOURCE_DIR "/setup", "scan", "--all-bauds",
                          "--margin", "30", "0", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "1000000 1 2 2 10 1 8 5 1 2 255 1 VXM8 Modbus servo",
                                "57600 2 0 3 6 0 4 0 2 6 0 1 VX40 servo (4096 steps)",
                                "4800 3 0 5 2 1 6 2 3 11 0 1 VX62 servo (1024 steps)",
                            }));

    // Ranges are checked before the port is touched.
    EXPECT_EQ(Cli({"scan", "--all-bauds", "3", "2"}).status, 2);
    EXPECT_EQ(Cli({"scan", "--all-bauds", "2"}).status, 2);
    EXPECT_EQ(Cli({"scan", "0", "254"}).status, 2);
    EXPECT_EQ(Cli({"scan", "--baud"}).status, 2);
}

// The spread bus through the chosen rates, named out of order: lines in the window's rate
// order, the shared id as a garbled line (exit status still 0), nothing on standard error
// when it is not a terminal.
TEST_F(CliBusMonitor, ScanAllBaudsFlagsTheSharedIdAndKeepsTheWindowsRateOrder) {
    ASSERT_EQ(StartSpreadBus(bus_), "");
    const CliRun r = Cli({"--setup-dir", VEXA_RESOURCE_DIR "/setup", "scan", "--all-bauds",
                          "--rates", "9600,57600,1000000,115200", "--margin", "30", "0", "7"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "1000000 1 0 3 6 0 4 0 1 0 0 1 VX40 servo (4096 steps)",
                                "115200 5 1 7 1 0 9 255 5 5 255 1 VXP9 pulse-width servo",
                                "115200 6 2 2 10 1 8 5 6 2 255 1 VXM8 Modbus servo",
                                "57600 3 garbled",
                                "57600 4 0 5 2 1 6 2 4 6 0 1 VX62 servo (1024 steps)",
                                "9600 7 2 2 10 1 8 5 7 8 255 1 VXM8 Modbus servo",
                            }));

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"scan", "--margin", "5"},                    // only with --all-bauds
             {"scan", "--all-bauds", "--rates", "12345"},  // not a rate of the list
             {"scan", "--all-bauds", "--rates", "9600,"},  // an empty entry
             {"scan", "--all-bauds", "--margin", "-1"},
             {"scan", "--all-bauds", "--margin"},
         }) {
        const CliRun refused = Cli(bad);
        EXPECT_EQ(refused.status, 2) << bad.back();
        EXPECT_EQ(refused.out, "") << bad.back();
    }
}

// The trace shows the request and the reply byte for byte, with a time stamp to the
// microsecond and the direction; a read that gets nothing is shown too.
TEST_F(CliBusMonitor, TraceShowsEveryByteWithTimeAndDirection) {
    StartBus({{sim::Family::kServo, "1"}});
    CliRun r = Cli({"--trace", "read", "1", "0", "9"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "03 0A 00 09 03 01 04 00 01\n");
    const std::regex shape(R"(^(\d+)\.(\d{6}) (TX|RX)((?: [0-9A-F]{2})+| -)$)");
    std::string sent, received;
    double last = -1;
    for (const std::string& line : Lines(r.err)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        const double t = std::stod(m[1].str() + "." + m[2].str());
        EXPECT_GE(t, last) << line;
        last = t;
        (m[3] == "TX" ? sent : received) += m[4].str();
    }
    EXPECT_EQ(sent, " FF FF 01 04 02 00 09 EF");
    EXPECT_EQ(received, " FF FF 01 0B 00 03 0A 00 09 03 01 04 00 01 D4");

    // Nobody at id 9: the request goes out in one write, the read shows it got nothing.
    r = Cli({"--trace", "read", "9", "0", "1"});
    EXPECT_EQ(r.status, 1);
    std::string all;
    for (const std::string& line : Lines(r.err)) {
        std::smatch m;
        if (std::regex_match(line, m, shape)) all += " " + m[3].str() + m[4].str();
    }
    EXPECT_EQ(all, " TX FF FF 09 04 02 00 01 EF RX -") << r.err;
}
