#include "modbus/modbus.h"

#include "transport/cqv_comm.h"

void Modbus::Discard() {
    if (Port != nullptr) Port->PurgeReceive();
}

void Modbus::AfterSend() {}

void Modbus::Send(const uint8_t* buffer, int n) {
    if (Port != nullptr && buffer != nullptr) Port->WriteBytes(buffer, n);
}

int Modbus::Receive(uint8_t* buffer, int n) {
    if (Port == nullptr || buffer == nullptr) return 0;
    return Port->ReadBytes(buffer, n);
}
