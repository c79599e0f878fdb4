#pragma once
// The PWM page (pulse-width signal tester behind the adapter at id 253). For now it offers
// the operations the main window calls; the signal, sweeps and steps come with the page's
// own work.
#include "pages/page_interfaces.h"
#include "platform/bus_lock.h"

class Tervion;

class CServoPwm : public PwmPage {
  public:
    CServoPwm(Tervion& tervion, BusLock& lock);

    void SelectServo(int) override {}
    void Activate() override {}
    void Deactivate() override {}
    void StopAuto() override {}

  private:
    Tervion& tervion_;
    BusLock& lock_;
};
