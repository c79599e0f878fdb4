// The all-rate discovery against the simulated spread bus on a pseudo-terminal: devices at
// five rates and two servos sharing id 3.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/discovery.h"
#include "shared_objects.h"
#include "tests/support/demo_bus.h"

namespace {

class DiscoverySimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartSpreadBus(bus), "");
        ASSERT_EQ(shared.comm.OpenPort(bus.port_path()), 1);
        shared.comm.ConfigurePort(115200, 0, 25);
    }
    void TearDown() override {
        shared.comm.ClosePort();
        bus.Stop();
    }

    // One text per find: rate, id, then kind, record and model name, or "garbled".
    std::vector<std::string> Run(Discovery& d, const DiscoveryOptions& options) {
        std::vector<std::string> finds;
        d.on_find = [&](const DiscoveryFind& f) {
            std::string line = std::to_string(f.baud) + " " + std::to_string(f.id);
            if (f.garbled) {
                finds.push_back(line + " garbled");
                return;
            }
            line += " " + std::to_string(f.hit.kind);
            for (uint8_t b : f.hit.record) line += " " + std::to_string(b);
            finds.push_back(line + " " + f.hit.name);
        };
        completed = d.Run(options);
        return finds;
    }

    sim::SimBus bus;
    SharedObjects shared;
    bool completed = false;
};

// Every device at its own rate, identified as the search identifies it (main file, PWM
// file, Modbus file), the rates in the window's order whatever order they were asked in,
// the shared id flagged, and the port back at its rate and time-outs afterwards.
TEST_F(DiscoverySimTest, FindsEachDeviceAtItsRateAndFlagsTheSharedId) {
    shared.comm.SetTimeout(500);  // as a page leaves it around a slow operation
    Discovery d(shared.comm, &shared.setup, shared.lock);
    DiscoveryOptions o;
    o.rates = {9600, 57600, 115200, 250000, 500000, 1000000};
    o.first_id = 0;
    o.last_id = 8;
    o.margin_ms = 30;  // generous: the test machine is shared, speed is the benchmark's
    std::vector<DiscoveryProgress> progress;
    d.on_progress = [&](const DiscoveryProgress& p) { progress.push_back(p); };

    EXPECT_EQ(Run(d, o), (std::vector<std::string>{
                             "1000000 1 0 3 6 0 4 0 1 0 0 1 VX40 servo (4096 steps)",
                             "500000 2 0 3 6 0 4 0 2 1 0 1 VX40 servo (4096 steps)",
                             "115200 5 1 7 1 0 9 255 5 5 255 1 VXP9 pulse-width servo",
                             "115200 6 2 2 10 1 8 5 6 2 255 1 VXM8 Modbus servo",
                             "57600 3 garbled",
                             "57600 4 0 5 2 1 6 2 4 6 0 1 VX62 servo (1024 steps)",
                             "9600 7 2 2 10 1 8 5 7 8 255 1 VXM8 Modbus servo",
                         }));
    ASSERT_EQ(progress.size(), 54u);  // 9 ids at 6 rates
    EXPECT_EQ(progress.front().baud, 1000000);
    EXPECT_EQ(progress.front().id, 0);
    EXPECT_EQ(progress.back().baud, 9600);
    EXPECT_EQ(progress.back().id, 8);
    EXPECT_EQ(progress.back().found, 6);  // before the last probe
    EXPECT_EQ(progress.back().total, 54);

    EXPECT_EQ(shared.comm.BaudRate.load(), 115200);
    EXPECT_EQ(shared.comm.ExtraTimeout.load(), 25);
    EXPECT_EQ(shared.comm.Timeout(), 500);
    EXPECT_EQ(bus.LineBaud(), 115200);
}

// Stopping between probes ends the pass there and still restores the port; a rate that is
// not one of the window's is refused before anything is sent.
TEST_F(DiscoverySimTest, StopsBetweenProbesAndRefusesUnknownRates) {
    Discovery d(shared.comm, &shared.setup, shared.lock);
    DiscoveryOptions o;
    o.rates = {500000, 1000000};
    o.margin_ms = 30;
    int probes = 0;
    d.keep_going = [&] { return probes < 3; };
    d.on_progress = [&](const DiscoveryProgress&) { ++probes; };
    EXPECT_EQ(Run(d, o),
              (std::vector<std::string>{"1000000 1 0 3 6 0 4 0 1 0 0 1 VX40 servo (4096 steps)"}));
    EXPECT_FALSE(completed);
    EXPECT_EQ(probes, 3);  // 253, 0 and 1 at 1000000
    EXPECT_EQ(shared.comm.BaudRate.load(), 115200);

    o.rates = {115200, 12345};
    const long seen = bus.requests_seen();
    probes = 0;
    EXPECT_TRUE(Run(d, o).empty());
    EXPECT_FALSE(completed);
    EXPECT_EQ(probes, 0);
    EXPECT_EQ(bus.requests_seen(), seen);
}

}  // namespace
