// The main window's search with "All rates" checked, end to end: CServoMain with its real
// bus objects against the simulated spread bus (devices at five rates, two servos sharing
// id 3 at 57600) on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/servo_main.h"
#include "app_fakes.h"
#include "shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/wait_until.h"

namespace {

using Calls = std::vector<std::string>;

class DiscoveryWindowTest : public ::testing::Test, protected FakeWindow {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartSpreadBus(bus), "");
        main = std::make_unique<CServoMain>(view, ui, shared.strings);
        main->Wire({&debug, &pg, &upgrade, &pwm}, shared.Bus(), false);
        main->SetPreferredPort(bus.port_path());
        DiscoveryOptions options;
        options.rates = {1000000, 500000, 115200, 57600, 9600};
        options.last_id = 7;
        options.margin_ms = 30;  // generous on a shared machine; speed is the benchmark's
        main->SetDiscoveryOptions(options);
        main->OnInitDialog();
        main->OnOpenClicked();
        ASSERT_TRUE(main->port_open());
        view.checked[kAllRatesCheck] = true;
    }
    void TearDown() override {
        main.reset();
        ui.Drain();
        bus.Stop();
    }

    sim::SimBus bus;
    SharedObjects shared;
    std::unique_ptr<CServoMain> main;
};

// Each device with the rate it answered at, the shared id as a row behind the devices that
// cannot be selected, and a device at another rate switching the port to its rate.
TEST_F(DiscoveryWindowTest, ListsDevicesWithTheirRatesAndSwitchesToTheSelectedOnesRate) {
    EXPECT_EQ(view.texts[kAllRatesCheck], "All rates");
    main->OnSearchClicked();
    EXPECT_FALSE(view.enabled[kAllRatesCheck]);
    EXPECT_EQ(view.columns, (Calls{"ID", "Modle", "Baud"}));
    RunSearchToEnd(*main, ui, std::chrono::seconds(60));

    const std::vector<Calls> rows = {
        {"1", "VX40 servo (4096 steps)", "1000000"},
        {"2", "VX40 servo (4096 steps)", "500000"},
        {"5", "VXP9 pulse-width servo", "115200"},
        {"6", "VXM8 Modbus servo", "115200"},
        {"4", "VX62 servo (1024 steps)", "57600"},
        {"7", "VXM8 Modbus servo", "9600"},
        {"3", "id 3: garbled replies — two or more devices may share this id", "57600"},
    };
    EXPECT_EQ(view.rows, rows);
    EXPECT_EQ(main->found_count(), 6);
    EXPECT_EQ(view.Text(kStatusLine), "Stop");
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_TRUE(view.enabled[kAllRatesCheck]);
    EXPECT_EQ(bus.LineBaud(), 115200);  // the port is back at the window's rate

    log.Take();
    main->OnListClicked(6);  // the garbled id: named on the status line, nothing selected
    EXPECT_EQ(view.Text(kStatusLine),
              "id 3: garbled replies — two or more devices may share this id");
    EXPECT_EQ(main->selected_index(), -1);
    EXPECT_EQ(log.Take(), Calls{});
    EXPECT_EQ(bus.LineBaud(), 115200);

    main->OnListClicked(4);  // servo 4 at 57600
    EXPECT_EQ(main->selected_index(), 4);
    EXPECT_EQ(view.Text(kBaudCombo), "57600");
    EXPECT_EQ(bus.LineBaud(), 57600);
    uint8_t identity[5];
    ASSERT_TRUE(main->ReadServoIdentity(4, identity, kKindServo));
    EXPECT_EQ(identity[0], 5);
    EXPECT_EQ(log.Take()[0], "debug.SelectServo 4 4 6 0");

    // Unchecked, the search is the plain one again at the new rate, in two columns.
    view.checked[kAllRatesCheck] = false;
    view.texts[kTimeoutEdit] = "5";
    main->OnSearchClicked();
    EXPECT_EQ(view.columns, (Calls{"ID", "Modle"}));
    main->OnSearchClicked();  // stop it at once
    RunSearchToEnd(*main, ui, std::chrono::seconds(30));
}

// Stopping ends the pass at the next probe and keeps the rows found so far; a device picked
// on the Programming tab while the pass ran gets its rate, then its torque write, once the
// pass has let go of the port.
TEST_F(DiscoveryWindowTest, StopKeepsTheRowsFoundSoFar) {
    main->OnTabChanged(CServoMain::kTabProgramming);
    main->OnSearchClicked();
    ASSERT_TRUE(
        WaitUntil([&] { return view.Text(kStatusLine).rfind("115200 baud: Ping ID:", 0) == 0; },
                  std::chrono::seconds(30),
                  [&] {
                      ui.Drain();
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  }));
    log.Take();
    main->OnListClicked(1);  // servo 2, found at 500000
    EXPECT_EQ(main->selected_index(), 1);
    const Calls picked = log.Take();
    EXPECT_EQ(std::count(picked.begin(), picked.end(), "pg.SetTorqueByte 0"), 0);
    main->OnSearchClicked();
    RunSearchToEnd(*main, ui, std::chrono::seconds(30));
    const Calls ended = log.Take();
    EXPECT_EQ(std::count(ended.begin(), ended.end(), "pg.SetTorqueByte 0"), 1);
    ASSERT_GE(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0], (Calls{"1", "VX40 servo (4096 steps)", "1000000"}));
    EXPECT_EQ(view.rows[1], (Calls{"2", "VX40 servo (4096 steps)", "500000"}));
    EXPECT_LE(view.rows.size(), 4u);  // nothing from 57600 or 9600
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_EQ(view.Text(kStatusLine), "Stop");
    EXPECT_EQ(view.Text(kBaudCombo), "500000");
    EXPECT_EQ(bus.LineBaud(), 500000);
}

}  // namespace
