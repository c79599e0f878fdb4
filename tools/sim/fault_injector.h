#pragma once
// Faults switched on at run time from any thread and applied by the bus worker to the
// replies it is about to send. Each kind counts down over the next replies; several
// kinds may be armed at once.
#include <cstdint>
#include <mutex>
#include <vector>

namespace sim {

class FaultInjector {
  public:
    // The next n replies are not sent.
    void DropReplies(int n);
    // The next n replies get one byte inverted: at `offset` from the start, or (offset -1)
    // the byte before the checksum or the CRC's first byte, so the frame stays the same
    // length but fails its check.
    void CorruptReplies(int n, int offset = -1);
    // The next n replies are preceded by these bytes.
    void GarbageBeforeReplies(int n, std::vector<uint8_t> garbage);
    // The next n replies are held back for this many extra milliseconds.
    void LateReplies(int n, int extra_ms);
    // While on, the line carries an endless stream without two 0xFF bytes in a row, and
    // requests go unanswered.
    void SetEndlessGarbage(bool on);
    bool endless_garbage() const;
    void Clear();

    // Worker side: applies the armed faults to one reply. Returns false when the reply is
    // to be dropped; adds the late delay to extra_ms.
    bool Apply(std::vector<uint8_t>& reply, int& extra_ms);
    // The next chunk of the endless stream.
    void FillGarbage(uint8_t* out, size_t n);

  private:
    mutable std::mutex mutex_;
    int drop_ = 0;
    int corrupt_ = 0;
    int corrupt_offset_ = -1;
    int garbage_ = 0;
    std::vector<uint8_t> garbage_bytes_;
    int late_ = 0;
    int late_ms_ = 0;
    bool endless_ = false;
    uint8_t next_garbage_ = 0;
};

}  // namespace sim
