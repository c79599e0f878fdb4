#pragma once
// The Modbus RTU master bound to the shared serial port.
#include "modbus/rtu.h"

class CQVComm;

class Modbus : public Rtu {
  public:
    void Discard() override;
    void AfterSend() override;
    void Send(const uint8_t* buffer, int n) override;
    int Receive(uint8_t* buffer, int n) override;

    CQVComm* Port = nullptr;
};
