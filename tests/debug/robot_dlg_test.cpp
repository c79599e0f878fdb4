// The Debug page's logic against a recording view and a scripted port: what goes on the wire
// for each mode and kind, what the statics show for a feedback reply, and the selection.
#include "tests/debug/debug_fixture.h"

using namespace debug_test;

namespace {

// A kind-0 feedback block of 25 bytes (addresses 56..80, of which 17 are read).
std::vector<uint8_t> Block(std::vector<uint8_t> first17) {
    first17.resize(17);
    return first17;
}

}  // namespace

TEST_F(PageTest, InitialStateAndHiddenChannels) {
    EXPECT_EQ(Shown(kStateStatic), "Normal");
    EXPECT_EQ(Shown(kRowsEdit), "0");  // no record file, and none is created before recording
    EXPECT_FALSE(std::filesystem::exists(dir_ / "record.txt"));
    EXPECT_FALSE(view_.visible[kGoalCheck]);
    page_->OnCtrlS();
    EXPECT_TRUE(view_.visible[kGoalCheck]);
    EXPECT_TRUE(view_.visible[kFastSlowCheck]);
}

TEST_F(PageTest, SelectionSizesSliderAndAdjustsEnd) {
    view_.text[kEndEdit] = "4095";
    Select(kServoA);  // divisor 4
    EXPECT_EQ(view_.range[kGoalSlider], std::make_pair(0, 1023));
    EXPECT_EQ(view_.pos[kGoalSlider], 511);
    EXPECT_EQ(Shown(kGoalEdit), "511");
    EXPECT_EQ(Shown(kEndEdit), "1023");
    EXPECT_EQ(tervion_.PosAddress.load(), 42);
    EXPECT_EQ(tervion_.TorqueAddress.load(), 40);

    view_.text[kEndEdit] = "900";  // at or below 1023 stays for m = 1023
    Select(kServoA);
    EXPECT_EQ(Shown(kEndEdit), "900");

    view_.text[kEndEdit] = "1023";
    Select(kDivisor1);
    EXPECT_EQ(view_.range[kGoalSlider], std::make_pair(0, 4095));
    EXPECT_EQ(view_.pos[kGoalSlider], 2047);
    EXPECT_EQ(Shown(kEndEdit), "4095");
    view_.text[kEndEdit] = "3000";  // above 1023 stays for m = 4095
    Select(kDivisor1);
    EXPECT_EQ(Shown(kEndEdit), "3000");

    // A divisor of 0 drives the servo unscaled instead of dividing by zero.
    Select(kDivisor0);
    EXPECT_EQ(view_.range[kGoalSlider], std::make_pair(0, 4095));
    EXPECT_EQ(page_->SelectedId(), 1);

    // PWM family: the motion block address is left alone, the torque address is taken.
    tervion_.PosAddress = 99;
    Select(kPwm, kKindPwm);
    EXPECT_EQ(tervion_.PosAddress.load(), 99);
    EXPECT_EQ(tervion_.TorqueAddress.load(), 40);
}

TEST_F(PageTest, ModelWithoutDebugRowDropsSelection) {
    Select(kServoA);
    Select(kUnknown);
    EXPECT_EQ(page_->SelectedId(), -1);
    view_.text[kGoalEdit] = "100";
    view_.checked[kTorqueCheck] = false;
    page_->OnSet();
    EXPECT_FALSE(view_.checked[kTorqueCheck]);
    view_.checked[kTorqueCheck] = true;
    page_->OnTorqueClicked();
    page_->OnWriteModeChanged(CRobotDlg::kSyncWrite);
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "");
    page_->PollTick();
    ui_.Drain();
    EXPECT_EQ(comm_.Take(), "");
    EXPECT_EQ(Shown(kStateStatic), "Timeout");
}

// A selection reads the setup file of its own kind.
TEST_F(PageTest, SelectionReadsTheFileOfItsKind) {
    std::ofstream(dir_ / setup_->ModbusName(), std::ios::binary) << "no debug rows\n";
    Select(kServoA);
    EXPECT_EQ(page_->SelectedId(), 1);

    std::ofstream(dir_ / setup_->MainName(), std::ios::binary) << "no debug rows\n";
    std::ofstream(dir_ / setup_->ModbusName(), std::ios::binary) << SetupFileText();
    Select(kModbusServo, kKindModbus, 7);
    EXPECT_EQ(page_->SelectedId(), 5);
    Select(kServoA);
    EXPECT_EQ(page_->SelectedId(), -1);
}

TEST_F(PageTest, SetClampsGoalAndEncodesSpeedAndTime) {
    Select(kServoA);
    view_.text[kGoalEdit] = "40000";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "FF FF 01 0A 03 2A 00 FF 77 00 00 00 00 51");
    EXPECT_EQ(Shown(kGoalEdit), "30719");
    EXPECT_EQ(view_.pos[kGoalSlider], 1023);  // the slider keeps to its range
    EXPECT_TRUE(view_.checked[kTorqueCheck]);

    view_.text[kGoalEdit] = "-40000";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "FF FF 01 0A 03 2A 00 FF F7 00 00 00 00 D1");
    EXPECT_EQ(Shown(kGoalEdit), "-30719");
    EXPECT_EQ(view_.pos[kGoalSlider], 0);

    // Speed -100 goes out as 0x8064 and time -5 as 0x0405; acceleration 20.
    view_.text[kGoalEdit] = " 500abc";
    view_.text[kAccEdit] = "20";
    view_.text[kSpeedEdit] = "-100";
    view_.text[kTimeEdit] = "-5";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "FF FF 01 0A 03 2A 14 F4 01 05 04 64 80 D1");
    EXPECT_EQ(view_.pos[kGoalSlider], 500);

    // The other byte order sends every 16-bit field high byte first.
    Select(kServoB);
    view_.text[kGoalEdit] = "500";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "FF FF 02 0A 03 2A 14 01 F4 04 05 80 64 D0");
}

TEST_F(PageTest, SyncWriteGoesToServosOfTheSameByteOrder) {
    Select(kServoA, kKindServo, 3);
    page_->OnWriteModeChanged(CRobotDlg::kSyncWrite);
    EXPECT_FALSE(view_.enabled[kActionButton]);
    view_.text[kGoalEdit] = "500";
    view_.text[kAccEdit] = "20";
    view_.text[kSpeedEdit] = "100";
    page_->OnSet();
    // Ids 1 and 3 share byte order 0; id 2 (order 1) gets nothing.
    EXPECT_EQ(comm_.Take(),
              "FF FF FE 14 83 2A 07 01 14 F4 01 00 00 64 00 03 14 F4 01 00 00 64 00 5B");

    // Sync torque goes to every found servo.
    view_.checked[kTorqueCheck] = true;
    page_->OnTorqueClicked();
    EXPECT_EQ(comm_.Take(), "FF FF FE 0A 83 28 01 01 01 02 01 03 01 42");
}

TEST_F(PageTest, ASyncWriteTooLongForOnePacketSendsNothingAndLeavesTorqueAlone) {
    // 40 servos of one byte order: 40 x 8 + 4 bytes do not fit the length byte.
    std::vector<FoundServo> many(40, FoundServo{Records()[0], kKindServo, 0});
    for (int i = 0; i < 40; ++i) many[i].record.set_id(static_cast<uint8_t>(i + 1));
    page_->SelectServo(1, many, 0);
    comm_.Take();
    view_.checked[kTorqueCheck] = false;
    page_->OnWriteModeChanged(CRobotDlg::kSyncWrite);
    view_.text[kGoalEdit] = "500";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "");
    EXPECT_FALSE(view_.checked[kTorqueCheck]);
}

TEST_F(PageTest, RegisteredWriteMovesOnlyOnAction) {
    Select(kServoA);
    page_->OnWriteModeChanged(CRobotDlg::kRegWrite);
    EXPECT_TRUE(view_.enabled[kActionButton]);
    view_.pos[kGoalSlider] = 300;
    page_->OnGoalSliderScroll();
    EXPECT_EQ(Shown(kGoalEdit), "300");
    EXPECT_EQ(comm_.Take(), "FF FF 01 0A 04 2A 00 2C 01 00 00 00 00 99");
    view_.checked[kTorqueCheck] = true;
    page_->OnTorqueClicked();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 04 28 01 CD");
    page_->OnAction();
    EXPECT_EQ(comm_.Take(), "FF FF FE 02 05 FA");

    page_->OnWriteModeChanged(CRobotDlg::kWrite);
    EXPECT_FALSE(view_.enabled[kActionButton]);
    view_.checked[kTorqueCheck] = false;
    page_->OnTorqueClicked();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 03 28 00 CF");
}

TEST_F(PageTest, PwmFamilyWritesGoalWordAndRefusesSyncAndReg) {
    Select(kPwm, kKindPwm);
    view_.text[kGoalEdit] = "700";
    view_.text[kSpeedEdit] = "-100";  // not sign-magnitude for this kind, and not sent anyway
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "FF FF 04 05 03 2A BC 02 0B");
    view_.checked[kTorqueCheck] = true;
    page_->OnTorqueClicked();
    EXPECT_EQ(comm_.Take(), "FF FF 04 04 03 28 01 CB");

    view_.checked[kTorqueCheck] = false;
    for (int mode : {CRobotDlg::kSyncWrite, CRobotDlg::kRegWrite}) {
        page_->OnWriteModeChanged(mode);
        page_->OnSet();
        page_->OnTorqueClicked();
        EXPECT_EQ(comm_.Take(), "") << "mode " << mode;
    }
    EXPECT_FALSE(view_.checked[kTorqueCheck]);  // nothing was sent, so nothing is checked
}

TEST_F(PageTest, ModbusGoalAndTorque) {
    Select(kModbusServo, kKindModbus, 7);
    view_.text[kGoalEdit] = "500";
    view_.text[kSpeedEdit] = "-100";
    view_.text[kTimeEdit] = "-5";
    page_->OnSet();  // acceleration 0: only the position register
    EXPECT_EQ(comm_.Take(), "05 06 00 80 01 F4 89 B1");
    view_.text[kAccEdit] = "20";
    page_->OnSet();  // position, 1, acceleration, speed (-100 as is); time unused
    EXPECT_EQ(comm_.Take(), "05 10 00 80 00 04 08 01 F4 00 01 00 14 FF 9C F8 59");
    view_.text[kSpeedEdit] = "0";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "05 06 00 80 01 F4 89 B1");
    // The acceleration register takes the acceleration as entered, beyond 8 bits too.
    view_.text[kSpeedEdit] = "10";
    view_.text[kAccEdit] = "300";
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "05 10 00 80 00 04 08 01 F4 00 01 01 2C 00 0A B9 F6");

    view_.checked[kTorqueCheck] = true;
    page_->OnTorqueClicked();  // broadcast, slave address 0
    EXPECT_EQ(comm_.Take(), "00 06 00 81 00 01 19 F3");
    page_->OnWriteModeChanged(CRobotDlg::kSyncWrite);
    page_->OnTorqueClicked();
    page_->OnSet();
    EXPECT_EQ(comm_.Take(), "");
}

TEST_F(PageTest, FeedbackReadLengths) {
    Select(kDivisor1, kKindServo, 4);  // 56..70
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 02 38 0F B1");
    Select(kServoA);  // 56..80
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 02 38 11 AF");
    Select(kEndBelow, kKindServo, 5);  // 56..50
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 02 38 11 AF");
    Select(kPwm, kKindPwm, 6);  // 56..80, the PWM block is 16 bytes
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "FF FF 04 04 02 38 10 AD");
    Select(kModbusServo, kKindModbus, 7);
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "05 03 01 00 00 0A C5 B5");
    ui_.Drain();
}

TEST_F(PageTest, ServoFeedbackDecoding) {
    Select(kServoA);
    // position 0x8064 (-100), speed 0x0010, load 0x0405 (-5), voltage 74, temperature 40,
    // moving 1, goal 0x00FA, current 0x8003 (-3), fast/slow 0x0020; error 0x0D.
    Poll(ServoFrame(1, 0x0D,
                    Block({0x64, 0x80, 0x10, 0x00, 0x05, 0x04, 74, 40, 0, 0, 1, 0xFA, 0x00, 0x03,
                           0x80, 0x20, 0x00})));
    EXPECT_EQ(Statics(), "-100 | 16 | -5 | 250 | -3 | 7.4 V | 40 | 1");
    EXPECT_EQ(Shown(kStateStatic), "Voltage Heat Current");

    // The graph got one sample per channel: speed 16 x 5 / 10 = 8 -> 8 x 2 + 2000,
    // temperature 40 handed in as 400 -> 2800, position -100 x 4.
    chart::ChartState s;
    page_->Graph().Snapshot(s);
    ASSERT_EQ(s.samples[chart::kSpeed].size(), 1u);
    EXPECT_EQ(s.samples[chart::kSpeed][0], 2016);
    EXPECT_EQ(s.samples[chart::kTemperature][0], 2800);
    EXPECT_EQ(s.samples[chart::kPosition][0], -400);
    EXPECT_EQ(s.samples[chart::kFastSlow][0], 2032);  // 32 x 5 / 10 = 16
    EXPECT_EQ(s.position_scale, 4);

    // Byte order 1, no error bits; voltage 120 and 5.
    Select(kServoB);
    Poll(ServoFrame(2, 0, Block({0x80, 0x64, 0, 0, 0, 0, 120, 0})));
    EXPECT_EQ(Shown(kPositionStatic), "-100");
    EXPECT_EQ(Shown(kVoltageStatic), "12.0 V");
    EXPECT_EQ(Shown(kStateStatic), "Normal");
    Poll(ServoFrame(2, 0x22, Block({0, 0, 0, 0, 0, 0, 5, 0})));
    EXPECT_EQ(Shown(kVoltageStatic), "0.5 V");
    EXPECT_EQ(Shown(kStateStatic), "Load Sensor");

    // A failed read shows "Timeout" and keeps the other statics and the graph.
    Poll(ServoFrame(7, 0, Block({})));  // another id answers
    EXPECT_EQ(Shown(kStateStatic), "Timeout");
    EXPECT_EQ(Shown(kVoltageStatic), "0.5 V");
    page_->Graph().Snapshot(s);
    EXPECT_EQ(s.samples[chart::kSpeed].size(), 3u);
}

TEST_F(PageTest, PwmFamilyFeedbackIsReorderedTwosComplement) {
    Select(kPwm, kKindPwm, 6);
    // position 0x8064, speed -2, load -5 (plain), goal 300, temperature 41, voltage 75,
    // current 7, moving 1.
    Poll(ServoFrame(4, 0,
                    {0x64, 0x80, 0xFE, 0xFF, 0xFB, 0xFF, 0x2C, 0x01, 41, 75, 7, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Statics(), "-32668 | -2 | -5 | 300 | 7 | 7.5 V | 41 | 1");
}

TEST_F(PageTest, ModbusFeedbackRegisters) {
    Select(kModbusServo, kKindModbus, 7);
    // status 0x0104 (low byte: heat), position 2048, speed -20, load 15, voltage 121,
    // temperature 33, moving 1, current 9, goal 2100, fast/slow 0.
    Poll(ModbusReply(5, {0x0104, 2048, 0xFFEC, 15, 121, 33, 1, 9, 2100, 0}));
    EXPECT_EQ(Statics(), "2048 | -20 | 15 | 2100 | 9 | 12.1 V | 33 | 1");
    EXPECT_EQ(Shown(kStateStatic), "Heat");
    chart::ChartState s;
    page_->Graph().Snapshot(s);
    EXPECT_EQ(s.samples[chart::kSpeed][0], 1960);  // -20 x 10 / 10 x 2 + 2000

    Poll({0x05, 0x03});  // short reply
    EXPECT_EQ(Shown(kStateStatic), "Timeout");
    EXPECT_EQ(Shown(kPositionStatic), "2048");
}

TEST_F(PageTest, ChineseStateTexts) {
    MakePage(true);
    EXPECT_EQ(Shown(kStateStatic), "通信正常");
    Select(kServoA);
    Poll(ServoFrame(1, 0x0D, Block({})));
    EXPECT_EQ(Shown(kStateStatic), "过压/欠压 过热 过流");
    Poll({});
    EXPECT_EQ(Shown(kStateStatic), "通信超时");
}

TEST_F(PageTest, ResultOfTheOldSelectionIsNotShown) {
    Select(kServoA);
    comm_.Reply(ServoFrame(1, 0, Block({0x10, 0x00})));
    page_->PollTick();  // read for servo 1, still queued for the window
    Select(kPwm, kKindPwm, 6);
    ui_.Drain();
    EXPECT_EQ(Shown(kPositionStatic), "0");
    chart::ChartState s;
    page_->Graph().Snapshot(s);
    EXPECT_TRUE(s.samples[chart::kPosition].empty());

    // A timeout of the old selection does not overwrite the new one's state either.
    Poll(ServoFrame(4, 0, std::vector<uint8_t>(16, 0)));
    page_->PollTick();  // nothing scripted: timeout posted
    Select(kServoA);
    ui_.Drain();
    EXPECT_EQ(Shown(kStateStatic), "Normal");
}
