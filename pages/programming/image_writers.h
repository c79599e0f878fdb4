#pragma once
// Writes whole area images into a servo: the instruction-protocol EPROM and plain area
// images with the lock entry opened around them, the Modbus INFO, EPROM and DEFAULT blocks
// with register 133 opened and closed, and the Modbus recovery and backup commands.
// Each writer expects BusLock held by its caller and widens the port time-out to 500 ms
// for its own duration.
#include <cstdint>

#include "definitions/servo_types.h"

class CQVComm;
class MainWindowServices;
class Modbus;
class Tervion;

namespace pg {

// Widens the port time-out while it lives; Keep() makes the current value the one restored
// (after a baud change has set the port to a new speed and time-out).
class PortTimeout {
  public:
    PortTimeout(CQVComm* comm, int ms);
    ~PortTimeout();
    PortTimeout(const PortTimeout&) = delete;
    PortTimeout& operator=(const PortTimeout&) = delete;
    // After a speed change: when the port now runs at another rate, the time-out that rate
    // set is the one restored; otherwise the old one stays.
    void Keep();

  private:
    CQVComm* comm_;
    int baud_ = 0;
    int previous_ = 0;
};

constexpr int kSlowTimeoutMs = 500;
// Pause after a write while no status reply is awaited.
constexpr int kNoReplyPauseMs = 100;

struct WriteTarget {
    int id = -1;
    ServoKind kind = kKindServo;
    int lock_address = -1;  // -1: the model has no lock entry
};

class ImageWriters {
  public:
    ImageWriters(Tervion& tervion, Modbus& modbus, MainWindowServices& main);

    // 0 or -2. Puts the servo's own id into image (byte 3 for kind 1, byte 5 otherwise).
    int WriteEpromImage(const WriteTarget& t, int start, int length, uint8_t* image);
    // Non-zero on success.
    int WriteAreaImage(const WriteTarget& t, int start, int length, const uint8_t* image);
    int WriteInfoRegisters(const WriteTarget& t, int start, int count, const uint16_t* regs);
    // 0 or -2. Puts the servo's own id into register 0 of the block.
    int WriteEpromRegisters(const WriteTarget& t, int start, int count, uint16_t* regs);
    bool WriteDefaultRegisters(const WriteTarget& t, int start, int count, const uint16_t* regs);

    // 133 <- 64, then 134 <- 8 (recovery) or 16 (backup); the second write goes out even when
    // the first failed. True when both succeeded.
    bool ModbusRecovery(int id);
    bool ModbusBackup(int id);

  private:
    void PauseWithoutReply() const;
    bool ModbusStoreCommand(int id, uint16_t command);
    // Writes 1 to the lock entry where the model has one; true when it has none.
    bool CloseLock(const WriteTarget& t);
    bool OpenedBlockWrite(const WriteTarget& t, uint16_t mode, int start, int count,
                          const uint16_t* regs);

    Tervion& tervion_;
    Modbus& modbus_;
    MainWindowServices& main_;
};

}  // namespace pg
