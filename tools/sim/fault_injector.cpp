#include "tools/sim/fault_injector.h"

namespace sim {

void FaultInjector::DropReplies(int n) {
    std::lock_guard lock(mutex_);
    drop_ = n;
}

void FaultInjector::CorruptReplies(int n, int offset) {
    std::lock_guard lock(mutex_);
    corrupt_ = n;
    corrupt_offset_ = offset;
}

void FaultInjector::GarbageBeforeReplies(int n, std::vector<uint8_t> garbage) {
    std::lock_guard lock(mutex_);
    garbage_ = n;
    garbage_bytes_ = std::move(garbage);
}

void FaultInjector::LateReplies(int n, int extra_ms) {
    std::lock_guard lock(mutex_);
    late_ = n;
    late_ms_ = extra_ms;
}

void FaultInjector::SetEndlessGarbage(bool on) {
    std::lock_guard lock(mutex_);
    endless_ = on;
}

bool FaultInjector::endless_garbage() const {
    std::lock_guard lock(mutex_);
    return endless_;
}

void FaultInjector::Clear() {
    std::lock_guard lock(mutex_);
    drop_ = corrupt_ = garbage_ = late_ = 0;
    endless_ = false;
}

bool FaultInjector::Apply(std::vector<uint8_t>& reply, int& extra_ms) {
    std::lock_guard lock(mutex_);
    if (endless_) return false;
    if (drop_ > 0) {
        --drop_;
        return false;
    }
    if (corrupt_ > 0 && !reply.empty()) {
        --corrupt_;
        size_t at = reply.size() >= 2 ? reply.size() - 2 : 0;
        if (corrupt_offset_ >= 0 && static_cast<size_t>(corrupt_offset_) < reply.size())
            at = static_cast<size_t>(corrupt_offset_);
        reply[at] ^= 0xFF;
    }
    if (garbage_ > 0) {
        --garbage_;
        reply.insert(reply.begin(), garbage_bytes_.begin(), garbage_bytes_.end());
    }
    if (late_ > 0) {
        --late_;
        extra_ms += late_ms_;
    }
    return true;
}

void FaultInjector::FillGarbage(uint8_t* out, size_t n) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < n; ++i) {
        out[i] = next_garbage_;
        next_garbage_ = static_cast<uint8_t>((next_garbage_ + 1) % 0xFF);  // never 0xFF
    }
}

}  // namespace sim
