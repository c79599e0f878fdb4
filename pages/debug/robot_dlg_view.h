#pragma once
// What the Debug page's logic (CRobotDlg) needs from the screen. Controls are named by the
// ids of dialog 131; the Qt widget implements this, tests record it with a fake.
// Every call is made on the user-interface thread.
#include <string>

enum DebugControl : int {
    // Motion and torque.
    kGoalSlider = 1105,
    kTorqueCheck = 1169,
    kRegWriteRadio = 1222,
    kSyncWriteRadio = 1223,
    kWriteRadio = 1224,
    kActionButton = 1225,
    kAccEdit = 1258,
    kGoalEdit = 1259,
    kSetButton = 1260,
    kSpeedEdit = 1263,
    kTimeEdit = 1264,
    // Feedback statics.
    kSpeedStatic = 1077,
    kTemperatureStatic = 1165,
    kVoltageStatic = 1166,
    kTorqueStatic = 1167,
    kPositionStatic = 1168,
    kCurrentStatic = 1170,
    kMovingStatic = 1172,
    kStateStatic = 1173,
    kGoalStatic = 1247,
    kGraphArea = 1250,
    // Graph controls.
    kPositionCheck = 1239,
    kTorqueGraphCheck = 1240,
    kSpeedCheck = 1241,
    kCurrentCheck = 1242,
    kTemperatureCheck = 1243,
    kVoltageCheck = 1244,
    kGoalCheck = 1257,
    kFastSlowCheck = 1267,
    kZoomSlider = 1261,
    kShiftSlider = 1262,
    kUpEdit = 1288,
    kLowEdit = 1289,
    // Auto debug.
    kStartEdit = 1282,
    kEndEdit = 1283,
    kSweepDelayEdit = 1284,
    kSweepButton = 1285,
    kStepEdit = 1286,
    kStepButton = 1287,
    kStepDelayEdit = 1294,
    // Data analysis.
    kSecondsEdit = 1290,
    kExportButton = 1291,
    kFileEdit = 1292,
    kEmptyButton = 1293,
    kRowsEdit = 1295,
};

// Window timers of the page.
enum DebugTimer : int { kSweepTimer = 1, kStepTimer = 2 };

class RobotDlgView {
  public:
    virtual ~RobotDlgView() = default;

    // Edits, statics and button captions.
    virtual void SetText(int control, const std::string& text) = 0;
    virtual std::string Text(int control) const = 0;
    virtual void SetTextLimit(int control, int characters) = 0;
    virtual void Enable(int control, bool enabled) = 0;
    virtual void Show(int control, bool visible) = 0;

    // Check boxes and radio buttons.
    virtual void Check(int control, bool checked) = 0;
    virtual bool IsChecked(int control) const = 0;

    // Trackbars. Setting the position does not count as a user scroll.
    virtual void SetSliderRange(int control, int minimum, int maximum) = 0;
    virtual void SetSliderPos(int control, int position) = 0;
    virtual int SliderPos(int control) const = 0;

    // Window timers: the view calls CRobotDlg::OnTimer(id) every interval until killed.
    virtual void StartTimer(int id, int interval_ms) = 0;
    virtual void KillTimer(int id) = 0;

    // A modal error box (caption names the operation).
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;

    // The page is being destroyed (its poll already stopped): drop every reference to it.
    virtual void PageDestroyed() {}
};
