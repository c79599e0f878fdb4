#include "tools/sim/instruction_servo.h"

#include <algorithm>
#include <cstdlib>

#include "tools/sim/wire_codes.h"

namespace sim {
namespace {

constexpr uint8_t kPing = 0x01;
constexpr uint8_t kRead = 0x02;
constexpr uint8_t kWrite = 0x03;
constexpr uint8_t kRegWrite = 0x04;
constexpr uint8_t kAction = 0x05;
constexpr uint8_t kRecovery = 0x06;
constexpr uint8_t kRestart = 0x08;
constexpr uint8_t kStartUpgrade = 0x0D;
constexpr uint8_t kBackup = 0x09;
constexpr uint8_t kSyncWrite = 0x83;

// Servo-family identity bytes.
constexpr int kIdAddress = 5;
constexpr int kBaudAddress = 6;
// Minimum and maximum angle limit, 16 bits each, where the model's table has them.
constexpr int kMinAngleAddress = 9;
constexpr int kMaxAngleAddress = 11;
constexpr int kLevelAddress = 8;
// PWM-family identity: 0 model major, 1 firmware minor, 2 firmware major, 3 id.
constexpr int kPwmIdAddress = 3;

int DecodeMagnitude(uint16_t raw, int sign_bit) {
    const uint16_t bit = static_cast<uint16_t>(1u << sign_bit);
    return raw & bit ? -static_cast<int>(raw & ~bit) : raw;
}

}  // namespace

InstructionServo::InstructionServo(ServoModel model, const ServoSettings& settings)
    : model_(std::move(model)),
      end_(settings.end ? 1 : 0),
      baud_(settings.baud),
      id_address_(IsPwm() ? kPwmIdAddress : kIdAddress),
      boot_(IsPwm() ? BootLoader::Kind::kPwm : BootLoader::Kind::kBus, settings.id) {
    for (const ModelEntry& e : model_.entries) {
        if (e.address < 0 || e.address > 255) continue;
        if (e.size == 2 && e.address < 255) {
            int v = e.value;
            if (e.sign >= 0 && e.sign < 16 && v < 0) v = -v | (1 << e.sign);
            SetWord(e.address, static_cast<uint16_t>(v));
            read_only_[e.address + 1] = e.read_only;
        } else {
            int v = e.value;
            if (e.sign >= 0 && e.sign < 8 && v < 0) v = -v | (1 << e.sign);
            memory_[e.address] = static_cast<uint8_t>(v);
        }
        read_only_[e.address] = e.read_only;
        for (int k = 0; k < e.size && e.address + k < 256; ++k) store_[e.address + k] = e.store;
        if (e.store != Store::kRam) areas_ = true;
    }
    if (IsPwm()) {
        memory_[0] = model_.model_major;
        memory_[1] = model_.fw_minor;
        memory_[2] = model_.fw_major;
        for (int a = 0; a <= 2; ++a) read_only_[a] = true;
    } else {
        memory_[0] = model_.fw_major;
        memory_[1] = model_.fw_minor;
        memory_[2] = static_cast<uint8_t>(end_);
        memory_[3] = model_.model_major;
        memory_[4] = model_.model_minor;
        for (int a = 0; a <= 4; ++a) read_only_[a] = true;
        int limit_words = 0;
        for (const ModelEntry& e : model_.entries) {
            if (e.size == 2 && (e.address == kMinAngleAddress || e.address == kMaxAngleAddress))
                ++limit_words;
        }
        has_angle_limits_ = limit_words == 2;
        const int index = ServoIndexForBaud(baud_);
        if (index >= 0) memory_[kBaudAddress] = static_cast<uint8_t>(index);
        memory_[kLevelAddress] = static_cast<uint8_t>(settings.level);
    }
    if (IsPwm() && BaudAddress() >= 0) {
        const int index = ServoIndexForBaud(baud_);
        if (index >= 0) memory_[BaudAddress()] = static_cast<uint8_t>(index);
    }
    memory_[id_address_] = static_cast<uint8_t>(settings.id);
    const DebugLayout& d = model_.debug;
    if (d.present) {
        for (int a = d.feedback_start; a <= d.feedback_end && a < 256; ++a) read_only_[a] = true;
    }
    motion_.SetVoltage(model_.voltage);
    motion_.SetAmbient(model_.ambient);
    motion_.SetPosition(model_.StartPosition());
    factory_ = memory_;
    saved_ = memory_;
    PublishFeedback();
}

int InstructionServo::Level() const {
    if (!IsPwm()) return memory_[kLevelAddress];
    const int at = model_.pwm_level_address;
    return at >= 0 && at < 256 ? memory_[at] : 1;
}

int InstructionServo::BaudAddress() const {
    if (!IsPwm()) return kBaudAddress;
    const int at = model_.pwm_baud_address;
    return at >= 0 && at < 256 ? at : -1;
}

bool InstructionServo::Locked() const {
    const int at = model_.lock_address;
    return at >= 0 && at < 256 && memory_[at] != 0;
}

uint16_t InstructionServo::Word(int address) const {
    const uint8_t a = memory_[address & 0xFF];
    const uint8_t b = memory_[(address + 1) & 0xFF];
    return end_ ? static_cast<uint16_t>(a << 8 | b) : static_cast<uint16_t>(b << 8 | a);
}

void InstructionServo::SetWord(int address, uint16_t value) {
    if (address < 0 || address > 254) return;
    const uint8_t lo = value & 0xFF;
    const uint8_t hi = value >> 8;
    memory_[address] = end_ ? hi : lo;
    memory_[address + 1] = end_ ? lo : hi;
}

void InstructionServo::SetSigned(int address, int value, int sign_bit) {
    value = std::clamp(value, -32767, 32767);
    uint16_t raw = static_cast<uint16_t>(value);
    if (sign_bit >= 0 && value < 0) raw = static_cast<uint16_t>(-value | (1 << sign_bit));
    SetWord(address, raw);
}

void InstructionServo::BuildReply(uint8_t id, const uint8_t* data, size_t n,
                                  std::vector<uint8_t>& reply) const {
    reply.assign({0xFF, 0xFF, id, static_cast<uint8_t>(n + 2), error_bits_});
    reply.insert(reply.end(), data, data + n);
    reply.push_back(InstructionChecksum(reply.data() + 2, reply.size() - 2));
}

bool InstructionServo::HandleInstruction(const uint8_t* packet, size_t n,
                                         std::vector<uint8_t>& reply) {
    if (n < 6) return false;
    const uint8_t target = packet[2];
    const uint8_t instruction = packet[4];
    const uint8_t* params = packet + 5;
    const size_t count = n - 6;
    const uint8_t own = static_cast<uint8_t>(id());
    const bool broadcast = target == kBroadcast;

    if (instruction == kSyncWrite) {
        if (!broadcast || count < 2) return false;
        const int address = params[0];
        const size_t width = params[1];
        if ((count - 2) % (width + 1) != 0) return false;
        for (size_t at = 2; at < count; at += width + 1) {
            if (params[at] == own) {
                ApplyWrite(address, params + at + 1, width);
                break;
            }
        }
        return false;
    }
    if (target != own && !broadcast) return false;
    if (boot_.in_session()) return false;  // the loader runs, not the application
    const bool status = !broadcast && Level() != 0;

    switch (instruction) {
        case kPing:
            if (broadcast) return false;
            BuildReply(own, nullptr, 0, reply);
            return true;
        case kRead: {
            if (count != 2) return false;
            const int address = params[0];
            const size_t length = params[1];
            if (length > 253) return false;  // the reply's length byte could not hold it
            std::vector<uint8_t> data(length, 0);
            for (size_t i = 0; i < length && address + i < 256; ++i) data[i] = memory_[address + i];
            BuildReply(own, data.data(), data.size(), reply);
            return true;  // reads are answered whatever the level, broadcast included
        }
        case kWrite:
            if (count < 1) return false;
            ApplyWrite(params[0], params + 1, count - 1);
            break;
        case kRegWrite:
            if (count < 1) return false;
            pending_.emplace(params[0], std::vector<uint8_t>(params + 1, params + count));
            break;
        case kAction:
            if (pending_) {
                const auto [address, data] = std::move(*pending_);
                pending_.reset();
                ApplyWrite(address, data.data(), data.size());
            }
            return false;
        case kRecovery: {
            // Factory values, but the servo stays where the bus can find it.
            const uint8_t keep_id = memory_[id_address_];
            const uint8_t keep_baud = BaudAddress() >= 0 ? memory_[BaudAddress()] : 0;
            memory_ = factory_;
            memory_[id_address_] = keep_id;
            if (BaudAddress() >= 0) memory_[BaudAddress()] = keep_baud;
            saved_ = memory_;
            motion_.SetTorque(false);
            PublishFeedback();
            break;
        }
        case kBackup:
            saved_ = memory_;
            break;
        case kRestart:
            Restart();
            // The boot loader listens at its own speed for a moment before the application
            // runs again; a PWM-family servo is upgraded through start-upgrade instead.
            if (!IsPwm()) boot_.Enter(BootLoader::kLoaderBaud);
            return false;
        case kStartUpgrade:
            if (IsPwm()) boot_.Enter(baud_);
            return false;
        default:
            return false;
    }
    if (!status) return false;
    BuildReply(own, nullptr, 0, reply);
    return true;
}

void InstructionServo::Restart() {
    if (areas_) {
        for (int a = 0; a < 256; ++a)
            memory_[a] = store_[a] == Store::kRam ? factory_[a] : saved_[a];
    } else {
        memory_ = saved_;
    }
    pending_.reset();
    if (BaudAddress() >= 0) {
        const int b = ServoBaudForIndex(memory_[BaudAddress()]);
        if (b) baud_ = b;
    }
    // The output starts switched off, whatever the backed-up image held.
    if (model_.debug.present) memory_[model_.debug.torque_address] = 0;
    motion_.SetTorque(false);
    motion_.SetPosition(motion_.position());
    PublishFeedback();
}

// The new firmware reports the image's first two bytes as its version (major, minor),
// where the search reads the version: bytes 0 and 1, or 2 and 1 in the PWM layout.
void InstructionServo::RunUploadedImage() {
    const std::vector<uint8_t>& image = boot_.image();
    if (image.size() < 2) return;
    const int major = IsPwm() ? 2 : 0;
    for (auto* table : {&memory_, &saved_, &factory_}) {
        (*table)[major] = image[0];
        (*table)[1] = image[1];
    }
    Restart();
}

void InstructionServo::ApplyWrite(int address, const uint8_t* data, size_t n) {
    int last = address - 1;
    for (size_t i = 0; i < n && address + i < 256; ++i) {
        const int a = address + static_cast<int>(i);
        last = a;
        if (read_only_[a]) continue;
        if (areas_ && store_[a] != Store::kRam) {
            // Acknowledged either way; kept (and persisted) only while the lock is open.
            if (Locked()) continue;
            saved_[a] = data[i];
        }
        memory_[a] = data[i];
    }
    if (last < address) return;
    const int baud_at = BaudAddress();
    if (baud_at >= 0 && address <= baud_at && last >= baud_at) {
        const int b = ServoBaudForIndex(memory_[baud_at]);
        if (b) baud_ = b;
    }
    TakeCommands(address, last);
}

void InstructionServo::TakeCommands(int first, int last) {
    const DebugLayout& d = model_.debug;
    if (!d.present) return;
    auto touches = [&](int from, int to) { return first <= to && last >= from; };
    bool goal_written = false;
    if (IsPwm()) {
        if (touches(d.pwm_goal_address, d.pwm_goal_address + 1)) {
            motion_.Command(static_cast<int16_t>(Word(d.pwm_goal_address)), 0, 0, 0);
            goal_written = true;
        }
    } else if (touches(d.motion_address, d.motion_address + 6)) {
        const int m = d.motion_address;
        const int acc = memory_[m];
        const int goal = DecodeMagnitude(Word(m + 1), 15);
        const int time = std::abs(DecodeMagnitude(Word(m + 3), 10));
        const int speed = std::abs(DecodeMagnitude(Word(m + 5), 15));
        if (has_angle_limits_)
            motion_.SetAngleLimits(Word(kMinAngleAddress), Word(kMaxAngleAddress));
        motion_.Command(goal, speed, acc, time);
        goal_written = touches(m + 1, m + 2);
    }
    if (goal_written) {
        // A new goal switches the output on, as the Debug page expects after every send.
        memory_[d.torque_address] = 1;
        motion_.SetTorque(true);
    } else if (touches(d.torque_address, d.torque_address)) {
        motion_.SetTorque(memory_[d.torque_address] != 0);
    }
    PublishFeedback();
}

void InstructionServo::Advance(double seconds) {
    motion_.Advance(seconds);
    PublishFeedback();
}

void InstructionServo::PublishFeedback() {
    const DebugLayout& d = model_.debug;
    if (!d.present) return;
    const int f = d.feedback_start;
    const int end = std::min<int>(d.feedback_end, 255);
    // Only the bytes inside the model's block are touched.
    auto put8 = [&](int offset, int value) {
        if (f + offset <= end) memory_[f + offset] = static_cast<uint8_t>(value);
    };
    auto put16 = [&](int offset, int value, int sign_bit) {
        if (f + offset + 1 <= end) SetSigned(f + offset, value, sign_bit);
    };
    const int temperature = std::clamp(motion_.temperature(), 0, 255);
    const int voltage = std::clamp(motion_.voltage(), 0, 255);
    if (IsPwm()) {
        put16(0, motion_.position(), -1);
        put16(2, motion_.speed(), -1);
        put16(4, motion_.load(), -1);
        put16(6, motion_.goal(), -1);
        put8(8, temperature);
        put8(9, voltage);
        put16(10, motion_.current(), -1);
        put8(12, motion_.moving() ? 1 : 0);
        put8(13, error_bits_);
        put16(14, motion_.speed(), -1);
    } else {
        put16(0, motion_.position(), 15);
        put16(2, motion_.speed(), 15);
        put16(4, motion_.load(), 10);
        put8(6, voltage);
        put8(7, temperature);
        put8(8, pending_ ? 1 : 0);
        put8(9, error_bits_);
        put8(10, motion_.moving() ? 1 : 0);
        put16(11, motion_.goal(), 15);
        put16(13, motion_.current(), 15);
        put16(15, motion_.speed(), 15);
    }
}

}  // namespace sim
