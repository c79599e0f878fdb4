// The servo search end to end: CServoMain with its real bus objects against the simulated
// demo bus on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/servo_main.h"
#include "app_fakes.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/number_text.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/wait_until.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

namespace {

using Calls = std::vector<std::string>;

class SearchSimTest : public ::testing::Test, protected FakeWindow {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartDemoBus(bus), "");
        main = std::make_unique<CServoMain>(view, ui, shared.strings);
        main->Wire({&debug, &pg, &upgrade, &pwm}, shared.Bus(), false);
        main->SetPreferredPort(bus.port_path());
        main->OnInitDialog();
        // A short extra reply time keeps the 254 empty ids quick; the simulator answers
        // well within it.
        view.texts[kTimeoutEdit] = "5";
        main->OnOpenClicked();
        ASSERT_TRUE(main->port_open());
    }
    void TearDown() override {
        main.reset();
        ui.Drain();
        bus.Stop();
    }

    void FinishSearch() { RunSearchToEnd(*main, ui, std::chrono::seconds(120)); }
    void Search() {
        main->OnSearchClicked();
        FinishSearch();
    }

    sim::SimBus bus;
    SharedObjects shared;
    std::unique_ptr<CServoMain> main;
};

// The bus scripts/demo.sh shows, found whole.
TEST_F(SearchSimTest, FindsEveryDemoDeviceWithKindRecordAndName) {
    EXPECT_EQ(bus.LineBaud(), 115200);
    Search();
    const Calls rows[] = {
        {"1", "VX40 servo (4096 steps)"}, {"2", "VX40 servo (4096 steps)"},
        {"3", "VX62 servo (1024 steps)"}, {"4", "VX62 servo (1024 steps)"},
        {"5", "VXP9 pulse-width servo"},  {"6", "VXM8 Modbus servo"},
        {"7", "VXM8 Modbus servo"},
    };
    const ServoInfo records[] = {
        {3, 6, 0, 4, 0, 1, 4, 0, 1},     {3, 6, 0, 4, 0, 2, 4, 0, 1},
        {5, 2, 1, 6, 2, 3, 4, 0, 1},     {5, 2, 1, 6, 2, 4, 4, 0, 1},
        {7, 1, 0, 9, 255, 5, 5, 255, 1}, {2, 10, 1, 8, 5, 6, 2, 255, 1},
        {2, 10, 1, 8, 5, 7, 2, 255, 1},
    };
    const int kinds[] = {0, 0, 0, 0, 1, 2, 2};
    ASSERT_EQ(view.rows.size(), 7u);
    ASSERT_EQ(main->found_count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(view.rows[i], rows[i]) << "row " << i;
        EXPECT_EQ(main->found()[i].record, records[i]) << "row " << i;
        EXPECT_EQ(main->found()[i].kind, kinds[i]) << "row " << i;
    }
    EXPECT_EQ(view.Text(kStatusLine), "Stop");
    EXPECT_EQ(view.Text(kSearchButton), "Search");

    // Same number of devices: the selection stays, and the selected servo's setup file is
    // current again although the search looked in the Modbus file last.
    main->OnListClicked(2);
    EXPECT_EQ(view.Text(kStatusLine), "Select ID:3");
    EXPECT_EQ(shared.tervion.End.load(), 1);
    // Firmware register 312 reads as version 3.12.
    ASSERT_TRUE(bus.WithModbusServo(7, [](sim::ModbusServo& s) { s.SetRegister(0, 312); }));
    Search();
    EXPECT_EQ(main->selected_index(), 2);
    ASSERT_EQ(main->found_count(), 7);
    EXPECT_EQ(main->found()[6].record[0], 3);
    EXPECT_EQ(main->found()[6].record[1], 12);

    // One device more: the selection is gone.
    bus.AddServo(sim::BuiltInServoModel(), sim::ServoSettings{40, 0, 115200, 1});
    Search();
    EXPECT_EQ(main->found_count(), 8);
    EXPECT_EQ(main->selected_index(), -1);

    // A servo moved to 256000 baud (index 12): the port follows.
    EXPECT_EQ(main->FollowBaudChange(12, 0, kKindServo), 115200);
    EXPECT_EQ(view.Text(kBaudCombo), "256000");
    EXPECT_EQ(bus.LineBaud(), 256000);
}

TEST_F(SearchSimTest, StopAfterAFewIdsKeepsTheRowsFound) {
    main->OnSearchClicked();
    // Past the demo devices (ids 1 to 7), each empty id takes a reply time-out.
    auto probing = [&] {
        const std::string text = view.Text(kStatusLine);
        const long id = LeadingInteger(text.substr(std::min<size_t>(text.size(), 8)));
        return text.rfind("Ping ID:", 0) == 0 && id >= 12 && id < 253;
    };
    ASSERT_TRUE(WaitUntil(probing, std::chrono::seconds(30), [&] {
        ui.Drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    main->OnSearchClicked();
    FinishSearch();
    ASSERT_EQ(view.rows.size(), 7u);
    EXPECT_EQ(view.rows[0][0], "1");
    EXPECT_EQ(view.rows[6][0], "7");
    EXPECT_EQ(main->found_count(), 7);
    EXPECT_LT(bus.requests_seen(), 100) << "the worker stopped at its next id";
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_EQ(view.Text(kStatusLine), "Stop");
}

}  // namespace
