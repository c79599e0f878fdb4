#include "protocol/tervion.h"

#include "transport/cqv_comm.h"

// A request's pieces (header, data, checksum) are gathered and leave together when the
// request is complete, so the line sees one write per request.
void Tervion::WriteByteRaw(uint8_t byte) {
    if (Comm != nullptr) pending_.push_back(byte);
}

int Tervion::WriteRaw(const uint8_t* buffer, int n) {
    if (Comm == nullptr || buffer == nullptr || n <= 0) return 0;
    pending_.insert(pending_.end(), buffer, buffer + n);
    return Comm->IsOpen() ? n : 0;
}

void Tervion::SendPending() {
    if (pending_.empty()) return;
    if (Comm != nullptr) Comm->WriteBytes(pending_.data(), static_cast<int>(pending_.size()));
    pending_.clear();
}

int Tervion::ReadRaw(uint8_t* buffer, int n) {
    if (Comm == nullptr || buffer == nullptr) return 0;
    SendPending();  // an answer is awaited only after its request is on the line
    return Comm->ReadBytes(buffer, n);
}

void Tervion::FlushReceive() {
    if (Comm == nullptr) return;
    SendPending();
    Comm->PurgeReceive();
}

void Tervion::FlushTransmit() { SendPending(); }

void Tervion::BuildMotionBlock(int16_t position, uint8_t acc, uint16_t speed, uint16_t time,
                               uint8_t block[7]) const {
    // Negative positions travel as magnitude plus bit 15; the magnitude saturates at 0x7FFF
    // so that -32768 does not turn into "minus zero".
    uint16_t wire = static_cast<uint16_t>(position);
    if (position < 0) {
        const int magnitude = -static_cast<int>(position);
        wire = static_cast<uint16_t>((magnitude > 0x7FFF ? 0x7FFF : magnitude) | 0x8000);
    }
    block[0] = acc;
    HostToBus(wire, block + 1);
    HostToBus(time, block + 3);
    HostToBus(speed, block + 5);
}

int Tervion::WritePosition(uint8_t id, int16_t position, uint8_t acc, uint16_t speed,
                           uint16_t time) {
    uint8_t block[7];
    BuildMotionBlock(position, acc, speed, time, block);
    return Write(id, PosAddress, block, 7);
}

int Tervion::RegWritePosition(uint8_t id, int16_t position, uint8_t acc, uint16_t speed,
                              uint16_t time) {
    uint8_t block[7];
    BuildMotionBlock(position, acc, speed, time, block);
    return RegWrite(id, PosAddress, block, 7);
}

int Tervion::SyncWritePosition(const uint8_t* ids, int count, int16_t position, uint8_t acc,
                               uint16_t speed, uint16_t time) {
    uint8_t block[7];
    BuildMotionBlock(position, acc, speed, time, block);
    return SyncWrite(ids, count, PosAddress, block, 7);
}
