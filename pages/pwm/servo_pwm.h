#pragma once
// The PWM page: drives the pulse-width signal adapter at id 253 by scroll bar, preset
// buttons, a sweep between the limits or a step cycle, and switches its output. Everything
// runs on the user-interface thread; each write is one bus transaction under BusLock.
// Reaches the screen only through ServoPwmView.
#include <cstdint>
#include <string>

#include "pages/page_interfaces.h"
#include "pages/pwm/servo_pwm_view.h"
#include "platform/bus_lock.h"

class Tervion;

class CServoPwm : public PwmPage {
  public:
    static constexpr uint8_t kPwmAdapterId = 253;
    static constexpr uint8_t kActiveAddress = 9;
    static constexpr uint8_t kPulseAddress = 33;
    static constexpr uint8_t kOutputAddress = 35;
    static constexpr int kBarMin = 500;
    static constexpr int kBarMax = 2500;
    static constexpr int kStepTickMs = 10;

    CServoPwm(Tervion& tervion, BusLock& lock, bool chinese = false);
    CServoPwm(const CServoPwm&) = delete;
    CServoPwm& operator=(const CServoPwm&) = delete;

    // Binds the screen and initialises every control. The view must outlive the page or be
    // detached with InitDialog(nullptr).
    void InitDialog(ServoPwmView* view);

    // PwmPage.
    void SelectServo(int) override {}
    void Activate() override;
    void Deactivate() override;
    void StopAuto() override;

    void SetPulse(int pulse);

    // User events forwarded by the view.
    void OnPreset(int control);
    void OnScroll(ScrollCode code, int track_position = 0);
    // The switch 1317: SwitchOn while the signal is off, SwitchOff while it is on.
    void OnSwitch();
    void SwitchOn();   // output on, then the limits taken from "Min" and "Max"
    void SwitchOff();  // output off
    void OnSweep();
    void OnStep();
    void OnTimer(int id);

    int Pulse() const { return pulse_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    bool Sweeping() const { return sweeping_; }
    bool Stepping() const { return stepping_; }

    // The preset value of a preset button's id, 0 for any other control.
    static int PresetValue(int control);

  private:
    // One write to the adapter with the status-reply level set to 0 for its length.
    void WriteQuiet(uint8_t address, uint8_t value);
    int EditInt(int control) const;
    // The two ends of a sweep or step run. A run starts from the lower limit with its button
    // captioned to stop it; the timer drives it, and the other run's button is locked
    // meanwhile. At the end the run's button takes its own caption back.
    void BeginRun(int button, int other_button, int interval_ms);
    void EndRun(int button, const std::string& caption, int other_button);
    // The scroll bar's position (the last pulse asked for when there is no screen).
    int BarPos() const;

    Tervion& tervion_;
    BusLock& lock_;
    ServoPwmView* view_ = nullptr;

    std::string text_stop_, text_sweep_, text_step_, text_on_, text_off_;

    int pulse_ = 1500;
    int minimum_ = kBarMin;
    int maximum_ = kBarMax;
    bool signal_on_ = false;
    int sweep_interval_ = 1000;
    int step_size_ = 4;
    int auto_mode_ = 0;  // what the timer does: 0 sweep, 1 step
    bool sweeping_ = false;
    bool stepping_ = false;
    int step_value_ = kBarMin;
    bool step_down_ = false;
};
