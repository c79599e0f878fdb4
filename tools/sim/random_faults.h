#pragma once
// Faults at random: before each reply, with the chance set, one fault of a random kind is
// armed for that reply alone (dropped, corrupted, preceded by random bytes, or 1 to 40 ms
// late), so a long run sees every kind in every order. Reproducible from its seed.
#include <cstdint>
#include <mutex>
#include <random>

#include "tools/sim/fault_injector.h"

namespace sim {

class RandomFaults {
  public:
    // percent 0 switches random faults off.
    void Set(int percent, uint32_t seed);
    int percent() const;
    // Bus worker, before each reply: arms at most one fault in `faults` for the next reply.
    // Replaces a count the same kind had left.
    void Arm(FaultInjector& faults);

  private:
    mutable std::mutex mutex_;
    int percent_ = 0;
    std::mt19937 random_;
};

}  // namespace sim
