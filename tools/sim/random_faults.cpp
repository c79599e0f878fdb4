#include "tools/sim/random_faults.h"

#include <vector>

namespace sim {

void RandomFaults::Set(int percent, uint32_t seed) {
    std::lock_guard lock(mutex_);
    percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    random_.seed(seed);
}

int RandomFaults::percent() const {
    std::lock_guard lock(mutex_);
    return percent_;
}

void RandomFaults::Arm(FaultInjector& faults) {
    std::lock_guard lock(mutex_);
    if (percent_ == 0 || static_cast<int>(random_() % 100) >= percent_) return;
    switch (random_() % 4) {
        case 0:
            faults.DropReplies(1);
            break;
        case 1:
            faults.CorruptReplies(1);
            break;
        case 2: {
            std::vector<uint8_t> noise(1 + random_() % 64);
            for (uint8_t& b : noise) b = static_cast<uint8_t>(random_());
            faults.GarbageBeforeReplies(1, std::move(noise));
            break;
        }
        default:
            faults.LateReplies(1, 1 + static_cast<int>(random_() % 40));
            break;
    }
}

}  // namespace sim
