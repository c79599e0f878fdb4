#include "modbus/rtu.h"

namespace {
constexpr uint8_t kReadHolding = 3;
constexpr uint8_t kWriteSingle = 6;
constexpr uint8_t kWriteMultiple = 16;
constexpr uint8_t kReportId = 17;
constexpr uint8_t kRestart = 0x41;
constexpr uint8_t kMaxSlaveId = 247;

bool IsKnownReplyFunction(uint8_t f) { return (f >= 1 && f <= 6) || f == 15 || f == 16 || f == 17; }
}  // namespace

uint16_t Rtu::Crc16(const uint8_t* bytes, int n) {
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void Rtu::SendRequest() {
    if (busy_) return;
    if (slave_id_ > kMaxSlaveId) {
        status_ = kWrongId;
        return;
    }
    int len = 0;
    frame_[len++] = slave_id_;
    frame_[len++] = function_;
    if (function_ != kReportId && function_ != kRestart) {
        frame_[len++] = static_cast<uint8_t>(address_ >> 8);
        frame_[len++] = static_cast<uint8_t>(address_ & 0xFF);
    }
    switch (function_) {
        case kReadHolding:
            frame_[len++] = static_cast<uint8_t>(count_ >> 8);
            frame_[len++] = static_cast<uint8_t>(count_ & 0xFF);
            break;
        case kWriteSingle: {
            const uint16_t value = write_registers_[0];
            frame_[len++] = static_cast<uint8_t>(value >> 8);
            frame_[len++] = static_cast<uint8_t>(value & 0xFF);
            break;
        }
        case kWriteMultiple:
            frame_[len++] = static_cast<uint8_t>(count_ >> 8);
            frame_[len++] = static_cast<uint8_t>(count_ & 0xFF);
            frame_[len++] = static_cast<uint8_t>(2 * count_);
            for (int k = 0; k < count_; ++k) {
                if (len + 2 + 2 > kFrameSize) {
                    status_ = kOverflow;
                    return;
                }
                frame_[len++] = static_cast<uint8_t>(write_registers_[k] >> 8);
                frame_[len++] = static_cast<uint8_t>(write_registers_[k] & 0xFF);
            }
            break;
        case kRestart:
            break;
        default:
            status_ = kException;
            return;
    }
    const uint16_t crc = Crc16(frame_, len);
    frame_[len++] = static_cast<uint8_t>(crc & 0xFF);
    frame_[len++] = static_cast<uint8_t>(crc >> 8);
    frame_length_ = static_cast<uint8_t>(len);
    Discard();
    Send(frame_, len);
    AfterSend();
    busy_ = 1;
    status_ = kOk;
}

int Rtu::ExpectedReplyLength() const {
    switch (function_) {
        case kReadHolding:
            return 5 + 2 * count_;
        case kWriteSingle:
        case kWriteMultiple:
            return slave_id_ == 0 ? 0 : 8;
        default:
            return 0;
    }
}

void Rtu::Poll() {
    const int expected = ExpectedReplyLength();
    if (expected == 0) {
        busy_ = 0;
        return;
    }
    const int got = Receive(frame_, expected);
    frame_length_ = static_cast<uint8_t>(got < 0 ? 0 : got);
    busy_ = 0;
    if (got < expected) {
        status_ = kTimeout;
        return;
    }
    const uint16_t crc = Crc16(frame_, expected - 2);
    if (frame_[expected - 2] != (crc & 0xFF) || frame_[expected - 1] != (crc >> 8)) {
        status_ = kCrc;
        return;
    }
    reply_id_ = frame_[0];
    if (frame_[0] != slave_id_ && slave_id_ != 0) {
        status_ = kWrongId;
        return;
    }
    const uint8_t function = frame_[1];
    if ((function & 0x80) || !IsKnownReplyFunction(function)) {
        status_ = kException;
        return;
    }
    if (function_ == kReadHolding) {
        // Only a register reply that carries exactly the registers asked for is unpacked;
        // anything else would leave the caller's buffer half-filled or write past it.
        if (function != kReadHolding || frame_[2] != 2 * count_) {
            status_ = kException;
            return;
        }
        for (int k = 0; k < count_; ++k)
            registers_[k] = static_cast<uint16_t>(frame_[3 + 2 * k] * 256 + frame_[4 + 2 * k]);
    }
}

void Rtu::SetRequest(uint8_t id, uint8_t function, uint16_t address, uint16_t count,
                     uint16_t* registers, const uint16_t* write_registers) {
    slave_id_ = id;
    function_ = function;
    address_ = address;
    count_ = count;
    registers_ = registers;
    write_registers_ = write_registers;
}

void Rtu::Transact() {
    SendRequest();
    while (busy_) Poll();
}

int Rtu::ReadHoldingRegisters(uint8_t id, uint16_t address, uint16_t* registers, uint16_t count) {
    SetRequest(id, kReadHolding, address, count, registers, nullptr);
    if (5 + 2 * count > kFrameSize) {
        status_ = kOverflow;
        return 0;
    }
    if (registers == nullptr && count > 0) {
        status_ = kException;
        return 0;
    }
    Transact();
    return status_ == kOk ? static_cast<uint8_t>(count) : 0;
}

bool Rtu::WriteRegister(uint8_t id, uint16_t address, uint16_t value) {
    SetRequest(id, kWriteSingle, address, 1, nullptr, &value);
    Transact();
    write_registers_ = nullptr;
    return status_ == kOk;
}

bool Rtu::WriteRegisters(uint8_t id, uint16_t address, const uint16_t* registers, uint16_t count) {
    SetRequest(id, kWriteMultiple, address, count, nullptr, registers);
    if (registers == nullptr && count > 0) {
        status_ = kException;
        return false;
    }
    Transact();
    return status_ == kOk;
}

void Rtu::Restart(uint8_t id) {
    // No reply is awaited after a restart request.
    SetRequest(id, kRestart, 0, 0, nullptr, nullptr);
    SendRequest();
    busy_ = 0;
}
