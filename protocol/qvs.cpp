#include "protocol/qvs.h"

namespace {
constexpr uint8_t kRead = 0x02;
constexpr uint8_t kWrite = 0x03;
constexpr uint8_t kRegWrite = 0x04;
constexpr uint8_t kAction = 0x05;
constexpr uint8_t kRecovery = 0x06;
constexpr uint8_t kRestart = 0x08;
constexpr uint8_t kBackup = 0x09;
constexpr uint8_t kStartUpgrade = 0x0D;
constexpr uint8_t kSyncWrite = 0x83;
}  // namespace

uint8_t QVS::Checksum(const uint8_t* bytes, int n) {
    unsigned sum = 0;
    for (int i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<uint8_t>(~sum);
}

int QVS::SendPacket(uint8_t id, uint8_t address, const uint8_t* data, int n, uint8_t instruction) {
    // Data promised but not given would go out as a length with nothing behind it, and a
    // count that does not fit the length byte would wrap into a different packet.
    if (n < 0 || n + 3 > 0xFF || (data == nullptr && n > 0)) return 0;
    if (n == 0) {
        const uint8_t head[5] = {0xFF, 0xFF, id, 0x02, instruction};
        WriteRaw(head, 5);
        WriteByteRaw(Checksum(head + 2, 3));
        return 1;
    }
    const uint8_t head[6] = {0xFF, 0xFF, id, static_cast<uint8_t>(n + 3), instruction, address};
    WriteRaw(head, 6);
    WriteRaw(data, n);
    unsigned sum = static_cast<uint8_t>(~Checksum(head + 2, 4));
    for (int i = 0; i < n; ++i) sum += data[i];
    WriteByteRaw(static_cast<uint8_t>(~sum));
    return 1;
}

int QVS::FindHeader() {
    uint8_t previous = 0;
    for (int read = 0; read < kMaxHeaderSkip + 2; ++read) {
        uint8_t byte = 0;
        if (ReadRaw(&byte, 1) != 1) return 0;
        if (previous == 0xFF && byte == 0xFF) return 1;
        previous = byte;
    }
    return 0;
}

int QVS::Read(uint8_t id, uint8_t address, uint8_t* buffer, int n) {
    // The reply's length byte is n + 2, so at most 253 bytes can come back in one read.
    if (buffer == nullptr || n <= 0 || n > 253) return 0;
    FlushReceive();
    const uint8_t count = static_cast<uint8_t>(n);
    SendPacket(id, address, &count, 1, kRead);
    FlushTransmit();
    if (!FindHeader()) return 0;
    uint8_t head[3];
    if (ReadRaw(head, 3) != 3) return 0;
    if (head[0] != id || head[1] != n + 2) return 0;
    if (ReadRaw(buffer, n) != n) return 0;
    uint8_t checksum = 0;
    if (ReadRaw(&checksum, 1) != 1) return 0;
    unsigned sum = head[0] + head[1] + head[2];
    for (int i = 0; i < n; ++i) sum += buffer[i];
    if (static_cast<uint8_t>(~sum) != checksum) return 0;
    Error = head[2];
    return n;
}

int QVS::AwaitStatus(uint8_t id) {
    if (id == kBroadcastId || Level == 0) return 1;
    if (!FindHeader()) return 0;
    uint8_t reply[4];
    if (ReadRaw(reply, 4) != 4) return 0;
    if (reply[0] != id || reply[1] != 2) return 0;
    if (Checksum(reply, 3) != reply[3]) return 0;
    Error = reply[2];
    return 1;
}

int QVS::Transact(uint8_t id, uint8_t address, const uint8_t* data, int n, uint8_t instruction,
                  bool await_status) {
    FlushReceive();
    if (!SendPacket(id, address, data, n, instruction)) return 0;
    FlushTransmit();
    return await_status ? AwaitStatus(id) : 1;
}

int QVS::Write(uint8_t id, uint8_t address, const uint8_t* data, int n) {
    return Transact(id, address, data, n, kWrite, true);
}

int QVS::RegWrite(uint8_t id, uint8_t address, const uint8_t* data, int n) {
    return Transact(id, address, data, n, kRegWrite, true);
}

int QVS::WriteByte(uint8_t id, uint8_t address, uint8_t value) {
    return Write(id, address, &value, 1);
}

void QVS::HostToBus(uint16_t value, uint8_t out[2]) const {
    const uint8_t low = static_cast<uint8_t>(value & 0xFF);
    const uint8_t high = static_cast<uint8_t>(value >> 8);
    if (End == 0) {
        out[0] = low;
        out[1] = high;
    } else {
        out[0] = high;
        out[1] = low;
    }
}

int QVS::WriteWord(uint8_t id, uint8_t address, uint16_t value) {
    uint8_t bytes[2];
    HostToBus(value, bytes);
    return Write(id, address, bytes, 2);
}

int QVS::WriteWordHost(uint8_t id, uint8_t address, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    return Write(id, address, bytes, 2);
}

int QVS::SyncWrite(const uint8_t* ids, int count, uint8_t address, const uint8_t* data, int n) {
    // The length byte must hold (n + 1) * count + 4; a larger packet is refused unsent.
    if (ids == nullptr || count <= 0 || n < 0 || n > 0xFF || (n > 0 && data == nullptr)) return 0;
    const int length = (n + 1) * count + 4;
    if (length > 0xFF) return 0;
    FlushReceive();
    const uint8_t head[7] = {
        0xFF,       0xFF,    kBroadcastId,           static_cast<uint8_t>(length),
        kSyncWrite, address, static_cast<uint8_t>(n)};
    WriteRaw(head, 7);
    unsigned sum = kBroadcastId + length + kSyncWrite + address + n;
    for (int k = 0; k < count; ++k) {
        WriteByteRaw(ids[k]);
        if (n > 0) WriteRaw(data, n);
        sum += ids[k];
        for (int i = 0; i < n; ++i) sum += data[i];
    }
    WriteByteRaw(static_cast<uint8_t>(~sum));
    FlushTransmit();
    return 1;
}

int QVS::Action(uint8_t id) { return Transact(id, 0, nullptr, 0, kAction, false); }

int QVS::Restart(uint8_t id) { return Transact(id, 0, nullptr, 0, kRestart, false); }

int QVS::StartUpgrade(uint8_t id) { return Transact(id, 0, nullptr, 0, kStartUpgrade, false); }

int QVS::Recovery(uint8_t id) { return Transact(id, 0, nullptr, 0, kRecovery, true); }

int QVS::Backup(uint8_t id) { return Transact(id, 0, nullptr, 0, kBackup, true); }
