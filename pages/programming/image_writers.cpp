#include "pages/programming/image_writers.h"

#include <chrono>
#include <thread>

#include "definitions/servo_types.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

namespace pg {
namespace {

constexpr uint16_t kStoreModeRegister = 133;
constexpr uint16_t kStoreCommandRegister = 134;
constexpr uint16_t kOpenEprom = 0;
constexpr uint16_t kOpenInfoDefault = 128;
constexpr uint16_t kClose = 1;
constexpr uint16_t kStoreCommands = 64;
constexpr uint16_t kCommandRecovery = 8;
constexpr uint16_t kCommandBackup = 16;

uint8_t Id8(const WriteTarget& t) { return static_cast<uint8_t>(t.id); }

}  // namespace

PortTimeout::PortTimeout(CQVComm* comm, int ms) : comm_(comm) {
    if (!comm_) return;
    baud_ = comm_->BaudRate.load();
    previous_ = comm_->SetTimeout(ms);
}
PortTimeout::~PortTimeout() {
    if (comm_) comm_->SetTimeout(previous_);
}
void PortTimeout::Keep() {
    if (comm_ && comm_->BaudRate.load() != baud_) previous_ = comm_->Timeout();
}

ImageWriters::ImageWriters(Tervion& tervion, Modbus& modbus, MainWindowServices& main)
    : tervion_(tervion), modbus_(modbus), main_(main) {}

void ImageWriters::PauseWithoutReply() const {
    if (tervion_.Level == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(kNoReplyPauseMs));
}

int ImageWriters::WriteEpromImage(const WriteTarget& t, int start, int length, uint8_t* image) {
    if (t.kind == kKindModbus) return -2;
    if (length < (t.kind == kKindPwm ? 4 : 9)) return -2;
    image[t.kind == kKindPwm ? 3 : 5] = Id8(t);
    const bool lock = t.lock_address >= 0;
    PortTimeout timeout(tervion_.Comm, kSlowTimeoutMs);
    if (lock && !tervion_.WriteByte(Id8(t), static_cast<uint8_t>(t.lock_address), 0)) return -2;
    PauseWithoutReply();
    if (t.kind != kKindPwm) tervion_.Level = image[8];
    const bool written = tervion_.Write(Id8(t), static_cast<uint8_t>(start), image, length) != 0;
    if (written && t.kind != kKindPwm) {
        main_.FollowBaudChange(image[6] & 15, image[6] >> 4, t.kind);
        // The port now runs at the servo's new speed; its time-out belongs to that speed.
        timeout.Keep();
    }
    return CloseLock(t) && written ? 0 : -2;
}

bool ImageWriters::CloseLock(const WriteTarget& t) {
    // Closed again after a failed write too, so that nothing written later persists.
    if (t.lock_address < 0) return true;
    PauseWithoutReply();
    return tervion_.WriteByte(Id8(t), static_cast<uint8_t>(t.lock_address), 1) != 0;
}

int ImageWriters::WriteAreaImage(const WriteTarget& t, int start, int length,
                                 const uint8_t* image) {
    // An empty block (a model without this area) has nothing to send: a write without
    // data would be refused and fail the whole load.
    if (length == 0) return 1;
    const bool lock = t.lock_address >= 0;
    PortTimeout timeout(tervion_.Comm, kSlowTimeoutMs);
    if (lock && !tervion_.WriteByte(Id8(t), static_cast<uint8_t>(t.lock_address), 0)) return 0;
    PauseWithoutReply();
    const int r = tervion_.Write(Id8(t), static_cast<uint8_t>(start), image, length);
    return CloseLock(t) ? r : 0;
}

bool ImageWriters::OpenedBlockWrite(const WriteTarget& t, uint16_t mode, int start, int count,
                                    const uint16_t* regs) {
    PortTimeout timeout(modbus_.Port, kSlowTimeoutMs);
    if (!modbus_.WriteRegister(Id8(t), kStoreModeRegister, mode)) return false;
    const bool written = modbus_.WriteRegisters(Id8(t), static_cast<uint16_t>(start), regs,
                                                static_cast<uint16_t>(count)) != 0;
    // Closed again after a failed write too, so that nothing written later persists.
    const bool closed = modbus_.WriteRegister(Id8(t), kStoreModeRegister, kClose) != 0;
    return written && closed;
}

int ImageWriters::WriteInfoRegisters(const WriteTarget& t, int start, int count,
                                     const uint16_t* regs) {
    if (count < 4) return -2;
    return OpenedBlockWrite(t, kOpenInfoDefault, start, count, regs) ? 0 : -2;
}

int ImageWriters::WriteEpromRegisters(const WriteTarget& t, int start, int count, uint16_t* regs) {
    if (count < 3) return -2;
    regs[0] = static_cast<uint16_t>(t.id);
    PortTimeout timeout(modbus_.Port, kSlowTimeoutMs);
    if (!modbus_.WriteRegister(Id8(t), kStoreModeRegister, kOpenEprom)) return -2;
    const bool written = modbus_.WriteRegisters(Id8(t), static_cast<uint16_t>(start), regs,
                                                static_cast<uint16_t>(count)) != 0;
    if (written) {
        main_.FollowBaudChange(regs[1] & 15, regs[1] >> 4, t.kind);
        timeout.Keep();
    }
    const bool closed = modbus_.WriteRegister(Id8(t), kStoreModeRegister, kClose) != 0;
    return written && closed ? 0 : -2;
}

bool ImageWriters::WriteDefaultRegisters(const WriteTarget& t, int start, int count,
                                         const uint16_t* regs) {
    if (count == 0) return true;  // a model without DEFAULT registers
    return OpenedBlockWrite(t, kOpenInfoDefault, start, count, regs);
}

bool ImageWriters::ModbusStoreCommand(int id, uint16_t command) {
    const uint8_t bus_id = static_cast<uint8_t>(id);
    const bool opened = modbus_.WriteRegister(bus_id, kStoreModeRegister, kStoreCommands);
    const bool done = modbus_.WriteRegister(bus_id, kStoreCommandRegister, command);
    return opened && done;
}

bool ImageWriters::ModbusRecovery(int id) { return ModbusStoreCommand(id, kCommandRecovery); }

bool ImageWriters::ModbusBackup(int id) { return ModbusStoreCommand(id, kCommandBackup); }

}  // namespace pg
