// CServoMain driven with a fake view, fake pages and a scripted port.
#include "app/servo_main.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "app_fakes.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "shared_objects.h"
#include "test_bus.h"
#include "tests/support/fake_port.h"
#include "tests/support/test_folder.h"

namespace {

using Calls = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class MainWindowTest : public ::testing::Test,
                       protected FakeWindow,
                       protected BusObjects<FakePort> {
  protected:
    explicit MainWindowTest(bool chinese = false) : BusObjects(chinese) {}

    void SetUp() override {
        comm.device = [this](const Bytes& q) { return bus.Answer(q); };
        main = std::make_unique<CServoMain>(view, ui, strings);
        main->Wire({&debug, &pg, &upgrade, &pwm}, Bus(), strings.chinese());
        main->SetPreferredPort("/dev/null");
        main->OnInitDialog();
    }
    void TearDown() override {
        main.reset();
        ui.Drain();
    }

    void DemoDevices() {
        bus.AddServo(1, {3, 6, 0, 4, 0, 1, 4, 0, 1});
        bus.AddServo(2, {5, 2, 1, 6, 2, 2, 4, 0, 1});
        bus.AddServo(5, {9, 1, 7, 5, 0xF4, 1, 0xC4, 9});
        bus.AddServo(9, {99, 1, 2, 3, 4, 9, 4, 0, 1});
        TestBus::ModbusDevice vxm8;
        vxm8.registers = {210, 805, 0, 0, 0, 0, 0, 0, 0, 0, 7, 2, 0};
        bus.AddModbus(7, vxm8);
        TestBus::ModbusDevice silent_settings = vxm8;
        silent_settings.answers_settings = false;
        bus.AddModbus(11, silent_settings);
        TestBus::ModbusDevice newer = vxm8;
        newer.registers[0] = 312;
        newer.registers[10] = 12;
        bus.AddModbus(12, newer);
    }

    void Open() {
        main->OnOpenClicked();
        ASSERT_TRUE(main->port_open());
    }

    // Runs the posted work until the search has ended.
    void FinishSearch() { RunSearchToEnd(*main, ui, std::chrono::seconds(20)); }
    void Search() {
        main->OnSearchClicked();
        FinishSearch();
    }

    TestBus bus;
    std::unique_ptr<CServoMain> main;
};

class ChineseMainWindowTest : public MainWindowTest {
  protected:
    ChineseMainWindowTest() : MainWindowTest(true) {}
};

TEST_F(MainWindowTest, DialogStartsWithEnglishControls) {
    EXPECT_EQ(view.caption, "ZQ Tervion Debug V1.9.8.1");
    EXPECT_EQ(view.tabs, (Calls{"Debug", "Programming", "Upgrade", "PWM"}));
    EXPECT_EQ(view.selected_tab, 0);
    EXPECT_EQ(view.shown_page, 0);
    EXPECT_EQ(view.combos[kBaudCombo],
              (Calls{"1000000", "500000", "250000", "256000", "128000", "115200", "76800", "57600",
                     "56000", "38400", "19200", "14400", "9600", "4800"}));
    EXPECT_EQ(view.Text(kBaudCombo), "115200");
    EXPECT_EQ(view.combos[kParityCombo], (Calls{"NONE", "ODD", "EVEN"}));
    EXPECT_EQ(view.Text(kParityCombo), "NONE");
    EXPECT_EQ(view.Text(kTimeoutEdit), "25");
    EXPECT_EQ(view.limits[kTimeoutEdit], 3);
    EXPECT_EQ(view.columns, (Calls{"ID", "Modle"}));
    EXPECT_EQ(view.widths, (std::vector<int>{40, 110}));
    EXPECT_EQ(view.Text(kOpenButton), "Open");
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    // The port given to the program comes first and is selected.
    ASSERT_FALSE(view.combos[kPortCombo].empty());
    EXPECT_EQ(view.combos[kPortCombo][0], "/dev/null");
    EXPECT_EQ(view.Text(kPortCombo), "/dev/null");
    EXPECT_EQ(main->current_tab(), 0);
    EXPECT_EQ(main->selected_index(), -1);
}

TEST_F(ChineseMainWindowTest, ChineseUserGetsChineseTextsAndSetupFiles) {
    EXPECT_EQ(view.tabs, (Calls{"调试", "编程", "升级", "PWM"}));
    EXPECT_EQ(view.columns, (Calls{"ID", "型号"}));
    EXPECT_EQ(view.Text(kOpenButton), "打开");
    EXPECT_EQ(view.Text(kSearchButton), "搜索");
    EXPECT_EQ(setup.MainName(), "setup.log");
    main->OnCtrlN();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "导入本地配置文件!");
    EXPECT_EQ(view.messages[0].caption, "配置文件");

    // Model names from the Chinese files are shown converted from code page 936.
    bus.AddServo(1, {3, 6, 0, 4, 0, 1, 4, 0, 1});
    bus.AddServo(9, {99, 1, 2, 3, 4, 9, 4, 0, 1});
    setup.SetFolders(VEXA_RESOURCE_DIR "/setup");
    Open();
    Search();
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0][1], "VX40 舵机(4096步)");
    EXPECT_EQ(view.rows[1][1], "未知型号");
    EXPECT_EQ(view.Text(kStatusLine), "停止");
}

TEST_F(MainWindowTest, CtrlNWarnsAlsoWithoutSelection) {
    ASSERT_EQ(main->selected_index(), -1);
    main->OnCtrlN();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Import local setup file!");
    EXPECT_EQ(view.messages[0].caption, "setup file");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::kWarning);
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedStaysClosedSilently) {
    view.combos[kPortCombo] = {"/nonexistent/ttyVEXA0"};
    view.combo_selection[kPortCombo] = 0;
    main->OnOpenClicked();
    EXPECT_FALSE(main->port_open());
    EXPECT_EQ(view.Text(kOpenButton), "Open");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.enabled.empty()) << "no control was disabled";
    // Search with the port closed does nothing.
    main->OnSearchClicked();
    EXPECT_FALSE(main->searching());
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_TRUE(log.Take().empty());
}

// A port refused for lack of permission is named on the status line, in the user's
// language; the port stays closed and the settings stay editable.
TEST_F(MainWindowTest, PortRefusedForPermissionSaysSoOnTheStatusLine) {
    std::vector<std::string> asked;
    main->SetPortAccessCheck([&](const std::string& name) {
        asked.push_back(name);
        return true;
    });
    view.combos[kPortCombo] = {"/nonexistent/ttyUSB3"};
    view.combo_selection[kPortCombo] = 0;
    main->OnOpenClicked();
    EXPECT_FALSE(main->port_open());
    EXPECT_EQ(asked, (Calls{"/nonexistent/ttyUSB3"}));
    EXPECT_EQ(view.Text(kStatusLine),
              "Permission denied: /nonexistent/ttyUSB3. Join the dialout group and log in again.");
    EXPECT_EQ(view.Text(kOpenButton), "Open");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.enabled.empty());
}

TEST_F(ChineseMainWindowTest, PortRefusedForPermissionSaysSoInChinese) {
    main->SetPortAccessCheck([](const std::string&) { return true; });
    view.combos[kPortCombo] = {"/nonexistent/ttyUSB3"};
    view.combo_selection[kPortCombo] = 0;
    main->OnOpenClicked();
    EXPECT_EQ(view.Text(kStatusLine),
              "没有权限：/nonexistent/ttyUSB3。请加入dialout组后重新登录。");
}

TEST_F(MainWindowTest, OpenAndCloseSwitchButtonAndSettings) {
    Open();
    EXPECT_EQ(view.Text(kOpenButton), "Close");
    for (int c : {kBaudCombo, kPortCombo, kParityCombo, kTimeoutEdit})
        EXPECT_FALSE(view.enabled[c]);
    EXPECT_EQ(comm.BaudRate.load(), 115200);
    EXPECT_EQ(comm.ExtraTimeout.load(), 25);
    main->OnOpenClicked();
    EXPECT_FALSE(main->port_open());
    EXPECT_EQ(view.Text(kOpenButton), "Open");
    for (int c : {kBaudCombo, kPortCombo, kParityCombo, kTimeoutEdit}) EXPECT_TRUE(view.enabled[c]);
}

// Tab changes: which page operations run, in which order.
TEST_F(MainWindowTest, TabSwitchingCallsPagesInOrder) {
    struct Case {
        int from, to;
        Calls calls;
    };
    const Case cases[] = {
        {0, 3, {"debug.StopPolling", "pwm.Activate"}},
        {3, 0, {"pwm.Deactivate", "debug.StartPolling"}},
        {0, 1, {"debug.StopPolling", "pwm.Deactivate", "pg.StartRefresh"}},
        {1, 3, {"pg.StopRefresh", "pwm.Activate"}},
        {3, 1, {"pwm.Deactivate", "pg.StartRefresh"}},
        {1, 2, {"pg.StopRefresh", "pwm.Deactivate"}},
        {2, 3, {"upgrade.StopTest", "pwm.Activate"}},
        {3, 2, {"pwm.Deactivate"}},
        {2, 0, {"upgrade.StopTest", "debug.StartPolling"}},
        {0, 0, {"debug.StopPolling", "debug.StartPolling"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(main->current_tab(), c.from);
        log.Take();
        main->OnTabChanged(c.to);
        EXPECT_EQ(log.Take(), c.calls) << c.from << " -> " << c.to;
        EXPECT_EQ(main->current_tab(), c.to);
        EXPECT_EQ(view.shown_page, c.to);
    }
}

TEST_F(MainWindowTest, FollowBaudChangeUsesTheTableOfTheKind) {
    // Instruction protocol index 12 is 256000 (combo position 3); the closed port answers
    // the requested rate.
    EXPECT_EQ(main->FollowBaudChange(12, 0, kKindServo), 256000);
    EXPECT_EQ(view.Text(kBaudCombo), "256000");
    EXPECT_EQ(view.ComboSelection(kBaudCombo), 3);
    // Modbus index 4 is 56000 (position 8), here with parity ODD.
    EXPECT_EQ(main->FollowBaudChange(4, 1, kKindModbus), 56000);
    EXPECT_EQ(view.Text(kBaudCombo), "56000");
    EXPECT_EQ(view.Text(kParityCombo), "ODD");
    EXPECT_EQ(main->FollowBaudChange(3, 0, kKindPwm), 128000);
    EXPECT_EQ(view.Text(kParityCombo), "NONE");
    // Modbus index 10 and any index past 12 leave everything as it is.
    EXPECT_EQ(main->FollowBaudChange(10, 2, kKindModbus), 115200);
    EXPECT_EQ(main->FollowBaudChange(13, 2, kKindServo), 115200);
    EXPECT_EQ(main->FollowBaudChange(-1, 2, kKindServo), 115200);
    EXPECT_EQ(view.Text(kBaudCombo), "128000");
    EXPECT_EQ(view.Text(kParityCombo), "NONE");
}

TEST_F(MainWindowTest, FollowBaudChangeMovesAnOpenPort) {
    Open();
    EXPECT_EQ(main->FollowBaudChange(0, 0, kKindServo), 115200);  // the previous rate
    EXPECT_EQ(comm.BaudRate.load(), 1000000);
    EXPECT_EQ(comm.Timeout(), 26);  // 25 + 1408000 / 1000000
    EXPECT_EQ(main->FollowBaudChange(9, 0, kKindModbus), 1000000);
    EXPECT_EQ(comm.BaudRate.load(), 4800);
}

TEST_F(MainWindowTest, SearchFindsEveryKindInIdOrder) {
    DemoDevices();
    Open();
    main->OnSearchClicked();
    EXPECT_EQ(view.Text(kSearchButton), "Stop");
    EXPECT_EQ(log.Take(), (Calls{"debug.StopPolling", "pg.StopRefreshTimer", "upgrade.StopTest",
                                 "pwm.StopAuto"}));
    FinishSearch();

    // Modbus id 11 answers registers 0..3 but not 10..12: not listed.
    ASSERT_EQ(view.rows.size(), 6u);
    EXPECT_EQ(view.rows[0], (Calls{"1", "VX40 servo (4096 steps)"}));
    EXPECT_EQ(view.rows[1], (Calls{"2", "VX62 servo (1024 steps)"}));
    EXPECT_EQ(view.rows[2], (Calls{"5", "VXP9 pulse-width servo"}));
    EXPECT_EQ(view.rows[3], (Calls{"7", "VXM8 Modbus servo"}));
    EXPECT_EQ(view.rows[4], (Calls{"9", "未知型号"}));
    EXPECT_EQ(view.rows[5], (Calls{"12", "VXM8 Modbus servo"}));
    ASSERT_EQ(main->found_count(), 6);

    const ServoInfo expected[] = {
        {3, 6, 0, 4, 0, 1, 4, 0, 1},        {5, 2, 1, 6, 2, 2, 4, 0, 1},
        {7, 1, 0, 9, 255, 5, 5, 255, 1},     // PWM record rebuilt, byte 2 from the model line
        {2, 10, 1, 8, 5, 7, 2, 255, 1},      // composed from registers 0, 1, 10, 11
        {2, 1, 255, 99, 255, 3, 5, 255, 1},  // unknown: rebuilt, kind 0
        {3, 12, 1, 8, 5, 12, 2, 255, 1},     // register 0 = 312: firmware 3.12
    };
    const int kinds[] = {0, 0, 1, 2, 0, 2};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(main->found()[i].record, expected[i]) << "row " << i;
        EXPECT_EQ(main->found()[i].kind, kinds[i]) << "row " << i;
    }
    EXPECT_EQ(view.Text(kStatusLine), "Stop");
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_EQ(view.progress_total, 0);
    // The Debug tab is current: its polling restarts.
    EXPECT_EQ(log.Take(), (Calls{"debug.StartPolling"}));
}

TEST_F(MainWindowTest, SearchProbes253FirstAndNeverTheBroadcastId) {
    Open();
    Search();
    const auto requests = comm.requests();
    ASSERT_GE(requests.size(), 3u);
    // Read 9 bytes from address 0 of id 253; Modbus has no id 253, so id 0 comes next.
    EXPECT_EQ(requests[0], (Bytes{0xFF, 0xFF, 0xFD, 0x04, 0x02, 0x00, 0x09, 0xF3}));
    EXPECT_EQ(requests[1], (Bytes{0xFF, 0xFF, 0x00, 0x04, 0x02, 0x00, 0x09, 0xF0}));
    EXPECT_EQ(requests[2], (Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x45, 0xD8}));
    int instruction_reads = 0;
    for (const Bytes& q : requests) {
        if (q[0] == 0xFF) {
            ++instruction_reads;
            EXPECT_NE(q[2], 0xFE);
        }
    }
    EXPECT_EQ(instruction_reads, 254);
    EXPECT_EQ(requests.back(), (Bytes{0xFF, 0xFF, 0xFC, 0x04, 0x02, 0x00, 0x09, 0xF4}));
    // Modbus ids end at 247: ids 248 to 253 are asked with the instruction protocol only.
    const auto last_modbus = std::find_if(requests.rbegin(), requests.rend(),
                                          [](const Bytes& q) { return q[0] != 0xFF; });
    ASSERT_NE(last_modbus, requests.rend());
    EXPECT_EQ(*last_modbus, (Bytes{0xF7, 0x03, 0x00, 0x00, 0x00, 0x04, 0x50, 0x9F}));
}

TEST_F(MainWindowTest, SelectingAServoTellsEveryPage) {
    DemoDevices();
    Open();
    Search();
    log.Take();
    tervion.End = 0;
    tervion.Level = 0;
    main->OnListClicked(1);  // VX62: byte order 1, reply level 1
    EXPECT_EQ(tervion.End.load(), 1);
    EXPECT_EQ(tervion.Level.load(), 1);
    EXPECT_EQ(view.Text(kStatusLine), "Select ID:2");
    EXPECT_EQ(log.Take(),
              (Calls{"debug.SelectServo 2 1 6 0", "pg.SelectServo 2 5.2 0",
                     "upgrade.SetServo 2 1 6 0 VX62 servo (1024 steps)", "pwm.SelectServo 2"}));
    EXPECT_EQ(debug.last_found.data(), main->found().data());

    main->OnListClicked(2);  // the PWM device
    EXPECT_EQ(tervion.Level.load(), 1);

    main->OnTabChanged(1);
    log.Take();
    main->OnListClicked(3);  // on the Programming tab the torque byte follows
    const Calls calls = log.Take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "pg.SetTorqueByte 0");

    // A click beside the rows does nothing.
    main->OnListClicked(-1);
    main->OnListClicked(6);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(main->selected_index(), 3);
}

TEST_F(MainWindowTest, ArrowKeySelectsTheMarkedRowOnlyWhenSelected) {
    DemoDevices();
    Open();
    Search();
    log.Take();
    view.mark = 2;
    view.mark_selected = false;
    main->OnArrowKeyReleased();
    EXPECT_EQ(main->selected_index(), -1);
    view.mark_selected = true;
    main->OnArrowKeyReleased();
    EXPECT_EQ(main->selected_index(), 2);
    EXPECT_EQ(view.Text(kStatusLine), "Select ID:5");
}

// Holds the worker inside the instruction-protocol read of one id (bus lock held) until
// released, so the test can act while the search is at a known place.
class Gate {
  public:
    Gate(TestBus& bus, int id) {
        bus.on_read = [this, id](int probed) {
            if (probed != id) return;
            std::unique_lock<std::mutex> l(m_);
            reached_ = true;
            cv_.notify_all();
            cv_.wait(l, [this] { return open_; });
        };
    }
    void AwaitWorker() {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this] { return reached_; });
    }
    void Open() {
        std::lock_guard<std::mutex> l(m_);
        open_ = true;
        cv_.notify_all();
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool reached_ = false, open_ = false;
};

TEST_F(MainWindowTest, ClosingThePortEndsTheSearch) {
    DemoDevices();
    Gate gate(bus, 3);
    Open();
    main->OnSearchClicked();
    gate.AwaitWorker();
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.Open();
    });
    main->OnOpenClicked();  // waits for the transaction in flight, then closes
    opener.join();
    FinishSearch();
    EXPECT_FALSE(main->port_open());
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.Text(kSearchButton), "Search");
}

TEST_F(MainWindowTest, TabChangesDuringASearchDoNotStartPolling) {
    DemoDevices();
    Gate gate(bus, 3);
    Open();
    main->OnSearchClicked();
    gate.AwaitWorker();
    main->OnSearchClicked();  // "Stop"
    main->OnSearchClicked();  // pressed again while stopping: no second search
    log.Take();
    main->OnTabChanged(1);
    EXPECT_EQ(log.Take(), (Calls{"debug.StopPolling"}));
    main->OnTabChanged(0);
    EXPECT_EQ(log.Take(), (Calls{"pg.StopRefresh"}));
    main->OnTabChanged(1);
    log.Take();
    gate.Open();
    FinishSearch();
    EXPECT_EQ(log.Take(), (Calls{"pg.StartRefreshTimer"}));
    EXPECT_EQ(view.rows.size(), 2u);
}

TEST_F(MainWindowTest, IdBookkeeping) {
    DemoDevices();
    Open();
    Search();
    EXPECT_TRUE(main->IdInUse(2));  // nothing selected: every row counts
    main->OnListClicked(1);         // id 2
    EXPECT_FALSE(main->IdInUse(2));
    EXPECT_TRUE(main->IdInUse(7));
    EXPECT_FALSE(main->IdInUse(33));

    main->ServoIdChanged(7, 20);
    EXPECT_EQ(main->found()[3].record.id(), 20);
    EXPECT_EQ(view.rows[3][0], "20");
    EXPECT_TRUE(main->IdInUse(20));
    EXPECT_FALSE(main->IdInUse(7));
    main->ServoIdChanged(77, 78);  // unknown id: nothing changes
    EXPECT_EQ(view.rows[3][0], "20");
    EXPECT_EQ(view.rows[0][0], "1");
}

TEST_F(MainWindowTest, ReadServoIdentityPerKind) {
    bus.AddServo(1, {3, 6, 0, 4, 0, 1, 4, 0, 1});
    bus.AddServo(5, {9, 1, 7, 5});
    TestBus::ModbusDevice vxm8;
    vxm8.registers = {210, 805};
    bus.AddModbus(7, vxm8);
    uint8_t identity[5] = {};
    ASSERT_TRUE(main->ReadServoIdentity(1, identity, kKindServo));
    EXPECT_EQ(Bytes(identity, identity + 5), (Bytes{3, 6, 0, 4, 0}));
    EXPECT_EQ(comm.requests().back(), (Bytes{0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x05, 0xF3}));

    ASSERT_TRUE(main->ReadServoIdentity(5, identity, kKindPwm));
    EXPECT_EQ(Bytes(identity, identity + 5), (Bytes{7, 1, 0xFF, 9, 0xFF}));
    EXPECT_EQ(comm.requests().back(), (Bytes{0xFF, 0xFF, 0x05, 0x04, 0x02, 0x00, 0x04, 0xF0}));

    ASSERT_TRUE(main->ReadServoIdentity(7, identity, kKindModbus));
    EXPECT_EQ(Bytes(identity, identity + 5), (Bytes{2, 10, 0xFF, 8, 5}));
    EXPECT_EQ(comm.requests().back(), (Bytes{0x07, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x6D}));

    EXPECT_FALSE(main->ReadServoIdentity(2, identity, kKindServo));
    EXPECT_FALSE(main->ReadServoIdentity(1, identity, static_cast<ServoKind>(3)));
}

TEST_F(MainWindowTest, CompareServoModelResults) {
    bus.AddServo(1, {3, 11, 0, 4, 0, 1, 4, 0, 1});  // firmware 3.11: same table as 3.6
    bus.AddServo(2, {5, 2, 1, 6, 2, 2, 4, 0, 1});   // another table
    bus.AddServo(3, {42, 0, 0, 4, 0, 3, 4, 0, 1});  // no table at all
    const uint8_t vx40[5] = {3, 6, 0, 4, 0};
    const uint8_t unknown[5] = {42, 1, 0, 4, 0};
    EXPECT_EQ(main->CompareServoModel(1, vx40, kKindServo), 0);
    EXPECT_EQ(main->CompareServoModel(2, vx40, kKindServo), 2);
    EXPECT_EQ(main->CompareServoModel(3, vx40, kKindServo), 1);
    EXPECT_EQ(main->CompareServoModel(4, vx40, kKindServo), 1) << "no answer";
    const size_t before = comm.requests().size();
    EXPECT_EQ(main->CompareServoModel(1, unknown, kKindServo), 1);
    EXPECT_EQ(comm.requests().size(), before) << "nothing read for an unknown identity";

    // A pulse-width device: its record carries the variant the model lookup filled in, its
    // identity read back carries none; both find the same table.
    bus.AddServo(5, {9, 1, 7, 5});
    const uint8_t vxp9[5] = {7, 1, 0, 9, 255};
    EXPECT_EQ(main->CompareServoModel(5, vxp9, kKindPwm), 0);
}

TEST_F(MainWindowTest, ClosingTheWindowDuringASearchJoinsTheWorker) {
    DemoDevices();
    bus.on_read = [](int) { std::this_thread::sleep_for(std::chrono::microseconds(300)); };
    Open();
    main->OnSearchClicked();
    ASSERT_TRUE(WaitUntil([&] { return !comm.requests().empty(); }));
    main->Shutdown();  // returns with the worker joined
    EXPECT_LT(comm.requests().size(), 400u) << "the search stopped early";
    log.Take();
    FinishSearch();  // the window still exists: its end-of-search call runs...
    EXPECT_EQ(view.Text(kSearchButton), "Search");
    EXPECT_TRUE(log.Take().empty()) << "...but starts no page work";

    // Once the window is gone, calls still queued for it do nothing.
    main->OnSearchClicked();
    main->Shutdown();
    main.reset();
    const auto rows = view.rows.size();
    ui.Drain();
    EXPECT_EQ(view.rows.size(), rows);
    EXPECT_EQ(view.Text(kSearchButton), "Stop");
}

TEST_F(MainWindowTest, PortDropDownRefillsTheList) {
    view.combos[kPortCombo] = {"stale"};
    main->OnPortDropDown();
    ASSERT_FALSE(view.combos[kPortCombo].empty());
    EXPECT_EQ(view.combos[kPortCombo][0], "/dev/null");
    EXPECT_EQ(std::count(view.combos[kPortCombo].begin(), view.combos[kPortCombo].end(), "stale"),
              0);
    EXPECT_EQ(view.ComboSelection(kPortCombo), 0);
}

}  // namespace
