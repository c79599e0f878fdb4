// The main window while a firmware exchange owns the line: no search, no port change, no
// other tab, and closing the window ends the exchange with the port restored.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "../app/app_fakes.h"
#include "../app/shared_objects.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
#include "tests/support/demo_bus.h"
#include "tests/support/found_list.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

namespace {

struct QuietView : ServoTestView {
    void SetText(int, const std::string&) override {}
    void Enable(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int p) override { position = p; }
    bool AskOpenFile(const std::string&, const std::string&, std::string& path) override {
        path = file;
        return true;
    }
    void ShowMessage(const std::string&, const std::string& t, bool) override {
        boxes.push_back(t);
    }
    std::string file;
    int position = 0;
    std::vector<std::string> boxes;
};

TEST(MainWindowDuringUpgrade, SearchPortAndTabsWaitAndCloseEndsTheExchange) {
    sim::SimBus bus({.wire_time = true});
    ASSERT_EQ(StartDemoBus(bus), "");
    TestFolder dir;
    SharedObjects shared;
    FakeView view;
    QueuedDispatcher ui;
    PageLog log;
    FakeDebugPage debug{log};
    FakeProgrammingPage pg{log};
    FakePwmPage pwm{log};
    CServoTest upgrade(shared.modbus, shared.tervion, shared.setup, shared.lock, false, ui);
    QuietView upgrade_view;
    upgrade.InitDialog(&upgrade_view);
    auto main = std::make_unique<CServoMain>(view, ui, shared.strings);
    main->Wire({&debug, &pg, &upgrade, &pwm}, shared.Bus(), false);
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
    ASSERT_TRUE(WaitUntil([&] { return upgrade_view.position >= 3; }, std::chrono::seconds(20),
                          [&] {
                              ui.Drain();
                              std::this_thread::sleep_for(std::chrono::milliseconds(1));
                          }))
        << "the upload did not start";
    main->OnSearchClicked();
    EXPECT_FALSE(main->searching());
    EXPECT_EQ(view.texts[kStatusLine], "Firmware upgrade in progress: wait until it has ended");
    main->OnOpenClicked();
    EXPECT_TRUE(main->port_open()) << "the port is not closed under the exchange";
    log.Take();
    view.selected_tab = -1;
    main->OnTabChanged(CServoMain::kTabPwm);  // would write to the adapter from the UI thread
    EXPECT_EQ(view.selected_tab, CServoMain::kTabUpgrade);
    EXPECT_TRUE(log.Take().empty());

    main->Shutdown();  // the window closes
    EXPECT_FALSE(upgrade.UpgradeRunning());
    // 128 KiB take the wire about 11 s: closing ended the exchange instead of waiting for it.
    EXPECT_EQ(bus.uploads(), 0);
    EXPECT_EQ(shared.comm.BaudRate.load(), 115200);
    EXPECT_EQ(bus.LineBaud(), 115200);
    main.reset();
    ui.Drain();
    EXPECT_TRUE(upgrade_view.boxes.empty());
    bus.Stop();
}

}  // namespace
