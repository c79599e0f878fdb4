#include "pages/pwm/servo_pwm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "platform/string_table.h"
#include "protocol/tervion.h"

namespace {

enum TextId : int {
    kTextStop = 156,
    kTextSweep = 188,
    kTextStep = 197,
    kTextOn = 212,
    kTextOff = 213
};

// A window timer never fires faster than this; a shorter (or zero) interval would otherwise
// flood the line with pulses.
constexpr int kMinTimerMs = 10;

std::string Us(int pulse) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%dus", pulse);
    return buf;
}

}  // namespace

CServoPwm::CServoPwm(Tervion& tervion, BusLock& lock, bool chinese)
    : tervion_(tervion), lock_(lock) {
    const StringTable table(chinese);
    text_stop_ = table.Get(kTextStop);
    text_sweep_ = table.Get(kTextSweep);
    text_step_ = table.Get(kTextStep);
    text_on_ = table.Get(kTextOn);
    text_off_ = table.Get(kTextOff);
}

void CServoPwm::InitDialog(ServoPwmView* view) {
    view_ = view;
    if (!view_) return;
    view_->SetScrollRange(kPwmPulseBar, kBarMin, kBarMax);
    view_->SetScrollPos(kPwmPulseBar, 1500);
    view_->SetText(kPwmPulseStatic, Us(1500));
    view_->SetTextLimit(kPwmMinEdit, 4);
    view_->SetTextLimit(kPwmMaxEdit, 4);
    view_->SetText(kPwmMinEdit, "500");
    view_->SetText(kPwmMaxEdit, "2500");
    view_->SetTextLimit(kPwmIntervalEdit, 4);
    view_->SetText(kPwmIntervalEdit, "1000");
    view_->SetTextLimit(kPwmStepSizeEdit, 3);
    view_->SetText(kPwmStepSizeEdit, "4");
    view_->SetText(kPwmSweepButton, text_sweep_);
    view_->SetText(kPwmStepButton, text_step_);
    view_->SetText(kPwmSwitchButton, signal_on_ ? text_off_ : text_on_);
}

void CServoPwm::WriteQuiet(uint8_t address, uint8_t value) {
    // The level is shared with every other bus user, so it is changed and restored inside
    // the same transaction lock.
    std::lock_guard<BusLock> guard(lock_);
    const uint8_t saved = tervion_.Level;
    tervion_.Level = 0;
    tervion_.WriteByte(kPwmAdapterId, address, value);
    tervion_.Level = saved;
}

void CServoPwm::Activate() { WriteQuiet(kActiveAddress, 0); }

void CServoPwm::Deactivate() {
    WriteQuiet(kActiveAddress, 1);
    StopAuto();
}

void CServoPwm::StopAuto() {
    sweeping_ = false;
    stepping_ = false;
    if (!view_) return;
    view_->SetText(kPwmStepButton, text_step_);
    view_->Enable(kPwmStepButton, true);
    view_->SetText(kPwmSweepButton, text_sweep_);
    view_->Enable(kPwmSweepButton, true);
    view_->KillTimer(kPwmSignalTimer);
}

void CServoPwm::SetPulse(int p) {
    if (view_) view_->SetScrollPos(kPwmPulseBar, p);
    if (p < minimum_) p = minimum_;
    if (p > maximum_) p = maximum_;
    pulse_ = p;
    if (view_) view_->SetText(kPwmPulseStatic, Us(p));
    {
        std::lock_guard<BusLock> guard(lock_);
        tervion_.WriteWordHost(kPwmAdapterId, kPulseAddress, static_cast<uint16_t>(p));
    }
    {
        std::lock_guard<BusLock> guard(lock_);
        tervion_.WriteByte(kPwmAdapterId, kOutputAddress, 1);
    }
    signal_on_ = true;
    if (view_) view_->SetText(kPwmSwitchButton, text_off_);
}

int CServoPwm::PresetValue(int control) {
    switch (control) {
        case kPwmPreset500:
            return 500;
        case kPwmPreset900:
            return 900;
        case kPwmPreset1200:
            return 1200;
        case kPwmPreset1500:
            return 1500;
        case kPwmPreset1800:
            return 1800;
        case kPwmPreset2100:
            return 2100;
        case kPwmPreset2500:
            return 2500;
        default:
            return 0;
    }
}

void CServoPwm::OnPreset(int control) {
    const int value = PresetValue(control);
    if (value != 0) SetPulse(value);
}

int CServoPwm::BarPos() const { return view_ ? view_->ScrollPos(kPwmPulseBar) : pulse_; }

void CServoPwm::OnScroll(ScrollCode code, int track_position) {
    const int position = BarPos();
    switch (code) {
        case ScrollCode::kLineLeft:
            SetPulse(position - 1 < kBarMin ? kBarMin : position - 1);
            break;
        case ScrollCode::kLineRight:
            SetPulse(position + 1 > kBarMax ? kBarMax : position + 1);
            break;
        case ScrollCode::kPageLeft:
            SetPulse(position - 100);
            break;
        case ScrollCode::kPageRight:
            SetPulse(position + 100);
            break;
        case ScrollCode::kThumbTrack:
            SetPulse(track_position);
            break;
        case ScrollCode::kThumbPosition:
        case ScrollCode::kEndScroll:
            break;
    }
}

int CServoPwm::EditInt(int control) const {
    if (!view_) return 0;
    const std::string text = view_->Text(control);
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1000000) value = 1000000;  // far beyond every limit; no overflow
    }
    return static_cast<int>(negative ? -value : value);
}

void CServoPwm::OnSwitch() {
    if (signal_on_) {
        SwitchOff();
    } else {
        SwitchOn();
    }
}

void CServoPwm::SwitchOn() {
    signal_on_ = true;
    if (view_) view_->SetText(kPwmSwitchButton, text_off_);
    {
        std::lock_guard<BusLock> guard(lock_);
        tervion_.WriteByte(kPwmAdapterId, kOutputAddress, 1);
    }
    // Both limits stay inside what the adapter's pulse range means (a 0 µs or a wrapped
    // 65535 µs pulse is no servo signal); limits typed the wrong way round are swapped, so
    // both typed values still bound the signal.
    minimum_ = std::clamp(EditInt(kPwmMinEdit), kBarMin, kBarMax);
    maximum_ = std::clamp(EditInt(kPwmMaxEdit), kBarMin, kBarMax);
    if (minimum_ > maximum_) std::swap(minimum_, maximum_);
}

void CServoPwm::SwitchOff() {
    signal_on_ = false;
    if (view_) view_->SetText(kPwmSwitchButton, text_on_);
    std::lock_guard<BusLock> guard(lock_);
    tervion_.WriteByte(kPwmAdapterId, kOutputAddress, 0);
}

void CServoPwm::BeginRun(int button, int other_button, int interval_ms) {
    if (view_) view_->SetText(button, text_stop_);
    SetPulse(minimum_);
    if (!view_) return;
    view_->StartTimer(kPwmSignalTimer, interval_ms);
    view_->Enable(other_button, false);
}

void CServoPwm::EndRun(int button, const std::string& caption, int other_button) {
    if (!view_) return;
    view_->SetText(button, caption);
    view_->Enable(other_button, true);
    view_->KillTimer(kPwmSignalTimer);
}

void CServoPwm::OnSweep() {
    sweep_interval_ = EditInt(kPwmIntervalEdit);
    if (sweeping_) {
        sweeping_ = false;
        EndRun(kPwmSweepButton, text_sweep_, kPwmStepButton);
        return;
    }
    sweeping_ = true;
    auto_mode_ = 0;
    BeginRun(kPwmSweepButton, kPwmStepButton,
             sweep_interval_ < kMinTimerMs ? kMinTimerMs : sweep_interval_);
}

void CServoPwm::OnStep() {
    step_size_ = EditInt(kPwmStepSizeEdit);
    // A size below 1 would never reach a limit (or walk away from both).
    if (step_size_ < 1) step_size_ = 1;
    if (stepping_) {
        stepping_ = false;
        EndRun(kPwmStepButton, text_step_, kPwmSweepButton);
        return;
    }
    stepping_ = true;
    step_value_ = minimum_;
    step_down_ = false;
    auto_mode_ = 1;
    BeginRun(kPwmStepButton, kPwmSweepButton, kStepTickMs);
}

void CServoPwm::OnTimer(int id) {
    if (id != kPwmSignalTimer) return;
    if (auto_mode_ == 0) {
        SetPulse(BarPos() == minimum_ ? maximum_ : minimum_);
        return;
    }
    if (!step_down_) {
        step_value_ += step_size_;
        if (step_value_ >= maximum_) {
            step_value_ = maximum_;
            step_down_ = true;
        }
    } else {
        step_value_ -= step_size_;
        if (step_value_ <= minimum_) {
            step_value_ = minimum_;
            step_down_ = false;
        }
    }
    SetPulse(step_value_);
}
