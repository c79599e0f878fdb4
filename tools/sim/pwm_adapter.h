#pragma once
// The pulse-width signal adapter: answers under id 253 to instruction-protocol writes. Address
// 33-34 holds the pulse width in µs (low byte first whatever the bus byte order), 35 switches
// the output, 9 is set by the tool while its PWM page is shown. Every write that programs the
// signal is kept with its time stamp, so tests can read the generated pulse train back.
// Reads are not answered: the adapter is no servo, and the search does not list it.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "tools/sim/sim_device.h"

namespace sim {

struct PwmAdapterSettings {
    int id = 253;
    int baud = 115200;
    int level = 1;  // status-reply level: 0 never, otherwise every non-broadcast write
};

// The signal as one write left it.
struct PulseSample {
    std::chrono::steady_clock::time_point at;
    int pulse_us;
    bool output_on;
};

class PwmAdapter : public SimDevice {
  public:
    static constexpr int kActiveAddress = 9;
    static constexpr int kPulseAddress = 33;
    static constexpr int kOutputAddress = 35;

    explicit PwmAdapter(const PwmAdapterSettings& settings = {});

    int baud() const override { return baud_; }
    int id() const override { return id_; }
    bool HandleInstruction(const uint8_t* packet, size_t n, std::vector<uint8_t>& reply) override;

    // Safe from any thread: the record has its own lock.
    std::vector<PulseSample> Train() const;
    void ClearTrain();
    uint8_t Peek(int address) const;

  private:
    int id_;
    int baud_;
    int level_;
    mutable std::mutex mutex_;
    std::array<uint8_t, 256> memory_{};
    std::vector<PulseSample> train_;
};

}  // namespace sim
