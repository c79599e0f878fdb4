// Sweep and step cycles and the recording controls of the Debug page, through the page's
// handlers: goals as they reach the wire, timers, captions and the record file.
#include "tests/debug/debug_fixture.h"

using namespace debug_test;

namespace {

std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// A kind-0 reply for servo 1: position 2047, speed 0, load 12, voltage 74, temperature 31,
// goal 2048, current 3.
std::vector<uint8_t> SampleReply() {
    return ServoFrame(1, 0, {0xFF, 0x07, 0, 0, 12, 0, 74, 31, 0, 0, 0, 0x00, 0x08, 3, 0, 0, 0});
}

}  // namespace

TEST_F(PageTest, StepCycleWalksUpAndBack) {
    Select(kModbusServo, kKindModbus, 7);  // acceleration 0: one register per goal
    view_.text[kStartEdit] = "100";
    view_.text[kEndEdit] = "120";
    view_.text[kStepEdit] = "8";
    page_->OnStep();
    EXPECT_EQ(view_.timers[kStepTimer], 20);
    EXPECT_EQ(Shown(kStepButton), "Stop");
    EXPECT_FALSE(view_.enabled[kSweepButton]);
    EXPECT_EQ(comm_.Take(), "");  // the first goal waits for the first tick

    const char* expected[] = {
        "05 06 00 80 00 6C 89 8B",  // 108
        "05 06 00 80 00 74 89 81",  // 116
        "05 06 00 80 00 7C 88 47",  // 124
        "05 06 00 80 00 74 89 81",  // 116
        "05 06 00 80 00 6C 89 8B",  // 108
        "05 06 00 80 00 64 88 4D",  // 100
        "05 06 00 80 00 6C 89 8B",  // 108
    };
    for (const char* frame : expected) {
        page_->OnTimer(kStepTimer);
        EXPECT_EQ(comm_.Take(), frame);
    }

    // Leaving the tab does not stop a step cycle.
    page_->StopPolling();
    EXPECT_EQ(view_.timers.count(kStepTimer), 1u);
    page_->OnTimer(kStepTimer);
    EXPECT_EQ(comm_.Take(), "05 06 00 80 00 74 89 81");

    page_->OnStep();
    EXPECT_EQ(view_.timers.count(kStepTimer), 0u);
    EXPECT_EQ(Shown(kStepButton), "Setp");
    EXPECT_TRUE(view_.enabled[kSweepButton]);
    page_->OnTimer(kStepTimer);  // a tick already queued does nothing
    EXPECT_EQ(comm_.Take(), "");
}

TEST_F(PageTest, StepBelowZeroWrapsToUnsignedGoal) {
    Select(kModbusServo, kKindModbus, 7);
    view_.text[kStartEdit] = "0";
    view_.text[kEndEdit] = "4";
    view_.text[kStepEdit] = "-4";  // walks downward from the start, never reaching the end
    page_->OnStep();
    page_->OnTimer(kStepTimer);
    EXPECT_EQ(comm_.Take(), "05 06 00 80 FF FC C8 17");  // -4 as 65532
}

TEST_F(PageTest, SweepAlternatesAndEndsWhenPollingStops) {
    Select(kModbusServo, kKindModbus, 7);
    view_.text[kStartEdit] = "0";
    view_.text[kEndEdit] = "1023";
    page_->OnSweep();  // first goal at once: current starts at the start, so the end
    EXPECT_EQ(comm_.Take(), "05 06 00 80 03 FF C9 16");
    EXPECT_EQ(view_.timers[kSweepTimer], 2500);
    EXPECT_EQ(Shown(kSweepButton), "Stop");
    EXPECT_FALSE(view_.enabled[kStepButton]);
    page_->OnTimer(kSweepTimer);
    EXPECT_EQ(comm_.Take(), "05 06 00 80 00 00 89 A6");
    page_->OnTimer(kSweepTimer);
    EXPECT_EQ(comm_.Take(), "05 06 00 80 03 FF C9 16");

    page_->StopPolling();
    EXPECT_EQ(view_.timers.count(kSweepTimer), 0u);
    EXPECT_EQ(Shown(kSweepButton), "Sweep");
    EXPECT_TRUE(view_.enabled[kStepButton]);
    EXPECT_FALSE(page_->Auto().sweeping);

    // A delay of 0 still gives a sane window timer.
    view_.text[kSweepDelayEdit] = "abc";
    page_->OnSweep();
    EXPECT_EQ(view_.timers[kSweepTimer], 10);
    page_->OnSweep();
    EXPECT_EQ(view_.timers.count(kSweepTimer), 0u);
}

TEST_F(PageTest, RecordingBatchesRowsAndExportWritesThePartialBatch) {
    Select(kServoA);
    page_->OnExport();  // 30 s: every tick, batches of 600
    EXPECT_EQ(Shown(kExportButton), "Stop");
    EXPECT_FALSE(view_.enabled[kEmptyButton]);
    EXPECT_EQ(page_->PollDivider(), 1);
    EXPECT_EQ(page_->Recorder().BatchSize(), 600);
    EXPECT_EQ(Shown(kRowsEdit), "0");
    EXPECT_EQ(Lines(dir_ / "record.txt"), std::vector<std::string>{"No,Pos,Gol,Ft,V,C,T,Vol\r"});

    for (int i = 0; i < 599; ++i) Poll(SampleReply());
    EXPECT_EQ(Lines(dir_ / "record.txt").size(), 1u);
    EXPECT_EQ(Shown(kRowsEdit), "0");
    Poll(SampleReply());
    auto lines = Lines(dir_ / "record.txt");
    ASSERT_EQ(lines.size(), 601u);
    EXPECT_EQ(lines[1], "1,2047,2048,12,0,3,31,74,END\r");
    EXPECT_EQ(lines[600], "600,2047,2048,12,0,3,31,74,END\r");
    EXPECT_EQ(Shown(kRowsEdit), "600");

    // A failed poll records nothing.
    Poll({});
    for (int i = 0; i < 10; ++i) Poll(SampleReply());
    page_->OnExport();  // stop: the 10 collected rows go out at once
    EXPECT_EQ(Shown(kExportButton), "Export");
    EXPECT_TRUE(view_.enabled[kEmptyButton]);
    EXPECT_EQ(Shown(kRowsEdit), "610");
    lines = Lines(dir_ / "record.txt");
    ASSERT_EQ(lines.size(), 611u);
    EXPECT_EQ(lines[610], "610,2047,2048,12,0,3,31,74,END\r");

    // Not recording: polls add nothing.
    Poll(SampleReply());
    EXPECT_EQ(page_->Recorder().Collected(), 0);

    page_->OnEmpty();
    EXPECT_EQ(Shown(kRowsEdit), "0");
    EXPECT_EQ(Lines(dir_ / "record.txt"), std::vector<std::string>{"No,Pos,Gol,Ft,V,C,T,Vol\r"});
}

TEST_F(PageTest, ABacklogStaysWithinItsRecordingAndNothingLateReachesTheNext) {
    Select(kServoA);
    page_->OnExport();                             // 30 s: batches of 600
    std::filesystem::remove(dir_ / "record.txt");  // a batch write never creates the file
    for (int i = 0; i < 600; ++i) Poll(SampleReply());
    ASSERT_EQ(view_.errors.size(), 1u);
    EXPECT_EQ(view_.errors[0],
              "Data analysis: The record file record.txt cannot be written. The samples are kept "
              "and written as soon as it can be.");
    // The backlog is kept while the recording runs and goes in once the file is back.
    std::ofstream(dir_ / "record.txt", std::ios::binary) << "No,Pos,Gol,Ft,V,C,T,Vol\r\n";
    for (int i = 0; i < 600; ++i) Poll(SampleReply());
    EXPECT_EQ(Lines(dir_ / "record.txt").size(), 1201u);
    EXPECT_EQ(Shown(kRowsEdit), "1200");

    std::filesystem::remove(dir_ / "record.txt");
    for (int i = 0; i < 10; ++i) Poll(SampleReply());
    page_->OnExport();  // stop: the last write fails and its rows are given up
    ASSERT_EQ(view_.errors.size(), 2u);
    EXPECT_EQ(view_.errors[1],
              "Data analysis: The record file record.txt cannot be written. The samples of this "
              "recording not yet written are lost.");
    // A tick that read the servo just before the stop hands its sample over afterwards.
    EXPECT_EQ(page_->Recorder().AddSample(RecordSample{}), -1);
    EXPECT_EQ(page_->Recorder().Collected(), 0);

    // The next recording starts empty: its file holds only its own rows.
    page_->OnExport();
    EXPECT_EQ(page_->Recorder().Collected(), 0);
    for (int i = 0; i < 600; ++i) Poll(SampleReply());
    const auto lines = Lines(dir_ / "record.txt");
    ASSERT_EQ(lines.size(), 601u);
    EXPECT_EQ(lines[600], "600,2047,2048,12,0,3,31,74,END\r");
    std::filesystem::remove(dir_ / "record.txt");
    for (int i = 0; i < 600; ++i) Poll(SampleReply());
    EXPECT_EQ(view_.errors.size(), 3u);

    // A time of 0 keeps the settings but not the samples of the recording before.
    page_->OnExport();
    view_.text[kSecondsEdit] = "0";
    page_->OnExport();
    EXPECT_EQ(page_->Recorder().BatchSize(), 600);
    EXPECT_EQ(page_->Recorder().Collected(), 0);
}

TEST_F(PageTest, RecordingTimeSetsDividerAndBatch) {
    Select(kServoA);
    const struct {
        const char* seconds;
        int divider;
        int batch;
    } cases[] = {{"30", 1, 600}, {"60", 1, 1200},  {"61", 2, 610},
                 {"90", 2, 900}, {"200", 4, 1000}, {"-30", 1, 600}};
    for (const auto& c : cases) {
        view_.text[kSecondsEdit] = c.seconds;
        page_->OnExport();
        EXPECT_EQ(page_->PollDivider(), c.divider) << c.seconds;
        EXPECT_EQ(page_->Recorder().BatchSize(), c.batch) << c.seconds;
        page_->OnExport();
    }

    // 0 goes on with the previous settings.
    view_.text[kSecondsEdit] = "200";
    page_->OnExport();
    page_->OnExport();
    view_.text[kSecondsEdit] = "0";
    view_.text[kFileEdit] = "other.txt";
    page_->OnExport();
    EXPECT_TRUE(page_->Recording());
    EXPECT_EQ(page_->PollDivider(), 4);
    EXPECT_EQ(page_->Recorder().BatchSize(), 1000);
    EXPECT_EQ(page_->Recorder().FileName(), "record.txt");
    page_->OnExport();

    // Divider 2: only every second tick reads the servo.
    view_.text[kSecondsEdit] = "61";
    page_->OnExport();
    comm_.Reply(SampleReply());
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "");
    page_->PollTick();
    EXPECT_EQ(comm_.Take(), "FF FF 01 04 02 38 11 AF");
    EXPECT_EQ(page_->Recorder().Collected(), 1);
    ui_.Drain();
}

TEST_F(PageTest, NewFileGetsHeaderAndModbusRecordsSameColumns) {
    std::ofstream(dir_ / "record.txt", std::ios::binary) << "No,Pos\r\n1,2,3\r\n2,3,4\r\n";
    MakePage(false);
    EXPECT_EQ(Shown(kRowsEdit), "2");  // data rows of the existing file

    Select(kModbusServo, kKindModbus, 7);
    view_.text[kFileEdit] = "modbus.txt";
    view_.text[kSecondsEdit] = "1";  // batches of 20
    page_->OnExport();
    for (int i = 0; i < 20; ++i)
        Poll(ModbusReply(5, {0, 2048, 0xFFEC, 15, 121, 33, 1, 9, 2100, 0}));
    auto lines = Lines(dir_ / "modbus.txt");
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "No,Pos,Gol,Ft,V,C,T,Vol\r");
    EXPECT_EQ(lines[1], "1,2048,2100,15,-20,9,33,121,END\r");
    EXPECT_EQ(Shown(kRowsEdit), "20");
    page_->OnExport();

    // "Empty" is refused while recording and on a missing file.
    page_->OnExport();
    page_->OnEmpty();
    EXPECT_EQ(Lines(dir_ / "modbus.txt").size(), 21u);
    page_->OnExport();
    view_.text[kFileEdit] = "missing.txt";
    page_->OnEmpty();
    EXPECT_EQ(Shown(kRowsEdit), "20");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing.txt"));
}

TEST_F(PageTest, ChineseRecordHeader) {
    MakePage(true);
    Select(kServoA);
    page_->OnExport();
    const auto lines = Lines(dir_ / "record.txt");
    ASSERT_EQ(lines.size(), 1u);
    // "序号,位置,目标,扭矩,速度,电流,温度,电压" in code page 936.
    EXPECT_EQ(HexOf(std::vector<uint8_t>(lines[0].begin(), lines[0].end())),
              "D0 F2 BA C5 2C CE BB D6 C3 2C C4 BF B1 EA 2C C5 A4 BE D8 2C CB D9 B6 C8 2C B5 E7 "
              "C1 F7 2C CE C2 B6 C8 2C B5 E7 D1 B9 0D");
    EXPECT_EQ(Shown(kExportButton), "停止");
}
