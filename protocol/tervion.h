#pragma once
// The instruction protocol bound to the serial port, plus the seven-byte motion commands.
#include <vector>

#include "protocol/qvs.h"

class CQVComm;

class Tervion : public QVS {
  public:
    // WriteByteRaw and WriteRaw collect a request; FlushTransmit puts it on the line in one
    // write (so do ReadRaw and FlushReceive, for bytes collected without it).
    void WriteByteRaw(uint8_t byte) override;
    int WriteRaw(const uint8_t* buffer, int n) override;
    int ReadRaw(uint8_t* buffer, int n) override;
    void FlushReceive() override;
    void FlushTransmit() override;

    int WritePosition(uint8_t id, int16_t position, uint8_t acc, uint16_t speed, uint16_t time);
    int RegWritePosition(uint8_t id, int16_t position, uint8_t acc, uint16_t speed, uint16_t time);
    int SyncWritePosition(const uint8_t* ids, int count, int16_t position, uint8_t acc,
                          uint16_t speed, uint16_t time);

    CQVComm* Comm = nullptr;
    std::atomic<uint8_t> PosAddress{0};
    std::atomic<uint8_t> TorqueAddress{0};

  private:
    void SendPending();
    void BuildMotionBlock(int16_t position, uint8_t acc, uint16_t speed, uint16_t time,
                          uint8_t block[7]) const;

    // Bytes of the request being built, sent by FlushTransmit (or before any read or purge).
    std::vector<uint8_t> pending_;
};
