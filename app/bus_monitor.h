#pragma once
// The bus monitor's logic: turns the transfers the port recorded into rows (time, TX/RX, the
// bytes, what they mean), pauses, clears, filters by id and saves the shown rows as a trace
// in the command line's --trace format. Runs on the user-interface thread; the view calls
// Refresh at most ten times a second.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/trace_decoder.h"
#include "transport/transfer_log.h"

class BusMonitorView;

struct MonitorRow {
    int64_t micros = 0;
    bool sent = false;
    std::vector<uint8_t> bytes;  // as kept by the log
    int length = 0;              // as moved on the line
    DecodedTransfer decoded;

    std::string TimeText() const;   // "12.345678"
    std::string BytesText() const;  // "FF FF 01 ..." or "-"
    std::string TraceLine() const;  // the --trace line
};

class BusMonitor {
  public:
    // At most this many rows are kept (the log's ring size).
    static constexpr size_t kMaxRows = TransferLog::kCapacity;

    BusMonitor(const TransferLog& log, BusMonitorView& view, bool chinese);

    // Takes the transfers recorded since the last call (nothing while paused).
    void Refresh();
    void SetPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }
    void Clear();
    // Shows only the rows of one id: "" shows all, a number 0..254 that id. false for any
    // other text (the filter is then off).
    bool SetFilter(const std::string& text);
    // Asks for a file and writes the shown rows to it; false when cancelled or on failure
    // (the failure is shown).
    bool Save();
    bool SaveTo(const std::string& path) const;

    const std::deque<MonitorRow>& shown() const { return shown_; }

  private:
    bool Matches(const MonitorRow& row) const { return filter_ < 0 || row.decoded.id == filter_; }

    const TransferLog& log_;
    BusMonitorView& view_;
    bool chinese_;
    bool paused_ = false;
    int filter_ = -1;
    uint64_t seen_ = 0;
    TraceDecoder decoder_;
    std::vector<TransferRecord> fresh_;
    std::deque<MonitorRow> all_;
    std::deque<MonitorRow> shown_;
};
