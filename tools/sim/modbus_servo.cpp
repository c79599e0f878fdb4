#include "tools/sim/modbus_servo.h"

#include <algorithm>

#include "tools/sim/wire_codes.h"

namespace sim {
namespace {

constexpr uint8_t kReadHolding = 0x03;
constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;
constexpr uint8_t kRestart = 0x41;

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;

constexpr uint16_t kStoreUnlock = 64;
constexpr uint16_t kOpenEprom = 0;
constexpr uint16_t kOpenInfoDefault = 128;
constexpr uint16_t kCommandRecovery = 8;
constexpr uint16_t kCommandBackup = 16;

int Be16(const uint8_t* p) { return p[0] << 8 | p[1]; }

}  // namespace

ModbusServo::ModbusServo(ServoModel model, const ModbusSettings& settings)
    : model_(std::move(model)), baud_(settings.baud) {
    for (const ModelEntry& e : model_.entries) {
        if (e.address < 0 || e.address >= kRegisterCount) continue;
        int v = e.value;
        if (e.sign >= 0 && e.sign < 16 && v < 0) v = -v | (1 << e.sign);
        registers_[e.address] = static_cast<uint16_t>(v);
        store_[e.address] = e.store;
        if (e.store != Store::kRam) areas_ = true;
    }
    registers_[0] = static_cast<uint16_t>(model_.fw_major * 100 + model_.fw_minor);
    registers_[1] = static_cast<uint16_t>(model_.model_major * 100 + model_.model_minor);
    registers_[kIdRegister] = static_cast<uint16_t>(settings.id);
    const int index = ModbusIndexForBaud(baud_);
    if (index >= 0) registers_[kBaudRegister] = static_cast<uint16_t>(index);
    motion_.SetVoltage(model_.voltage);
    motion_.SetAmbient(model_.ambient);
    motion_.SetPosition(model_.StartPosition());
    factory_ = registers_;
    saved_ = registers_;
    PublishFeedback();
}

void ModbusServo::SetErrorBits(uint8_t bits) {
    error_bits_ = bits;
    PublishFeedback();
}

void ModbusServo::Finish(std::vector<uint8_t>& reply) const {
    const uint16_t crc = ModbusCrc(reply.data(), reply.size());
    reply.push_back(crc & 0xFF);
    reply.push_back(crc >> 8);
}

void ModbusServo::Exception(uint8_t id, uint8_t function, uint8_t code,
                            std::vector<uint8_t>& reply) const {
    reply.assign({id, static_cast<uint8_t>(function | 0x80), code});
    Finish(reply);
}

bool ModbusServo::HandleModbus(const uint8_t* frame, size_t n, std::vector<uint8_t>& reply) {
    if (n < 4) return false;
    const uint8_t target = frame[0];
    const uint8_t function = frame[1];
    const uint8_t own = static_cast<uint8_t>(id());
    const bool broadcast = target == 0;
    if (target != own && !broadcast) return false;
    if (boot_.in_session()) return false;  // the loader runs, not the application

    switch (function) {
        case kReadHolding: {
            if (broadcast || n != 8) return false;
            const int address = Be16(frame + 2);
            const int count = Be16(frame + 4);
            if (count < 1 || count > 125) {
                Exception(own, function, kIllegalValue, reply);
                return true;
            }
            if (address + count > kRegisterCount) {
                Exception(own, function, kIllegalAddress, reply);
                return true;
            }
            reply.assign({own, function, static_cast<uint8_t>(count * 2)});
            for (int i = 0; i < count; ++i) {
                reply.push_back(registers_[address + i] >> 8);
                reply.push_back(registers_[address + i] & 0xFF);
            }
            Finish(reply);
            return true;
        }
        case kWriteSingle: {
            if (n != 8) return false;
            const uint16_t value = static_cast<uint16_t>(Be16(frame + 4));
            if (!Write(Be16(frame + 2), &value, 1)) {
                if (broadcast) return false;
                Exception(own, function, kIllegalAddress, reply);
                return true;
            }
            if (broadcast) return false;
            reply.assign(frame, frame + 6);  // the request echoed
            reply[0] = own;
            Finish(reply);
            return true;
        }
        case kWriteMultiple: {
            if (n < 9) return false;
            const int address = Be16(frame + 2);
            const int count = Be16(frame + 4);
            const int bytes = frame[6];
            if (count < 1 || count > 123 || bytes != count * 2 ||
                n != static_cast<size_t>(9 + bytes)) {
                if (broadcast) return false;
                Exception(own, function, kIllegalValue, reply);
                return true;
            }
            std::vector<uint16_t> values(count);
            for (int i = 0; i < count; ++i)
                values[i] = static_cast<uint16_t>(Be16(frame + 7 + 2 * i));
            if (!Write(address, values.data(), count)) {
                if (broadcast) return false;
                Exception(own, function, kIllegalAddress, reply);
                return true;
            }
            if (broadcast) return false;
            reply.assign(frame, frame + 6);
            reply[0] = own;
            Finish(reply);
            return true;
        }
        case kRestart:
            Reload();
            boot_.Enter(BootLoader::kLoaderBaud);  // listens a moment before the application
            return false;
        default:
            if (broadcast) return false;
            Exception(own, function, kIllegalFunction, reply);
            return true;
    }
}

bool ModbusServo::Open(int address) const {
    const uint16_t mode = registers_[kStoreModeRegister];
    return store_[address] == Store::kEprom ? mode == kOpenEprom : mode == kOpenInfoDefault;
}

void ModbusServo::Reload() {
    if (areas_) {
        for (int r = 0; r < kRegisterCount; ++r)
            registers_[r] = store_[r] == Store::kRam ? factory_[r] : saved_[r];
    } else {
        registers_ = saved_;
    }
    if (const int b = ModbusBaudForIndex(registers_[kBaudRegister] & 15)) baud_ = b;
    registers_[kTorqueRegister] = 0;  // the output starts switched off
    motion_.SetTorque(false);
    motion_.SetPosition(motion_.position());
    PublishFeedback();
}

bool ModbusServo::Write(int address, const uint16_t* values, int count) {
    // The status block 256..265 is the device's to fill; registers above it (the DEFAULT
    // area of the sample model, for one) take writes like any other.
    if (address < 0 || address + count > kRegisterCount) return false;
    if (address < kFeedbackRegister + kFeedbackCount && address + count > kFeedbackRegister)
        return false;
    for (int i = 0; i < count; ++i) {
        const int r = address + i;
        if (areas_ && store_[r] != Store::kRam) {
            // Acknowledged either way; kept (and persisted) only while 133 opens its area.
            if (!Open(r)) continue;
            saved_[r] = values[i];
        }
        registers_[r] = values[i];
    }
    const int last = address + count - 1;
    auto touches = [&](int r) { return address <= r && last >= r; };
    if (touches(kBaudRegister)) {
        const int b = ModbusBaudForIndex(registers_[kBaudRegister] & 15);
        if (b) baud_ = b;
    }
    if (touches(kGoalRegister)) {
        const int goal = static_cast<int16_t>(registers_[kGoalRegister]);
        int acc = 0;
        int speed = 0;
        if (count >= 4 && address == kGoalRegister) {
            acc = registers_[kGoalRegister + 2] & 0xFF;
            speed = static_cast<int16_t>(registers_[kGoalRegister + 3]);
            if (speed < 0) speed = -speed;
        }
        motion_.Command(goal, speed, acc, 0);
        registers_[kTorqueRegister] = 1;
        motion_.SetTorque(true);
    } else if (touches(kTorqueRegister)) {
        motion_.SetTorque(registers_[kTorqueRegister] != 0);
    }
    if (touches(kStoreCommandRegister) && registers_[kStoreModeRegister] == kStoreUnlock) {
        const uint16_t command = registers_[kStoreCommandRegister];
        if (command == kCommandRecovery) {
            const uint16_t keep_id = registers_[kIdRegister];
            const uint16_t keep_baud = registers_[kBaudRegister];
            registers_ = factory_;
            registers_[kIdRegister] = keep_id;
            registers_[kBaudRegister] = keep_baud;
            saved_ = registers_;
            motion_.SetTorque(false);
        } else if (command == kCommandBackup) {
            saved_ = registers_;
        }
    }
    PublishFeedback();
    return true;
}

// The new firmware reports the image's first two bytes as its version, major * 100 +
// minor in register 0.
void ModbusServo::RunUploadedImage() {
    const std::vector<uint8_t>& image = boot_.image();
    if (image.size() < 2) return;
    const auto version = static_cast<uint16_t>(image[0] * 100 + image[1]);
    registers_[0] = saved_[0] = factory_[0] = version;
}

void ModbusServo::Advance(double seconds) {
    motion_.Advance(seconds);
    PublishFeedback();
}

void ModbusServo::PublishFeedback() {
    uint16_t* f = registers_.data() + kFeedbackRegister;
    f[0] = error_bits_;
    f[1] = static_cast<uint16_t>(motion_.position());
    f[2] = static_cast<uint16_t>(motion_.speed());
    f[3] = static_cast<uint16_t>(motion_.load());
    f[4] = static_cast<uint16_t>(motion_.voltage());
    f[5] = static_cast<uint16_t>(motion_.temperature());
    f[6] = motion_.moving() ? 1 : 0;
    f[7] = static_cast<uint16_t>(motion_.current());
    f[8] = static_cast<uint16_t>(motion_.goal());
    f[9] = static_cast<uint16_t>(motion_.speed());
}

}  // namespace sim
