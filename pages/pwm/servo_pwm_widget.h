#pragma once
// The PWM page on screen: every control of dialog 188 with its English or Chinese caption,
// and the signal timer. Forwards user events to CServoPwm and draws what it is told through
// ServoPwmView.
#include <QWidget>

#include "pages/control_map_widget.h"
#include "pages/pwm/servo_pwm_view.h"

class CServoPwm;
class QScrollBar;

class CServoPwmWidget : public QWidget, public ServoPwmView {
    Q_OBJECT
  public:
    // Builds the controls and initialises the page.
    CServoPwmWidget(CServoPwm& page, bool chinese, QWidget* parent = nullptr);
    ~CServoPwmWidget() override;

    // The control with a dialog id (null for an unknown id); for tests.
    QWidget* Control(int id) const;

    // ServoPwmView.
    void SetText(int control, const std::string& text) override;
    std::string Text(int control) const override;
    void SetTextLimit(int control, int characters) override;
    void Enable(int control, bool enabled) override;
    void SetScrollRange(int control, int minimum, int maximum) override;
    void SetScrollPos(int control, int position) override;
    int ScrollPos(int control) const override;
    void StartTimer(int id, int interval_ms) override;
    void KillTimer(int id) override;

  private:
    void Build(bool chinese);
    void OnBarAction(int action);

    CServoPwm& page_;
    QScrollBar* bar_ = nullptr;
    // The bar's position as the page set it; the scroll bar's own step is undone after each
    // user action so that only the page moves it.
    int bar_pos_ = 1500;
    ControlMap controls_;
    WindowTimers timers_;
};
