#pragma once
// The Debug page: drives the selected servo (goal, acceleration, speed, time; plain, sync or
// registered writes; torque) and shows its live feedback, polled every 50 ms on a worker
// thread and handed to the user-interface thread. Also runs the sweep and step cycles and
// the recording controls. Reaches the screen only through RobotDlgView.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "definitions/servo_types.h"
#include "pages/debug/auto_debug.h"
#include "pages/debug/cpic.h"
#include "pages/debug/data_recorder.h"
#include "pages/debug/debug_texts.h"
#include "pages/debug/feedback.h"
#include "pages/page_interfaces.h"
#include "platform/bus_lock.h"
#include "platform/periodic_worker.h"
#include "platform/ui_dispatcher.h"

class Modbus;
class RobotDlgView;
class ServoSetup;
class Tervion;

class CRobotDlg : public DebugPage {
  public:
    enum WriteMode : int { kWrite = 0, kSyncWrite = 1, kRegWrite = 2 };
    static constexpr int kGoalLimit = 30719;
    static constexpr int kPollPeriodMs = 50;

    CRobotDlg(ServoSetup& setup, Modbus& modbus, Tervion& tervion, BusLock& bus_lock, bool chinese,
              UiDispatcher& ui);
    ~CRobotDlg() override;
    CRobotDlg(const CRobotDlg&) = delete;
    CRobotDlg& operator=(const CRobotDlg&) = delete;

    // Binds the screen and initialises every control; starts the poll. The view must outlive
    // the page or be detached with AttachView(nullptr) after StopPolling.
    void InitDialog(RobotDlgView* view);
    void AttachView(RobotDlgView* view);

    // DebugPage.
    void SelectServo(int id, std::span<const FoundServo> found, int index) override;
    void StartPolling() override;
    void StopPolling() override;

    // acc as entered: the motion block takes its low 8 bits, the Modbus register all 16.
    void SendGoal(int position, uint16_t speed, uint16_t time, int acc, int mode);
    void SetTorque(bool on, int mode);

    // User events forwarded by the view.
    void OnWriteModeChanged(int mode);
    void OnTorqueClicked();
    void OnAction();
    void OnSet();
    void OnGoalSliderScroll();
    void OnCtrlS();
    void OnGraphCheck(int control);
    void OnZoomScroll();
    void OnShiftScroll();
    void OnUpChanged();
    void OnLowChanged();
    void OnSweep();
    void OnStep();
    void OnTimer(int id);
    void OnExport();
    void OnEmpty();

    // One poll (the worker calls it every 50 ms); public for tests that drive it directly.
    void PollTick();

    CPIC& Graph() { return graph_; }
    DataRecorder& Recorder() { return recorder_; }
    int SelectedId() const;
    ServoKind Kind() const;
    int Mode() const { return write_mode_; }
    int PollDivider() const { return poll_divider_.load(); }
    bool Recording() const { return recording_.load(); }
    bool Polling() const { return worker_.Running(); }
    const AutoDebug& Auto() const { return auto_; }
    const DebugTexts& Texts() const { return texts_; }

  private:
    // What one tick works on, copied under selection_lock_ so that a tick never mixes two
    // selections.
    struct Target {
        int id = -1;
        ServoKind kind = kKindServo;
        DebugRow row{};
        uint8_t end = 0;
        uint64_t generation = 0;
    };
    // The motion edits as every send reads them.
    struct Motion {
        uint16_t speed;
        uint16_t time;
        int acc;
    };

    Target Snapshot() const;
    Motion ReadMotionEdits() const;
    int EditInt(int control) const;
    void SetInt(int control, int value);
    void ShowRows(int count);
    // A record write failed: says so once until a write succeeds again (the rows are kept),
    // and again when the recording ends with the write failing (the rows are lost).
    void ReportRecordFailure(bool recording_ended = false);
    void ShowFeedback(const Feedback& f, int speed_scale);
    void ShowState(uint64_t generation, const std::string& text);
    void EndSweep();
    bool SyncIds(bool same_order_only, uint8_t* ids, int* n) const;

    ServoSetup& setup_;
    Modbus& modbus_;
    Tervion& tervion_;
    BusLock& bus_lock_;
    UiPoster ui_;
    RobotDlgView* view_ = nullptr;
    const DebugTexts texts_;

    CPIC graph_;
    DataRecorder recorder_;
    AutoDebug auto_;

    // The selection: written on the user-interface thread, read by the tick.
    mutable std::mutex selection_lock_;
    Target target_;
    std::atomic<uint64_t> generation_{0};
    // Only the user-interface thread reads these.
    std::span<const FoundServo> found_;
    int selected_index_ = -1;
    int slider_max_ = 4095;

    int write_mode_ = kWrite;
    std::atomic<int> poll_divider_{1};
    int tick_counter_ = 0;  // poll thread only
    std::atomic<bool> recording_{false};
    bool record_failure_shown_ = false;  // UI thread only

    PeriodicWorker worker_;
};
