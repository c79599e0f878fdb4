#pragma once
// Transport-free master side of the servo instruction protocol: frames, checksum,
// instructions and reply checks. Bytes reach the wire only through five operations.
#include <atomic>
#include <cstdint>

class QVS {
  public:
    static constexpr uint8_t kBroadcastId = 0xFE;
    // FindHeader gives up after this many bytes without two 0xFF in a row, so a line that
    // keeps delivering noise cannot hold a transaction forever. Larger than any frame.
    static constexpr int kMaxHeaderSkip = 512;

    virtual ~QVS() = default;

    // The five byte operations (slot order).
    virtual void WriteByteRaw(uint8_t byte) = 0;
    virtual int WriteRaw(const uint8_t* buffer, int n) = 0;
    virtual int ReadRaw(uint8_t* buffer, int n) = 0;
    virtual void FlushReceive() = 0;
    virtual void FlushTransmit() = 0;

    int SendPacket(uint8_t id, uint8_t address, const uint8_t* data, int n, uint8_t instruction);
    int Read(uint8_t id, uint8_t address, uint8_t* buffer, int n);
    int Write(uint8_t id, uint8_t address, const uint8_t* data, int n);
    int RegWrite(uint8_t id, uint8_t address, const uint8_t* data, int n);
    int WriteByte(uint8_t id, uint8_t address, uint8_t value);
    int WriteWord(uint8_t id, uint8_t address, uint16_t value);
    int WriteWordHost(uint8_t id, uint8_t address, uint16_t value);
    void HostToBus(uint16_t value, uint8_t out[2]) const;
    int SyncWrite(const uint8_t* ids, int count, uint8_t address, const uint8_t* data, int n);
    int Action(uint8_t id);
    int Restart(uint8_t id);
    int StartUpgrade(uint8_t id);
    int Recovery(uint8_t id);
    int Backup(uint8_t id);
    int FindHeader();
    int AwaitStatus(uint8_t id);

  private:
    // FlushReceive, one packet, FlushTransmit, then the status reply when one is awaited.
    int Transact(uint8_t id, uint8_t address, const uint8_t* data, int n, uint8_t instruction,
                 bool await_status);

  public:
    // Complement of the 8-bit sum of the bytes (everything after the two 0xFF headers).
    static uint8_t Checksum(const uint8_t* bytes, int n);

    // Read by bus threads, written by the window on selection: atomics.
    std::atomic<uint8_t> Level{1};
    std::atomic<uint8_t> End{0};
    std::atomic<uint8_t> Error{0};
};
