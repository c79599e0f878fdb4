#pragma once
// Transport-free Modbus RTU master: builds the request with its CRC, reads the expected
// reply length, validates it and unpacks registers. Reaches the wire through four operations.
#include <cstdint>

class Rtu {
  public:
    enum Status : uint8_t {
        kOk = 0,
        kTimeout = 1,
        kException = 2,
        kCrc = 3,
        kWrongId = 4,
        kOverflow = 5,
    };
    static constexpr int kFrameSize = 64;

    virtual ~Rtu() = default;

    // The four byte operations (slot order).
    virtual void Discard() = 0;                           // slot 0: before a request
    virtual void AfterSend() = 0;                         // slot 1: right after a request
    virtual void Send(const uint8_t* buffer, int n) = 0;  // slot 2
    virtual int Receive(uint8_t* buffer, int n) = 0;      // slot 3

    int ReadHoldingRegisters(uint8_t id, uint16_t address, uint16_t* registers, uint16_t count);
    bool WriteRegister(uint8_t id, uint16_t address, uint16_t value);
    bool WriteRegisters(uint8_t id, uint16_t address, const uint16_t* registers, uint16_t count);
    void Restart(uint8_t id);

    uint8_t status() const { return status_; }
    uint8_t reply_id() const { return reply_id_; }

    // Standard Modbus CRC-16 (init 0xFFFF, reflected poly 0xA001); sent low byte first.
    static uint16_t Crc16(const uint8_t* bytes, int n);

  private:
    // Records the request that SendRequest frames and Poll checks the reply against.
    void SetRequest(uint8_t id, uint8_t function, uint16_t address, uint16_t count,
                    uint16_t* registers, const uint16_t* write_registers);
    // Sends the recorded request and waits until its reply is in or has failed.
    void Transact();
    void SendRequest();
    void Poll();
    int ExpectedReplyLength() const;

    uint8_t busy_ = 0;
    uint8_t status_ = 0;
    uint8_t frame_[kFrameSize] = {};
    uint8_t frame_length_ = 0;
    uint8_t slave_id_ = 0;
    uint8_t function_ = 0;
    uint16_t address_ = 0;
    uint16_t count_ = 0;
    uint16_t* registers_ = nullptr;
    const uint16_t* write_registers_ = nullptr;
    uint8_t reply_id_ = 0;
};
