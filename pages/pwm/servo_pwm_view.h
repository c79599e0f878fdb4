#pragma once
// What the PWM page's logic (CServoPwm) needs from the screen. Controls are named by the ids
// of dialog 188; the Qt widget implements this, the command line and tests have their own.
// Every call is made on the user-interface thread.
#include <string>

enum PwmControl : int {
    kPwmPulseBar = 1300,
    kPwmPreset900 = 1301,
    kPwmPreset1200 = 1302,
    kPwmPreset1500 = 1303,
    kPwmPreset1800 = 1304,
    kPwmIntervalEdit = 1307,
    kPwmStepSizeEdit = 1308,
    kPwmSweepButton = 1309,
    kPwmMinEdit = 1310,
    kPwmPreset500 = 1311,
    kPwmMaxEdit = 1313,
    kPwmStepButton = 1314,
    kPwmSwitchButton = 1317,
    kPwmPulseStatic = 1318,
    kPwmPreset2100 = 1319,
    kPwmPreset2500 = 1320,
};

// The signal timer (window timer 1): sweeps and step cycles.
enum PwmTimer : int { kPwmSignalTimer = 1 };

// What a scroll-bar notification asks for.
enum class ScrollCode {
    kLineLeft,
    kLineRight,
    kPageLeft,
    kPageRight,
    kThumbTrack,
    kThumbPosition,
    kEndScroll
};

class ServoPwmView {
  public:
    virtual ~ServoPwmView() = default;

    // Edits, statics and button captions.
    virtual void SetText(int control, const std::string& text) = 0;
    virtual std::string Text(int control) const = 0;
    virtual void SetTextLimit(int control, int characters) = 0;
    virtual void Enable(int control, bool enabled) = 0;

    // The scroll bar; a position outside the range is pulled into it. Setting the position
    // does not count as a user scroll.
    virtual void SetScrollRange(int control, int minimum, int maximum) = 0;
    virtual void SetScrollPos(int control, int position) = 0;
    virtual int ScrollPos(int control) const = 0;

    // Window timers: the view calls CServoPwm::OnTimer(id) every interval until killed.
    virtual void StartTimer(int id, int interval_ms) = 0;
    virtual void KillTimer(int id) = 0;
};
