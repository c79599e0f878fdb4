// The Programming page against simulated servos: the refresh and its selection generation,
// single writes as bytes on the wire (lock entry, Ack Level 0, id and baud changes, Modbus
// register 133), and a load that fails half-way.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "tests/programming/pg_fixture.h"
#include "tests/support/wait_until.h"

using namespace pg_test;

TEST_F(PgTest, RefreshShowsValuesStatusAndOnlyTheCurrentSelection) {
    view.path = "";
    Select(1, kVx40_1, kKindServo);
    ASSERT_EQ(view.Find("NULL"), -1);
    EXPECT_EQ(view.rows.size(), 59u);  // the VX40 table up to its "NULL" row
    EXPECT_EQ(view.rows[0], (PgRow{"0", "Firmware major", "3", "EPROM", "r"}));
    EXPECT_EQ(view.Value("Max angle limit"), "4095");
    EXPECT_EQ(view.Text(kStatusBox), "Normal");
    EXPECT_EQ(view.titles,
              (std::array<std::string, 5>{"Address", "Memory", "Value", "Area", "R/W"}));

    bus.WithServo(1, [](sim::InstructionServo& s) { s.SetErrorBits(0x05); });
    Tick();
    EXPECT_EQ(view.Text(kStatusBox), "Voltage\r\nHeat\r\n");
    bus.WithServo(1, [](sim::InstructionServo& s) { s.SetErrorBits(0); });

    // A tick that started for servo 1 shows nothing once servo 6 is selected.
    page->SelectServo(1, kVx40_1, kKindServo);
    page->RefreshTick();
    const int rebuilds = view.rebuilds;
    page->SelectServo(6, kVxm8_6, kKindModbus);
    ui.Drain();
    EXPECT_EQ(view.rebuilds, rebuilds);
    Tick();
    EXPECT_EQ(view.Value("Model number"), "805");
    EXPECT_EQ(view.Text(kStatusBox), "Normal");

    // Until a tick has shown servo 1's table, the Modbus rows on screen write nothing.
    page->SelectServo(1, kVx40_1, kKindServo);
    bus.RecordRequests(true);
    EXPECT_FALSE(Write("Max temperature", "75"));
    EXPECT_EQ(view.boxes.back(), "E Parameter saving: Parameter save failed");
    EXPECT_TRUE(Sent().empty());

    // No servo answers: "Timeout", values kept, and nothing of it can be saved.
    page->SelectServo(9, kVx40_1, kKindServo);
    Tick();
    EXPECT_EQ(view.Text(kStatusBox), "Timeout");
    EXPECT_EQ(view.Value("Max angle limit"), "4095");
    view.path = (std::filesystem::path(folder.path()) / "never.xdat").string();
    EXPECT_FALSE(page->OnSave());
    EXPECT_EQ(view.boxes.back(),
              "E Parameter saving: No values have been read from the servo yet; nothing was "
              "saved.");
    EXPECT_FALSE(std::filesystem::exists(view.path));
}

TEST_F(PgTest, SingleWritesOpenAndCloseTheLockAndFollowIdAndBaud) {
    Select(1, kVx40_1, kKindServo);
    bus.RecordRequests(true);
    // Sign bit 11: -100 goes out as 64 08, between lock 0 and lock 1 (address 55).
    EXPECT_TRUE(Write("Position offset", "-100"));
    EXPECT_EQ(Sent(),
              (std::vector<Bytes>{ServoFrame(1, 3, {55, 0}), ServoFrame(1, 3, {31, 0x64, 0x08}),
                                  ServoFrame(1, 3, {55, 1})}));
    EXPECT_EQ(view.boxes.back(), "! Parameter saving: Parameters saved successfully");
    Tick();
    Sent();
    EXPECT_EQ(view.Value("Position offset"), "-100");
    EXPECT_EQ(view.text[kValueButton], "Save");

    // With the lock closed the servo acknowledges a kept entry but keeps nothing.
    EXPECT_NE(tervion.WriteByte(1, 13, 99), 0);
    EXPECT_EQ(Peek(1, 13), 70);
    Sent();

    // A RAM entry: no lock, button "Set".
    EXPECT_TRUE(Write("Torque limit", "500"));
    EXPECT_EQ(view.text[kValueButton], "Set");
    EXPECT_EQ(Sent(), (std::vector<Bytes>{ServoFrame(1, 3, {48, 0xF4, 0x01})}));

    // Limits and the id in use: a box, nothing sent.
    EXPECT_FALSE(Write("Position offset", "5000"));
    EXPECT_EQ(view.boxes.back(), "E Parameter error: Position offset Cannot be greater than 2047");
    services->in_use = {2};
    EXPECT_FALSE(Write("ID", "2"));
    EXPECT_EQ(view.boxes.back(),
              "E Parameter save: The current ID servo already exists in the bus");
    EXPECT_TRUE(Sent().empty());

    // A new id: the page and the main window follow it, the lock is closed under the new id.
    EXPECT_TRUE(Write("ID", "7"));
    EXPECT_EQ(Sent(), (std::vector<Bytes>{ServoFrame(1, 3, {55, 0}), ServoFrame(1, 3, {5, 7}),
                                          ServoFrame(7, 3, {55, 1})}));
    EXPECT_EQ(services->ids, (std::vector<std::pair<int, int>>{{1, 7}}));
    EXPECT_EQ(page->servo_id(), 7);

    // A new baud rate (index 7, 38400): the port follows and the next tick answers.
    EXPECT_TRUE(Write("baud rate", "7"));
    EXPECT_EQ(services->followed, (std::vector<std::array<int, 3>>{{7, 0, 0}}));
    EXPECT_EQ(comm.BaudRate.load(), 38400);
    Sent();
    Tick();
    EXPECT_EQ(view.Text(kStatusBox), "Normal");
    EXPECT_EQ(view.Value("baud rate"), "7");

    // Ack Level 0 takes effect before its own write, which then awaits no reply.
    EXPECT_TRUE(Write("Ack Level", "0"));
    EXPECT_EQ(tervion.Level.load(), 0);
    EXPECT_EQ(Peek(7, 8), 0);

    // What was written with the lock open survives a power cycle; the RAM entry does not.
    bus.WithServo(7, [](sim::InstructionServo& s) { s.PowerCycle(); });
    EXPECT_EQ(Peek(7, 31), 0x64);
    EXPECT_EQ(Peek(7, 48), 0xE8);  // factory 1000
}

TEST_F(PgTest, ModbusWritesGoThroughRegister133) {
    Select(6, kVxm8_6, kKindModbus);
    bus.RecordRequests(true);
    EXPECT_TRUE(Write("Max temperature", "80"));
    EXPECT_EQ(Sent(),
              (std::vector<Bytes>{WriteReg(6, 133, 0), WriteReg(6, 15, 80), WriteReg(6, 133, 1)}));
    // Default-only rows need hidden mode, then go through 133 <- 128.
    view.mark = view.Find("Factory zero");
    page->OnRowClicked(view.mark);
    EXPECT_FALSE(view.enabled[kValueEdit]);
    page->OnCtrlD();
    EXPECT_TRUE(view.visible[kBackupButton]);
    EXPECT_TRUE(Write("Factory zero", "2000"));
    EXPECT_EQ(Sent(), (std::vector<Bytes>{WriteReg(6, 133, 128), WriteReg(6, 300, 2000),
                                          WriteReg(6, 133, 1)}));
    EXPECT_TRUE(Write("Torque limit", "900"));
    EXPECT_EQ(Sent(), (std::vector<Bytes>{WriteReg(6, 132, 900)}));
    EXPECT_TRUE(page->OnRecovery());
    EXPECT_EQ(Sent(), (std::vector<Bytes>{WriteReg(6, 133, 64), WriteReg(6, 134, 8)}));
    EXPECT_TRUE(page->OnBackup());
    EXPECT_EQ(Sent(), (std::vector<Bytes>{WriteReg(6, 133, 64), WriteReg(6, 134, 16)}));
    EXPECT_EQ(view.boxes.back(), "! Parameter backup: Parameter backup successful");

    // With 133 closed the servo acknowledges a kept register but keeps nothing.
    EXPECT_TRUE(modbus.WriteRegister(6, 15, 99));
    EXPECT_EQ(Reg(6, 15), 70);  // recovered to the factory value above
}

TEST_F(PgTest, LoadFailingHalfWayLeavesTheLockClosed) {
    Select(2, kVx40_2, kKindServo);
    // EPROM block of this model (0..39, max temperature 90 at 13), then a DEFAULT block
    // too long for one packet: the EPROM is written, the DEFAULT write fails.
    std::vector<uint8_t> file = {0, 40};
    for (int a = 0; a < 40; ++a) file.push_back(Peek(2, a));
    file[2 + 13] = 90;
    file.push_back(80);
    file.push_back(253);
    file.resize(file.size() + 253, 0);
    view.path = (std::filesystem::path(folder.path()) / "halfway.xdat").string();
    {
        std::ofstream(view.path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
    }
    EXPECT_FALSE(page->OnLoad());
    EXPECT_EQ(view.boxes.back(), "E Parameter loading: Parameter loading failed");
    EXPECT_EQ(view.filter, "Servo Files (*.xdat)|*.xdat||");
    EXPECT_EQ(Peek(2, 13), 90);  // no rollback
    EXPECT_EQ(Peek(2, 55), 1);   // lock closed again
    std::remove(view.path.c_str());
}

TEST_F(PgTest, RefreshThreadAndUserInterfaceThreadShareTheBus) {
    // The 100 ms worker reads while this thread switches servos and writes; every result
    // drained here belongs to the selection current when it is applied.
    Select(1, kVx40_1, kKindServo);
    page->StartRefresh();
    for (int round = 0; round < 6; ++round) {
        const bool modbus_now = round % 2 == 0;  // every round shows another table
        const int rebuilds = view.rebuilds;
        page->SelectServo(modbus_now ? 6 : 1, modbus_now ? kVxm8_6 : kVx40_1,
                          modbus_now ? kKindModbus : kKindServo);
        // The list shows the new servo's table once the worker's next tick has loaded it.
        ASSERT_TRUE(WaitUntil([&] { return view.rebuilds > rebuilds; }, std::chrono::seconds(10),
                              [&] {
                                  if (ui.Drain() == 0)
                                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                              }));
        EXPECT_TRUE(Write("Max temperature", modbus_now ? "71" : "72"));
    }
    page->StopRefreshTimer();
    EXPECT_FALSE(page->Refreshing());
    ui.Drain();
    EXPECT_EQ(Reg(6, 15), 71);
    EXPECT_EQ(Peek(1, 13), 72);
}

TEST_F(PgTest, SaveFailureAndOversizedTablesAreRefusedCleanly) {
    Select(1, kVx40_1, kKindServo);
    const auto dir = std::filesystem::path(folder.path()) / "no_such_dir";
    std::filesystem::remove_all(dir);
    view.path = (dir / "set.xdat").string();
    EXPECT_FALSE(page->OnSave());
    EXPECT_EQ(view.boxes.back(),
              "E Parameter saving: The parameter file set.xdat could not be written; nothing "
              "was saved.");
    EXPECT_FALSE(std::filesystem::exists(dir));

    // A model whose SRAM runs from 0 to 254 does not fit a 254-byte image: no list, "Timeout".
    folder.Put("wide_setup/setup_en.log",
               "\x5B\xC4\xDA\xB4\xE6\x5D\n3,0,20,255\n0,A,1,0,-1,SRAM,rw,-1,-1\n"
               "254,B,1,0,-1,SRAM,rw,-1,-1\nNULL\n\x5B\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8\x5D\n");
    ServoSetup wide(StringTable(false), settings);
    wide.SetFolders(folder.path() + "/wide_setup");
    FakeView v;
    CServoPG p(wide, lock, modbus, tervion, *services, false, ui);
    p.InitDialog(&v);
    p.SelectServo(1, kVx40_1, kKindServo);
    p.RefreshTick();
    ui.Drain();
    EXPECT_TRUE(v.rows.empty());
    EXPECT_EQ(v.Text(kStatusBox), "Timeout");
    EXPECT_EQ(p.TotalLength(), 0);
}

TEST_F(PgTest, ReselectingTheSameServoKeepsTheRowBeingEdited) {
    Select(1, kVx40_1, kKindServo);
    view.mark = view.Find("Max temperature");
    page->OnRowClicked(view.mark);
    ASSERT_TRUE(view.enabled[kValueEdit]);
    const int rebuilds = view.rebuilds;
    // An arrow key released in the table re-selects the servo in the main window.
    page->SelectServo(1, kVx40_1, kKindServo);
    Tick();
    EXPECT_EQ(view.rebuilds, rebuilds);
    EXPECT_TRUE(view.enabled[kValueButton]);
    view.SetText(kValueEdit, "71");
    EXPECT_TRUE(page->OnValueButton());
    EXPECT_EQ(Peek(1, 13), 71);
    // Another table: nothing is selected in the new list, so nothing can be saved.
    Select(3, kVx62_3, kKindServo);
    EXPECT_GT(view.rebuilds, rebuilds);
    EXPECT_FALSE(view.enabled[kValueEdit]);
    EXPECT_FALSE(view.enabled[kValueButton]);
    EXPECT_EQ(view.Text(kNameStatic), "--");
}

TEST_F(PgTest, AnUnreadEpromIsNeitherShownNorTrustedNorSaved) {
    page->SelectServo(1, kVx40_1, kKindServo);
    tervion.Level = 1;
    bus.faults().DropReplies(1);  // the EPROM read goes unanswered, the SRAM read does not
    Tick();
    EXPECT_EQ(view.Text(kStatusBox), "Normal");
    EXPECT_EQ(tervion.Level.load(), 1) << "the reply level of a zero image";
    EXPECT_EQ(view.Value("Max angle limit"), "4095") << "the setup file's text, not a 0";
    view.path = (std::filesystem::path(folder.path()) / "unread.xdat").string();
    EXPECT_FALSE(page->OnSave());
    EXPECT_EQ(view.boxes.back(),
              "E Parameter saving: Not every area of this file has been read from the servo "
              "yet; nothing was saved.");
    EXPECT_FALSE(std::filesystem::exists(view.path));
    Tick();
    EXPECT_TRUE(page->OnSave());
    std::remove(view.path.c_str());
}

TEST_F(PgTest, EmptyBlocksAndFailedModbusBlocksLeaveTheServoClean) {
    // A file without a DEFAULT block (length 0) loads: no write without data goes out.
    Select(2, kVx40_2, kKindServo);
    std::vector<uint8_t> file = {0, 40};
    for (int a = 0; a < 40; ++a) file.push_back(Peek(2, a));
    file[2 + 13] = 77;
    file.insert(file.end(), {80, 0});
    view.path = (std::filesystem::path(folder.path()) / "no_default.xdat").string();
    std::ofstream(view.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
    const int timeout = comm.Timeout();
    bus.RecordRequests(true);
    EXPECT_TRUE(page->OnLoad()) << view.boxes.back();
    for (const Bytes& q : Sent())
        EXPECT_FALSE(q.size() == 6 && q[4] == 0x03) << "a write without address or data";
    EXPECT_EQ(Peek(2, 13), 77);
    EXPECT_EQ(comm.Timeout(), timeout);
    std::remove(view.path.c_str());

    // A Modbus INFO block too long for one frame fails after 133 was opened: it is closed.
    Select(6, kVxm8_6, kKindModbus);
    std::vector<uint8_t> mdat = {0, 0, 30, 0, 210, 0, 0x25, 0x03};
    mdat.resize(mdat.size() + 28 * 2, 0);
    mdat.insert(mdat.end(), {10, 0, 3, 0, 6, 0, 0, 0, 0, 0, 0, 1, 0, 0});
    view.path = (std::filesystem::path(folder.path()) / "long_info.mdat").string();
    std::ofstream(view.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(mdat.data()), static_cast<long>(mdat.size()));
    Sent();
    EXPECT_FALSE(page->OnLoad());
    EXPECT_EQ(view.boxes.back(), "E Parameter loading: Parameter loading failed");
    const std::vector<Bytes> sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), WriteReg(6, 133, 1));
    std::remove(view.path.c_str());
}

TEST(PgPortTimeout, TheWidenedTimeOutIsUndoneUnlessThePortChangedSpeed) {
    CQVComm port;
    port.SetTimeout(37);
    {
        pg::PortTimeout widened(&port, 500);
        widened.Keep();  // a baud entry without a speed: nothing reconfigured
    }
    EXPECT_EQ(port.Timeout(), 37);
    for (int set : {33, 500}) {  // also a new speed whose time-out is the widened one
        {
            pg::PortTimeout widened(&port, 500);
            port.BaudRate = port.BaudRate.load() == 9600 ? 57600 : 9600;  // a new speed
            port.SetTimeout(set);
            widened.Keep();
        }
        EXPECT_EQ(port.Timeout(), set);
    }
}
