// Sample recorder: record file contents, row numbering, batch sizes, write failures, locking.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "pages/debug/data_recorder.h"
#include "tests/support/test_folder.h"

namespace fs = std::filesystem;

namespace {

const char kEnglishHeader[] = "No,Pos,Gol,Ft,V,C,T,Vol\n";
const char kRow[] = "%d,%d,%d,%d,%d,%d,%d,%d,END\n";

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

RecordSample Sample(int16_t base) {
    return RecordSample{base, static_cast<int16_t>(base + 1), 12, 0, 3, 31, 74};
}

class Recorder : public ::testing::Test {
  protected:
    TestFolder folder_;
    const fs::path dir_ = folder_.path();
    const std::string file_ = (dir_ / "record.txt").string();
    DataRecorder rec_;
};

TEST_F(Recorder, HeaderGoesOnlyIntoAnEmptyFile) {
    // Page start-up: a missing file is neither counted nor created.
    EXPECT_EQ(rec_.OpenRecord(1200, file_, DataRecorder::kHeaderEnglish, kRow, false), 0);
    EXPECT_FALSE(fs::exists(file_));
    // Recording starts: the file is created with the header line.
    EXPECT_EQ(rec_.OpenRecord(600, file_, "", "", true), 1);
    EXPECT_EQ(ReadAll(file_), "No,Pos,Gol,Ft,V,C,T,Vol\r\n");
    // Opening again neither truncates nor repeats the header.
    EXPECT_EQ(rec_.OpenRecord(600, file_, "", "", true), 1);
    EXPECT_EQ(ReadAll(file_), "No,Pos,Gol,Ft,V,C,T,Vol\r\n");
    // An existing empty file gets the header even without create.
    const std::string other = (dir_ / "other.txt").string();
    WriteAll(other, "");
    EXPECT_EQ(rec_.OpenRecord(600, other, "", "", false), 1);
    EXPECT_EQ(ReadAll(other), "No,Pos,Gol,Ft,V,C,T,Vol\r\n");
}

TEST_F(Recorder, ChineseHeaderIsCodePage936) {
    ASSERT_EQ(
        rec_.OpenRecord(1, file_, DataRecorder::kHeaderChinese, DataRecorder::kRowFormat, true), 1);
    EXPECT_EQ(rec_.AddSample({2047, 2048, 12, 0, 3, 31, 74}), 2);
    EXPECT_EQ(ReadAll(file_),
              "\xD0\xF2\xBA\xC5,\xCE\xBB\xD6\xC3,\xC4\xBF\xB1\xEA,\xC5\xA4\xBE\xD8,"
              "\xCB\xD9\xB6\xC8,\xB5\xE7\xC1\xF7,\xCE\xC2\xB6\xC8,\xB5\xE7\xD1\xB9\r\n"
              "1,2047,2048,12,0,3,31,74,END\r\n");
}

TEST_F(Recorder, BatchIsWrittenWhenFullWithNumberedRows) {
    ASSERT_EQ(rec_.OpenRecord(3, file_, kEnglishHeader, kRow, true), 1);
    EXPECT_EQ(rec_.AddSample({2047, 2048, 12, 0, 3, 31, 74}), -1);
    EXPECT_EQ(rec_.AddSample({-100, -5, -1023, -300, -2, 0, 120}), -1);
    EXPECT_EQ(ReadAll(file_), "No,Pos,Gol,Ft,V,C,T,Vol\r\n");  // nothing before the batch fills
    EXPECT_EQ(rec_.AddSample({32767, -32768, 1, 2, 3, 4, 5}), 4);
    EXPECT_EQ(ReadAll(file_),
              "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
              "1,2047,2048,12,0,3,31,74,END\r\n"
              "2,-100,-5,-1023,-300,-2,0,120,END\r\n"
              "3,32767,-32768,1,2,3,4,5,END\r\n");
    EXPECT_EQ(rec_.Collected(), 0);
    EXPECT_EQ(rec_.CountLines(false), 4);

    // Batch size 0 records nothing.
    rec_.OpenRecord(0, file_, "", "", true);
    EXPECT_EQ(rec_.AddSample(Sample(1)), -1);
    EXPECT_EQ(rec_.Collected(), 0);
}

TEST_F(Recorder, RowsContinueTheNumberingOfAnExistingFile) {
    WriteAll(file_,
             "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
             "1,1,1,1,1,1,1,1,END\r\n"
             "2,2,2,2,2,2,2,2,END\r\n"
             "3,3,3,3,3,3,3,3,END");  // last line without its line end still counts
    ASSERT_EQ(rec_.OpenRecord(2, file_, kEnglishHeader, kRow, true), 4);
    rec_.AddSample(Sample(10));
    EXPECT_EQ(rec_.AddSample(Sample(20)), 6);
    EXPECT_EQ(ReadAll(file_),
              "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
              "1,1,1,1,1,1,1,1,END\r\n"
              "2,2,2,2,2,2,2,2,END\r\n"
              "3,3,3,3,3,3,3,3,END\r\n"  // the missing line end is supplied first
              "4,10,11,12,0,3,31,74,END\r\n"
              "5,20,21,12,0,3,31,74,END\r\n");

    // Files written with plain LF line ends count the same.
    const std::string lf = (dir_ / "lf.txt").string();
    WriteAll(lf, "No,Pos\n1,x\n2,y\n");
    EXPECT_EQ(rec_.OpenRecord(2, lf, "", "", false), 3);
}

TEST_F(Recorder, ExportPressedEarlyWritesThePartialBatch) {
    ASSERT_EQ(rec_.OpenRecord(600, file_, kEnglishHeader, kRow, true), 1);
    for (int16_t i = 0; i < 200; ++i) EXPECT_EQ(rec_.AddSample(Sample(i)), -1);
    EXPECT_EQ(rec_.WriteBatch(), 201);
    EXPECT_EQ(rec_.Collected(), 0);
    const std::string text = ReadAll(file_);
    const std::string start =
        "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
        "1,0,1,12,0,3,31,74,END\r\n"
        "2,1,2,12,0,3,31,74,END\r\n";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_NE(text.find("\r\n200,199,200,12,0,3,31,74,END\r\n"), std::string::npos);
    EXPECT_EQ(text.size() - text.find("200,199"),
              std::string("200,199,200,12,0,3,31,74,END\r\n").size());
    // A second press with nothing collected appends nothing.
    EXPECT_EQ(rec_.WriteBatch(), 201);
    EXPECT_EQ(ReadAll(file_), text);
}

TEST_F(Recorder, EmptyLeavesTheHeaderAndNoRows) {
    ASSERT_EQ(rec_.OpenRecord(2, file_, kEnglishHeader, kRow, true), 1);
    rec_.AddSample(Sample(1));
    rec_.AddSample(Sample(2));
    rec_.AddSample(Sample(3));  // collected, not yet written
    EXPECT_EQ(rec_.EmptyRecord(""), 1);
    EXPECT_EQ(ReadAll(file_), "No,Pos,Gol,Ft,V,C,T,Vol\r\n");
    EXPECT_EQ(rec_.Collected(), 0);
    // Numbering starts again under the header.
    rec_.AddSample(Sample(4));
    EXPECT_EQ(rec_.AddSample(Sample(5)), 3);
    EXPECT_EQ(ReadAll(file_),
              "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
              "1,4,5,12,0,3,31,74,END\r\n"
              "2,5,6,12,0,3,31,74,END\r\n");

    // A missing file: nothing changes.
    EXPECT_EQ(rec_.EmptyRecord((dir_ / "missing.txt").string()), -1);
    EXPECT_FALSE(fs::exists(dir_ / "missing.txt"));
    EXPECT_EQ(rec_.RowCounter(), 3);

    // Another named file is cut; the count shown is the record file's.
    const std::string other = (dir_ / "other.txt").string();
    WriteAll(other, "a\r\nb\r\n");
    EXPECT_EQ(rec_.EmptyRecord(other), 3);
    EXPECT_EQ(ReadAll(other), "");
    EXPECT_EQ(rec_.FileName(), file_);
}

TEST_F(Recorder, AFailedWriteKeepsTheRowsUntilTheFileCanBeWritten) {
    ASSERT_EQ(rec_.OpenRecord(2, file_, kEnglishHeader, kRow, true), 1);
    fs::remove(file_);
    bool failed = true;
    rec_.AddSample(Sample(1), &failed);
    EXPECT_FALSE(failed);  // batch not full: no write was tried
    EXPECT_EQ(rec_.AddSample(Sample(2), &failed), -1);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(rec_.LastWriteFailed());
    EXPECT_EQ(rec_.Collected(), 2);
    EXPECT_FALSE(fs::exists(file_));  // a batch write never creates the file
    EXPECT_EQ(rec_.AddSample(Sample(3)), -1);
    EXPECT_EQ(rec_.WriteBatch(), -1);  // "Export" while the file is still missing
    EXPECT_EQ(rec_.Collected(), 3);

    // Recording starts again: the file is created and the kept rows go in first.
    EXPECT_EQ(rec_.OpenRecord(2, file_, "", "", true), 1);
    EXPECT_EQ(rec_.AddSample(Sample(4)), 5);
    EXPECT_FALSE(rec_.LastWriteFailed());
    EXPECT_EQ(ReadAll(file_),
              "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
              "1,1,2,12,0,3,31,74,END\r\n"
              "2,2,3,12,0,3,31,74,END\r\n"
              "3,3,4,12,0,3,31,74,END\r\n"
              "4,4,5,12,0,3,31,74,END\r\n");
    EXPECT_EQ(rec_.DroppedRows(), 0);
}

TEST_F(Recorder, RowFormatIsNeverHandedToPrintf) {
    ASSERT_EQ(rec_.OpenRecord(1, file_, kEnglishHeader, "%s|%n|%d|%5d|%%|%d%d%d%d%d%d%d%d\n", true),
              1);
    EXPECT_EQ(rec_.AddSample({7, 8, 9, 10, 11, 12, 13}), 2);
    EXPECT_EQ(ReadAll(file_),
              "No,Pos,Gol,Ft,V,C,T,Vol\r\n"
              "%s|%n|1|%5d|%|78910111213%d\r\n");
}

TEST(RecordTiming, DividerAndBatchSizeFollowTheRecordingTime) {
    struct Case {
        int seconds, divider, batch;
    };
    const Case cases[] = {{30, 1, 600},     {60, 1, 1200},     {61, 2, 610},   {90, 2, 900},
                          {200, 4, 1000},   {1, 1, 20},        {119, 2, 1190}, {1200, 20, 1200},
                          {1201, 21, 1200}, {9999, 167, 1200}, {0, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(DataRecorder::PollDividerFor(c.seconds), c.divider) << c.seconds;
        EXPECT_EQ(DataRecorder::BatchSizeFor(c.seconds), c.batch) << c.seconds;
    }
    // A negative time counts as its magnitude, never as a zero divider.
    EXPECT_EQ(DataRecorder::PollDividerFor(-90), 2);
    EXPECT_EQ(DataRecorder::BatchSizeFor(-90), 900);
    EXPECT_EQ(DataRecorder::PollDividerFor(-2147483647 - 1), 35791395);
    EXPECT_EQ(DataRecorder::BatchSizeFor(-2147483647 - 1), 1200);
}

TEST_F(Recorder, PollThreadAndButtonsShareOneLock) {
    ASSERT_EQ(rec_.OpenRecord(50, file_, kEnglishHeader, kRow, true), 1);
    constexpr int kSamples = 5000;
    std::thread poll([&] {
        for (int i = 0; i < kSamples; ++i) rec_.AddSample(Sample(static_cast<int16_t>(i)));
    });
    for (int i = 0; i < 200; ++i) {
        rec_.WriteBatch();  // "Export" pressed while the poll records
        (void)rec_.Collected();
    }
    poll.join();
    const int rows = rec_.WriteBatch();
    EXPECT_EQ(rows, kSamples + 1);
    EXPECT_EQ(rec_.CountLines(false), kSamples + 1);
    // Rows are numbered without gaps in the order they were added.
    const std::string text = ReadAll(file_);
    EXPECT_NE(text.find("\r\n5000,4999,5000,12,0,3,31,74,END\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n2500,2499,2500,"), std::string::npos);
}

}  // namespace
