#pragma once
// A serial port whose receive side is a fuzzed byte stream: reads take what is left of it
// (a short read once it runs out, as on a time-out); writes are accepted and dropped. The
// port never opens, so purges and line controls do nothing.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "transport/cqv_comm.h"

class FuzzedLine : public CQVComm {
  public:
    FuzzedLine(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    int WriteBytes(const uint8_t* buffer, int n) override { return buffer && n > 0 ? n : 0; }

    int ReadBytesUntil(uint8_t* buffer, int n, std::chrono::steady_clock::time_point) override {
        if (buffer == nullptr || n <= 0) return 0;
        const size_t take = std::min(static_cast<size_t>(n), size_ - at_);
        std::memcpy(buffer, data_ + at_, take);
        at_ += take;
        return static_cast<int>(take);
    }

    bool exhausted() const { return at_ >= size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
