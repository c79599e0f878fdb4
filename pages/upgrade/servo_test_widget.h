#pragma once
// The Upgrade page on screen: the "Communication test" and "Firmware update" groups of
// dialog 129 with their English or Chinese captions. Forwards user events (buttons and the
// B, M, R keys) to CServoTest and shows what it is told through ServoTestView.
#include <QWidget>

#include "pages/control_map_widget.h"
#include "pages/upgrade/servo_test_view.h"

class CServoTest;
class CTextProgressCtrl;

class CServoTestWidget : public QWidget, public ServoTestView {
    Q_OBJECT
  public:
    // Builds the controls and initialises the page.
    CServoTestWidget(CServoTest& page, bool chinese, QWidget* parent = nullptr);
    ~CServoTestWidget() override;

    // The control with a dialog id (null for an unknown id); for tests.
    QWidget* Control(int id) const;
    CTextProgressCtrl* Progress() const { return progress_; }

    // ServoTestView.
    void SetText(int control, const std::string& text) override;
    void Enable(int control, bool enabled) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressStep(int step) override;
    void SetProgressPos(int position) override;
    bool AskOpenFile(const std::string& filter, const std::string& default_extension,
                     std::string& path) override;
    void ShowMessage(const std::string& caption, const std::string& text, bool error) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Build(bool chinese);

    CServoTest* page_;
    CTextProgressCtrl* progress_ = nullptr;
    ControlMap controls_;
};
