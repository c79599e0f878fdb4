#pragma once
// The Debug page on screen: every control of dialog 131 with its English or Chinese caption,
// the strip chart in area 1250, and the window timers. Forwards user events to CRobotDlg and
// draws what it is told through RobotDlgView.
#include <QWidget>

#include "pages/control_map_widget.h"
#include "pages/debug/robot_dlg_view.h"

class CRobotDlg;
class CpicWidget;
class QEvent;

class CRobotDlgWidget : public QWidget, public RobotDlgView {
    Q_OBJECT
  public:
    // Builds the controls and initialises the page (which starts its poll).
    CRobotDlgWidget(CRobotDlg& page, bool chinese, QWidget* parent = nullptr);
    ~CRobotDlgWidget() override;

    // The control with a dialog id (null for an unknown id); for tests.
    QWidget* Control(int id) const;
    CpicWidget* Chart() const { return chart_; }

    // RobotDlgView.
    void SetText(int control, const std::string& text) override;
    std::string Text(int control) const override;
    void SetTextLimit(int control, int characters) override;
    void Enable(int control, bool enabled) override;
    void Show(int control, bool visible) override;
    void Check(int control, bool checked) override;
    bool IsChecked(int control) const override;
    void SetSliderRange(int control, int minimum, int maximum) override;
    void SetSliderPos(int control, int position) override;
    int SliderPos(int control) const override;
    void StartTimer(int id, int interval_ms) override;
    void KillTimer(int id) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    void PageDestroyed() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build(bool chinese);
    void GoalSliderAction();
    template <class T>
    T* Make(int id, const QString& caption = {});
    // Connects a control's signal to call(page) for as long as the page exists.
    template <class Sender, class Signal, class Call>
    void ForwardToPage(Sender* sender, Signal signal, Call call);

    CRobotDlg* page_;  // null once the page is gone
    CpicWidget* chart_ = nullptr;
    ControlMap controls_;
    WindowTimers timers_;
    const QEvent* ctrl_s_seen_ = nullptr;  // the Ctrl+S press already handled, while it lasts
};
