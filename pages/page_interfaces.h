#pragma once
// What the main window calls on its four pages. Each page's logic class implements one.
#include <string>

#include "definitions/servo_types.h"

class DebugPage {
  public:
    virtual ~DebugPage() = default;
    // found: every device of the list (the page may keep the span while the window lives);
    // index: the selected one.
    virtual void SelectServo(int id, std::span<const FoundServo> found, int index) = 0;
    virtual void StartPolling() = 0;
    virtual void StopPolling() = 0;
};

class ProgrammingPage {
  public:
    virtual ~ProgrammingPage() = default;
    virtual void SelectServo(int id, const ServoInfo& record, ServoKind kind) = 0;
    virtual void StartRefresh() = 0;       // timer, then SetTorqueByte(0)
    virtual void StopRefresh() = 0;        // timer, then SetTorqueByte(1)
    virtual void StartRefreshTimer() = 0;  // timer only
    virtual void StopRefreshTimer() = 0;   // timer only
    virtual void SetTorqueByte(int value) = 0;
};

class UpgradePage {
  public:
    virtual ~UpgradePage() = default;
    virtual void SetServo(int id, std::span<const FoundServo> found, int index,
                          const std::string& model_name) = 0;
    virtual void StopTest() = 0;
    // True from "Upgrade" until the port is restored: the exchange owns the line meanwhile.
    virtual bool UpgradeRunning() const { return false; }
    // The window is closing: end the test and any exchange (port restored), join workers.
    virtual void Shutdown() {}
};

class PwmPage {
  public:
    virtual ~PwmPage() = default;
    virtual void SelectServo(int id) = 0;
    virtual void Activate() = 0;    // writes 0 to address 9 with Level 0
    virtual void Deactivate() = 0;  // writes 1 to address 9 with Level 0, stops the signal timer
    virtual void StopAuto() = 0;    // stops the signal timer without touching the device
};
