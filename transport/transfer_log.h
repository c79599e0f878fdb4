#pragma once
// Every transfer on the serial line, kept for the bus monitor: a ring of fixed-size records
// filled by the thread that talks to the port. Recording copies the bytes into a slot that
// was allocated up front (no allocation per transfer or byte, no call into the display), so
// the bus pays a short lock and a copy. The ring holds the newest kCapacity transfers; the
// oldest are overwritten, so memory stays at kCapacity x sizeof(TransferRecord) however
// long the program runs.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CQVComm;

struct TransferRecord {
    static constexpr int kMaxBytes = 264;  // the longest packet of either protocol, and more

    uint64_t seq = 0;    // 1 for the first transfer recorded, counting on
    int64_t micros = 0;  // since the log began
    bool sent = false;   // TX (WriteBytes) or RX (ReadBytes)
    int length = 0;      // bytes moved; only the first kMaxBytes are kept
    std::array<uint8_t, kMaxBytes> bytes{};

    int kept() const { return length < kMaxBytes ? length : kMaxBytes; }
};

class TransferLog {
  public:
    static constexpr size_t kCapacity = 4096;

    explicit TransferLog(size_t capacity = kCapacity);
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    // Records every transfer of port from now on (set while no transfer runs).
    void Attach(CQVComm& port);

    // One transfer; called on the transferring thread.
    void Record(bool sent, const uint8_t* bytes, int n);

    // Copies the records newer than `after` that the ring still holds, oldest first, into
    // out (reusing its storage); returns the sequence number of the newest record (after,
    // when there is none). Transfers overwritten before they were copied are skipped.
    uint64_t CopySince(uint64_t after, std::vector<TransferRecord>& out) const;

    size_t capacity() const { return ring_.size(); }

  private:
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start_ = Clock::now();
    mutable std::mutex m_;
    std::vector<TransferRecord> ring_;
    uint64_t newest_ = 0;
};

// One line of the trace: seconds since the trace began with microseconds, "TX" or "RX",
// then the bytes in hexadecimal ("-" for a read that got none). No line end.
std::string FormatTraceLine(int64_t micros, bool sent, const uint8_t* bytes, int n);
// Its two parts: the time ("12.345678") and the bytes ("AB 01", or "-" for none).
std::string FormatTraceTime(int64_t micros);
std::string FormatTraceBytes(const uint8_t* bytes, int n);
