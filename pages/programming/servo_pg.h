#pragma once
// The Programming page (memory table of the selected servo). For now it keeps what the main
// window tells it and offers the operations the main window calls; the table, its refresh
// and the parameter files come with the page's own work.
#include <cstdint>

#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"
#include "platform/bus_lock.h"

class MainWindowServices;
class Modbus;
class ServoSetup;
class Tervion;

class CServoPG : public ProgrammingPage {
  public:
    CServoPG(ServoSetup& setup, BusLock& lock, Modbus& modbus, Tervion& tervion,
             MainWindowServices& main, bool chinese);

    void SelectServo(int id, const ServoInfo& record, int kind) override;
    void StartRefresh() override {}
    void StopRefresh() override {}
    void StartRefreshTimer() override {}
    void StopRefreshTimer() override {}
    void SetTorqueByte(int) override {}

    int servo_id() const { return id_; }
    int kind() const { return kind_; }
    const uint8_t* identity() const { return identity_; }

  private:
    ServoSetup& setup_;
    BusLock& lock_;
    Modbus& modbus_;
    Tervion& tervion_;
    MainWindowServices& main_;
    bool chinese_;
    int id_ = -1;
    int kind_ = 0;
    uint8_t identity_[5] = {};
};
