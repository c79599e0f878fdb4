#include "tools/sim/pwm_adapter.h"

#include "tools/sim/wire_codes.h"

namespace sim {
namespace {
constexpr uint8_t kWrite = 0x03;
constexpr uint8_t kBroadcast = 0xFE;
constexpr size_t kMaxTrain = 1 << 20;  // a demo left running for days stays bounded
}  // namespace

PwmAdapter::PwmAdapter(const PwmAdapterSettings& settings)
    : id_(settings.id), baud_(settings.baud), level_(settings.level) {
    memory_[kActiveAddress] = 1;
    memory_[kPulseAddress] = 1500 & 0xFF;
    memory_[kPulseAddress + 1] = 1500 >> 8;
}

bool PwmAdapter::HandleInstruction(const uint8_t* packet, size_t n, std::vector<uint8_t>& reply) {
    // FF FF id length instruction address data... checksum
    if (n < 7) return false;
    const uint8_t target = packet[2];
    if (target != id_ && target != kBroadcast) return false;
    if (packet[4] != kWrite) return false;
    const int address = packet[5];
    const size_t count = n - 7;
    {
        std::lock_guard lock(mutex_);
        for (size_t k = 0; k < count && address + k < memory_.size(); ++k)
            memory_[address + k] = packet[6 + k];
        const int last = address + static_cast<int>(count) - 1;
        const bool signal = address <= kOutputAddress && last >= kPulseAddress;
        if (signal && count > 0) {
            if (train_.size() >= kMaxTrain)
                train_.erase(train_.begin(), train_.begin() + kMaxTrain / 2);
            train_.push_back({std::chrono::steady_clock::now(),
                              memory_[kPulseAddress] | memory_[kPulseAddress + 1] << 8,
                              memory_[kOutputAddress] != 0});
        }
    }
    if (target == kBroadcast || level_ == 0) return false;
    reply.assign({0xFF, 0xFF, static_cast<uint8_t>(id_), 0x02, 0x00});
    reply.push_back(InstructionChecksum(reply.data() + 2, reply.size() - 2));
    return true;
}

std::vector<PulseSample> PwmAdapter::Train() const {
    std::lock_guard lock(mutex_);
    return train_;
}

void PwmAdapter::ClearTrain() {
    std::lock_guard lock(mutex_);
    train_.clear();
}

uint8_t PwmAdapter::Peek(int address) const {
    std::lock_guard lock(mutex_);
    return memory_[address & 0xFF];
}

}  // namespace sim
