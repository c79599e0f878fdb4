#include "tools/sim/boot_loader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sim {
namespace {
constexpr uint8_t kAck = 6, kNak = 21, kStart = 0x01, kLast = 4, kMore = 6;
constexpr size_t kCodeBytes = 5, kBlockBytes = 70;
constexpr auto kWindow = std::chrono::milliseconds(1000);
constexpr auto kStale = std::chrono::milliseconds(20);
constexpr auto kCallEvery = std::chrono::milliseconds(50);
constexpr uint8_t kGarbageByte = 0x3F;

// CRC-16 with polynomial 0x1021, initial value 0, high bit first.
uint16_t Crc(const uint8_t* data, size_t n) {
    uint16_t crc = 0;
    for (size_t k = 0; k < n; ++k) {
        crc ^= static_cast<uint16_t>(data[k] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}
}  // namespace

BootLoader::BootLoader(Kind kind, int id)
    : kind_(kind), id_(id), state_(kind == Kind::kOpen ? State::kHandshake : State::kIdle) {}

void BootLoader::Enter(int baud) {
    baud_ = baud;
    state_ = kind_ == Kind::kPwm ? State::kStart : State::kHandshake;
    deadline_ = Clock::now() + kWindow;
    partial_.clear();
}

size_t BootLoader::Expected() const {
    switch (state_) {
        case State::kHandshake:
            return kCodeBytes;
        case State::kStart:
            return 1;
        default:
            return kBlockBytes;
    }
}

bool BootLoader::TakeCompleted() { return std::exchange(completed_, false); }

void BootLoader::Answer1(int verdict, size_t request, std::vector<Answer>& out) const {
    if (verdict < 0) return;
    Answer a;
    a.request_bytes = request;
    const auto v = static_cast<uint8_t>(verdict);
    if (kind_ == Kind::kPwm) {
        // A status-like packet whose second byte carries the verdict.
        const auto id = static_cast<uint8_t>(id_);
        a.bytes = {0xFF, v, id, 0x02, v, 0x00, static_cast<uint8_t>(~(id + 2 + v))};
    } else {
        a.bytes = {v};
    }
    out.push_back(std::move(a));
}

void BootLoader::Feed(const uint8_t* data, size_t n, const BootFaults& faults,
                      std::vector<Answer>& out) {
    if (state_ == State::kIdle) return;
    // A line that is silent for a while starts the next step afresh (see Tick).
    last_rx_ = Clock::now();
    partial_.insert(partial_.end(), data, data + n);
    while (state_ != State::kIdle) {
        size_t take = Expected();
        // A master that starts over sends the access code again, whatever step it left.
        if (kind_ != Kind::kPwm && state_ != State::kHandshake &&
            std::memcmp(partial_.data(), Code(), std::min(partial_.size(), kCodeBytes)) == 0) {
            if (partial_.size() < kCodeBytes) break;
            state_ = State::kHandshake;
            take = kCodeBytes;
        }
        if (partial_.size() < take) break;
        std::vector<uint8_t> unit(partial_.begin(), partial_.begin() + static_cast<long>(take));
        partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(take));
        Step(unit, faults, out);
    }
    if (state_ == State::kIdle) partial_.clear();
}

void BootLoader::Step(const std::vector<uint8_t>& unit, const BootFaults& faults,
                      std::vector<Answer>& out) {
    silent_ = faults.kind == BootFaults::kSilent;
    int verdict = -1;
    switch (state_) {
        case State::kHandshake:
            if (std::memcmp(unit.data(), Code(), kCodeBytes) == 0) {
                verdict = kAck;
                state_ = State::kStart;
            }
            break;  // a wrong code goes unanswered
        case State::kStart:
            if (unit[0] == kStart) {
                verdict = kAck;
                state_ = State::kBlocks;
                next_block_ = 1;
                raw_flag_ = -1;
                received_.clear();
            } else {
                verdict = kNak;
            }
            break;
        case State::kBlocks:
            verdict = Block(unit, faults);
            break;
        case State::kIdle:
            return;
    }
    if (silent_) return;
    if (faults.kind == BootFaults::kGarbage && state_ != State::kHandshake && verdict >= 0)
        verdict = kGarbageByte;
    Answer1(verdict, unit.size(), out);
}

int BootLoader::Block(const std::vector<uint8_t>& p, const BootFaults& faults) {
    const auto number = static_cast<uint8_t>(next_block_ & 0xFF);
    const auto previous = static_cast<uint8_t>((next_block_ - 1) & 0xFF);
    if (static_cast<uint8_t>(~p[1]) != p[0]) return kNak;
    if (p[2] > 1 || (raw_flag_ >= 0 && p[2] != raw_flag_)) return kNak;
    const uint16_t crc = kind_ == Kind::kOpen ? Crc(p.data() + 3, 64) : Crc(p.data(), 64);
    if (p[67] != (crc >> 8) || p[68] != (crc & 0xFF)) return kNak;
    if (p[69] != kMore && p[69] != kLast) return kNak;
    // The answer to the last block got lost: the master sends it once more.
    if (next_block_ > 1 && p[0] == previous && p[0] != number) return kAck;
    if (p[0] != number || next_block_ > kMaxBlocks) return kNak;
    if (faults.kind == BootFaults::kNakForever) return kNak;
    if (faults.kind == BootFaults::kNakOnce && faults.block == next_block_ && !nak_once_done_) {
        nak_once_done_ = true;
        return kNak;
    }
    raw_flag_ = p[2];
    received_.insert(received_.end(), p.begin() + 3, p.begin() + 67);
    ++next_block_;
    if (p[69] == kLast) {
        image_ = received_;
        ++uploads_;
        completed_ = true;
        nak_once_done_ = false;
        state_ = kind_ == Kind::kOpen ? State::kHandshake : State::kIdle;
    }
    return kAck;
}

void BootLoader::Recover(const std::vector<uint8_t>& partial, std::vector<Answer>& out) {
    // A master that failed half-way may send the start byte again: a lone byte where a
    // block was awaited.
    if (state_ == State::kBlocks && partial.size() == 1 && partial[0] == kStart) {
        next_block_ = 1;
        raw_flag_ = -1;
        received_.clear();
        if (!silent_) Answer1(kAck, 1, out);
    }
}

void BootLoader::Tick(int line_baud, const BootFaults& faults, std::vector<Answer>& out) {
    const auto now = Clock::now();
    silent_ = faults.kind == BootFaults::kSilent;
    if (!partial_.empty() && now - last_rx_ > kStale) {
        const std::vector<uint8_t> partial = std::move(partial_);
        partial_.clear();
        Recover(partial, out);
    }
    // A restarted device waits a moment for its loader's first step, then runs on.
    if (kind_ != Kind::kOpen &&
        (state_ == State::kHandshake || (kind_ == Kind::kPwm && state_ == State::kStart)) &&
        now > deadline_)
        state_ = State::kIdle;
    if (kind_ == Kind::kOpen && state_ == State::kHandshake && line_baud == kLoaderBaud &&
        partial_.empty() && now - last_rx_ > kCallEvery && now - last_call_ > kCallEvery) {
        last_call_ = now;
        if (!silent_) out.push_back(Answer{{'C'}, 0});
    }
}

}  // namespace sim
