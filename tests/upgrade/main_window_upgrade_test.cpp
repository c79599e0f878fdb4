// The main window while a firmware exchange owns the line: no search, no port change, no
// other tab, and closing the window ends the exchange with the port restored.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "pages/upgrade/servo_test.h"
#include "tests/app/app_fakes.h"
#include "tests/app/shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/found_list.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "tests/upgrade/upgrade_fixture.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

namespace {

TEST(MainWindowDuringUpgrade, SearchPortAndTabsWaitAndCloseEndsTheExchange) {
    sim::SimBus bus;
    bus.SetWireTime(true);
    ASSERT_EQ(StartDemoBus(bus), "");
    TestFolder dir;
    SharedObjects shared;
    FakeWindow w;
    CServoTest upgrade(shared.modbus, shared.tervion, shared.setup, shared.lock, false, w.ui);
    upgrade_test::FakeView upgrade_view;
    upgrade.InitDialog(&upgrade_view);
    auto main = std::make_unique<CServoMain>(w.view, w.ui, shared.strings);
    main->Wire({&w.debug, &w.pg, &upgrade, &w.pwm}, shared.Bus(), false);
    main->SetPreferredPort(bus.port_path());
    main->OnInitDialog();
    main->OnOpenClicked();
    ASSERT_TRUE(main->port_open());

    dir.Put("fw.bin", std::string(131072, '\x5A'));
    upgrade_view.file = dir.path() + "/fw.bin";
    ServoInfo record{};
    record[5] = 1;
    upgrade.SetServo(1, FoundList(record), 0, "");
    main->OnTabChanged(CServoMain::kTabUpgrade);
    upgrade.OnOpen();
    upgrade.OnUpgrade();
    ASSERT_TRUE(WaitUntil(
        [&] { return !upgrade_view.positions.empty() && upgrade_view.positions.back() >= 3; },
        std::chrono::seconds(20),
        [&] {
            w.ui.Drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }))
        << "the upload did not start";
    main->OnSearchClicked();
    EXPECT_FALSE(main->searching());
    EXPECT_EQ(w.view.texts[kStatusLine], "Firmware upgrade in progress: wait until it has ended");
    main->OnOpenClicked();
    EXPECT_TRUE(main->port_open()) << "the port is not closed under the exchange";
    w.log.Take();
    w.view.selected_tab = -1;
    main->OnTabChanged(CServoMain::kTabPwm);  // would write to the adapter from the UI thread
    EXPECT_EQ(w.view.selected_tab, CServoMain::kTabUpgrade);
    EXPECT_TRUE(w.log.Take().empty());

    main->Shutdown();  // the window closes
    EXPECT_FALSE(upgrade.UpgradeRunning());
    // 128 KiB take the wire about 11 s: closing ended the exchange instead of waiting for it.
    EXPECT_EQ(bus.uploads(), 0);
    EXPECT_EQ(shared.comm.BaudRate.load(), 115200);
    EXPECT_EQ(bus.LineBaud(), 115200);
    main.reset();
    w.ui.Drain();
    EXPECT_TRUE(upgrade_view.boxes.empty());
    bus.Stop();
}

}  // namespace
