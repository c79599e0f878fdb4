#pragma once
// Records polled feedback samples into a comma-separated text file, appended in batches.
//
// File: a header line written only into an empty file, then one numbered row per sample;
// every line ends in CR LF (the "\n" of the header and row format is written as CR LF), so a
// record file has the same bytes wherever it was written. The row counter continues from
// the file's line count (header included): the first row under a fresh header is 1.
//
// A batch that cannot be written stays in memory and is written with the next successful
// write of the same recording (the call reports -1 meanwhile); rows are lost only when
// "Empty" discards them, the backlog passes kMaxPending rows, or the recording ends with
// its last write failing. A recording starts with nothing collected. All operations take the
// recorder's one lock: the poll thread adds samples while the user-interface thread starts, stops
// and empties.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Seven values of one poll, after decoding and before any display scaling.
struct RecordSample {
    int16_t position = 0;
    int16_t goal = 0;
    int16_t torque = 0;
    int16_t speed = 0;
    int16_t current = 0;
    int16_t temperature = 0;
    int16_t voltage = 0;
};

class DataRecorder {
  public:
    static constexpr int kMaxBatch = 1200;
    // Backlog kept while the file cannot be written (about 16 hours at 20 samples a second).
    static constexpr int kMaxPending = 1200 * 1000;

    // Header texts as written into a file (the Chinese one in code page 936, the code page
    // of Chinese text files on the target systems) and the row format, shared by both.
    static const char* const kHeaderEnglish;  // "No,Pos,Gol,Ft,V,C,T,Vol\n"
    static const char* const kHeaderChinese;  // 序号,位置,目标,扭矩,速度,电流,温度,电压 + "\n"
    static const char* const kRowFormat;  // "%d,%d,%d,%d,%d,%d,%d,%d,END\n"

    // Poll divider and batch size for a recording time in seconds: d = (s - 1) / 60 + 1 and
    // s x (20 / d) samples, 1200 when that is 0 or above. A negative time counts as its
    // magnitude; 0 gives divider 0 and batch 0, meaning "keep the current settings".
    static int PollDividerFor(int seconds);
    static int BatchSizeFor(int seconds);

    // Sets batch size (clamped to 0..1200), file and, when not empty, header and row format;
    // returns the row counter, CountLines(create). Samples not yet written are kept.
    int OpenRecord(int batch_size, const std::string& file_name, const std::string& header,
                   const std::string& row_format, bool create);
    // Adds a sample; when the batch is full writes it. Returns the row counter after a
    // successful write, else -1 (nothing written: batch not full, batch size 0, or failure).
    // *write_failed, when given, tells whether this call tried to write and failed.
    // Refused (-1) between StopRecording and the next StartRecording.
    int AddSample(const RecordSample& sample, bool* write_failed = nullptr);
    // A recording begins: whatever an earlier one left uncollected is dropped and samples
    // are taken again.
    void StartRecording();
    // The recording ends: the collected samples are written (WriteBatch's result) and then
    // dropped whether or not that succeeded; later samples are refused until the next start.
    int StopRecording();
    // Appends every collected sample to the file (which must exist) and empties the batch.
    // Returns the row counter, or -1 when the file cannot be opened or written; then the
    // samples stay collected and the file keeps its previous length.
    int WriteBatch();
    // Lines of the record file; an empty file first gets the header (counted as 1). With
    // create a missing file is created (never truncated). 0 when the file cannot be opened.
    int CountLines(bool create);
    // Cuts the named file (empty name: the record file) to length 0, then recounts the record
    // file (heading it if empty). Returns that count, or -1 when the named file cannot be
    // opened. Emptying the record file also discards samples not yet written.
    int EmptyRecord(const std::string& file_name);

    int Collected() const;  // samples waiting to be written
    int BatchSize() const;
    int RowCounter() const;
    std::string FileName() const;
    bool LastWriteFailed() const;   // the latest write attempt failed
    long long DroppedRows() const;  // rows discarded because the backlog was full

  private:
    int WriteBatchLocked();
    int CountLinesLocked(bool create);
    std::string FormatRow(int row, const RecordSample& s) const;

    mutable std::mutex m_;
    std::vector<RecordSample> samples_;
    int batch_size_ = 0;
    int row_counter_ = 0;
    std::string file_name_;
    std::string header_;
    std::string row_format_;
    bool last_write_failed_ = false;
    long long dropped_ = 0;
    // A recorder that is never started or stopped takes every sample.
    bool accepting_ = true;
};
