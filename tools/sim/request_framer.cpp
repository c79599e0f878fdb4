#include "tools/sim/request_framer.h"

#include "tools/sim/wire_codes.h"

namespace sim {
namespace {
constexpr uint8_t kMaxModbusId = 247;
constexpr size_t kModbusMaxFrame = 256;
}  // namespace

void RequestFramer::Feed(const uint8_t* data, size_t n) {
    buffer_.insert(buffer_.end(), data, data + n);
    if (buffer_.size() > kMaxBuffered)
        buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<long>(kMaxBuffered));
}

RequestFramer::Verdict RequestFramer::Take(Kind kind, size_t length, Frame& out) {
    out.kind = kind;
    out.bytes.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
    return Verdict::kFrame;
}

RequestFramer::Verdict RequestFramer::TryInstruction(Frame& out) {
    if (buffer_.size() < 4) return Verdict::kWait;
    if (buffer_[1] != 0xFF || buffer_[2] == 0xFF) return Verdict::kSkip;
    const size_t length = buffer_[3];
    if (length < 2) return Verdict::kSkip;
    const size_t total = length + 4;
    if (buffer_.size() < total) return Verdict::kWait;
    if (InstructionChecksum(buffer_.data() + 2, total - 3) != buffer_[total - 1])
        return Verdict::kSkip;
    return Take(Kind::kInstruction, total, out);
}

RequestFramer::Verdict RequestFramer::TryModbus(Frame& out) {
    if (buffer_[0] > kMaxModbusId) return Verdict::kSkip;
    if (buffer_.size() < 2) return Verdict::kWait;
    auto crc_ok = [&](size_t total) {
        const uint16_t crc = ModbusCrc(buffer_.data(), total - 2);
        return buffer_[total - 2] == (crc & 0xFF) && buffer_[total - 1] == (crc >> 8);
    };
    size_t total = 0;
    switch (buffer_[1]) {
        case 0x03:
        case 0x06:
            total = 8;
            break;
        case 0x10:
            if (buffer_.size() < 7) return Verdict::kWait;
            total = 9 + buffer_[6];
            break;
        case 0x41:
            total = 4;
            break;
        default:
            // A function this device family does not know: its length is unknown, so take
            // the shortest prefix of a usual request size whose CRC holds, to answer it
            // with an exception.
            for (size_t candidate = 4; candidate <= 8 && candidate <= buffer_.size(); ++candidate)
                if (crc_ok(candidate)) return Take(Kind::kModbus, candidate, out);
            return buffer_.size() < 8 ? Verdict::kWait : Verdict::kSkip;
    }
    if (total > kModbusMaxFrame) return Verdict::kSkip;
    if (buffer_.size() < total) return Verdict::kWait;
    if (!crc_ok(total)) return Verdict::kSkip;
    return Take(Kind::kModbus, total, out);
}

bool RequestFramer::Next(Frame& out) {
    while (!buffer_.empty()) {
        const Verdict v = buffer_[0] == 0xFF ? TryInstruction(out) : TryModbus(out);
        if (v == Verdict::kFrame) return true;
        if (v == Verdict::kWait) return false;
        buffer_.erase(buffer_.begin());
    }
    return false;
}

}  // namespace sim
