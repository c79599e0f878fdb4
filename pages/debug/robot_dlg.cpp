#include "pages/debug/robot_dlg.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/debug/robot_dlg_view.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"

namespace {

// Stands in until the page has a screen, so handlers never test for one.
class NullView : public RobotDlgView {
  public:
    void SetText(int, const std::string&) override {}
    std::string Text(int) const override { return {}; }
    void SetTextLimit(int, int) override {}
    void Enable(int, bool) override {}
    void Show(int, bool) override {}
    void Check(int, bool) override {}
    bool IsChecked(int) const override { return false; }
    void SetSliderRange(int, int, int) override {}
    void SetSliderPos(int, int) override {}
    int SliderPos(int) const override { return 0; }
    void StartTimer(int, int) override {}
    void KillTimer(int) override {}
    void ShowError(const std::string&, const std::string&) override {}
};

NullView g_null_view;

// Register of the Modbus goal block (position, mode 1, acceleration, speed) and of torque.
constexpr uint16_t kModbusGoalRegister = 128;
constexpr uint16_t kModbusTorqueRegister = 129;
constexpr uint8_t kModbusBroadcast = 0;
// A window timer fires at most this often, whatever interval is asked for.
constexpr int kMinTimerMs = 10;
constexpr const char* kDefaultRecordFile = "record.txt";

uint8_t Low8(uint16_t address) { return static_cast<uint8_t>(address & 0xFF); }

}  // namespace

CRobotDlg::CRobotDlg(ServoSetup& setup, Modbus& modbus, Tervion& tervion, BusLock& bus_lock,
                     bool chinese, UiDispatcher& ui)
    : setup_(setup),
      modbus_(modbus),
      tervion_(tervion),
      bus_lock_(bus_lock),
      ui_(ui),
      view_(&g_null_view),
      texts_(chinese) {}

CRobotDlg::~CRobotDlg() {
    // No tick may run on a page that is going away, and results still queued are dropped.
    worker_.Stop();
    ui_.Revoke();
    view_->PageDestroyed();
}

void CRobotDlg::AttachView(RobotDlgView* view) { view_ = view ? view : &g_null_view; }

void CRobotDlg::InitDialog(RobotDlgView* view) {
    AttachView(view);
    RobotDlgView& v = *view_;

    v.SetSliderRange(kGoalSlider, 0, 4095);
    v.SetSliderPos(kGoalSlider, 2047);
    slider_max_ = 4095;

    for (int c : {kPositionStatic, kSpeedStatic, kTorqueStatic, kTemperatureStatic, kGoalStatic,
                  kCurrentStatic, kMovingStatic}) {
        v.SetText(c, "0");
    }
    v.SetText(kVoltageStatic, "0.0 V");
    v.SetText(kStateStatic, texts_.normal);

    v.Check(kWriteRadio, true);
    v.Check(kSyncWriteRadio, false);
    v.Check(kRegWriteRadio, false);
    v.Enable(kActionButton, false);
    write_mode_ = kWrite;

    v.SetSliderRange(kZoomSlider, chart::kMinZoom, chart::kMaxZoom);
    v.SetSliderPos(kZoomSlider, chart::kMinZoom);
    v.SetSliderRange(kShiftSlider, 0, chart::kMaxShift);
    v.SetSliderPos(kShiftSlider, 0);

    for (int c : {kAccEdit, kSpeedEdit, kTimeEdit}) {
        v.SetTextLimit(c, 5);
        v.SetText(c, "0");
    }
    v.SetTextLimit(kGoalEdit, 6);
    v.SetText(kGoalEdit, "2047");

    for (int c : {kPositionCheck, kTorqueGraphCheck, kSpeedCheck}) v.Check(c, true);
    for (int c : {kCurrentCheck, kTemperatureCheck, kVoltageCheck, kGoalCheck, kFastSlowCheck}) {
        v.Check(c, false);
    }
    v.Show(kGoalCheck, false);
    v.Show(kFastSlowCheck, false);
    graph_.SetChannels(chart::kPositionBit | chart::kTorqueBit | chart::kSpeedBit);

    const std::pair<int, const char*> auto_edits[] = {{kStartEdit, "0"},
                                                      {kEndEdit, "1023"},
                                                      {kSweepDelayEdit, "2500"},
                                                      {kStepEdit, "4"},
                                                      {kStepDelayEdit, "20"}};
    for (const auto& [c, text] : auto_edits) {
        v.SetTextLimit(c, 4);
        v.SetText(c, text);
    }
    v.SetText(kSweepButton, texts_.sweep);
    v.SetText(kStepButton, texts_.step);

    for (int c : {kUpEdit, kLowEdit}) {
        v.SetTextLimit(c, 5);
        v.SetText(c, "0");
    }

    v.SetTextLimit(kSecondsEdit, 5);
    v.SetText(kSecondsEdit, "30");
    v.SetText(kFileEdit, kDefaultRecordFile);
    v.SetText(kExportButton, texts_.record);
    const char* header =
        PickText(texts_.chinese, DataRecorder::kHeaderEnglish, DataRecorder::kHeaderChinese);
    ShowRows(recorder_.OpenRecord(DataRecorder::kMaxBatch, kDefaultRecordFile, header,
                                  DataRecorder::kRowFormat, false));

    StartPolling();
}

// ---- Selection and polling --------------------------------------------------------------

void CRobotDlg::SelectServo(int id, std::span<const FoundServo> found, int index) {
    DebugRow row{};
    const bool known = index >= 0 && index < static_cast<int>(found.size()) &&
                       setup_.LookupDebugRow(setup_.FileForKind(found[index].kind),
                                             found[index].record.data(), row) != 0;
    if (!known) {
        // The selection is dropped: writes are ignored and the poll shows "Timeout".
        std::lock_guard<std::mutex> g(selection_lock_);
        target_.id = -1;
        target_.generation = ++generation_;
        found_ = {};
        return;
    }
    const ServoKind kind = found[index].kind;

    if (kind == kKindServo) tervion_.PosAddress = Low8(row[6]);
    tervion_.TorqueAddress = Low8(row[10]);

    // A divisor of 0 in a setup file would size the slider by a division by zero; such a
    // model is driven unscaled, as with divisor 1.
    const int divisor = row[7] ? row[7] : 1;
    const int m = 4095 / divisor;
    view_->SetSliderRange(kGoalSlider, 0, m);
    view_->SetSliderPos(kGoalSlider, m / 2);
    slider_max_ = m;
    SetInt(kGoalEdit, m / 2);

    const int end = EditInt(kEndEdit);
    if (m == 1023) {
        if (end > 1023) SetInt(kEndEdit, 1023);
    } else if (end < 1024) {
        SetInt(kEndEdit, m);
    }

    graph_.SetPositionScale(divisor);
    graph_.Redraw();

    found_ = found;
    selected_index_ = index;
    std::lock_guard<std::mutex> g(selection_lock_);
    target_.id = id;
    target_.kind = kind;
    target_.row = row;
    // The main window sets the byte order of the selected servo before it calls us.
    target_.end = tervion_.End.load();
    target_.generation = ++generation_;
}

CRobotDlg::Target CRobotDlg::Snapshot() const {
    std::lock_guard<std::mutex> g(selection_lock_);
    return target_;
}

int CRobotDlg::SelectedId() const { return Snapshot().id; }
ServoKind CRobotDlg::Kind() const { return Snapshot().kind; }

void CRobotDlg::StartPolling() {
    if (worker_.Running()) return;
    worker_.Start(std::chrono::milliseconds(kPollPeriodMs), [this] { PollTick(); });
}

void CRobotDlg::StopPolling() {
    worker_.Stop();
    if (auto_.sweeping) EndSweep();
}

void CRobotDlg::PollTick() {
    const int divider = poll_divider_.load();
    if (++tick_counter_ < divider && divider != 0) return;
    tick_counter_ = 0;

    const Target t = Snapshot();
    auto post_timeout = [&] {
        ui_.Post([this, gen = t.generation] { ShowState(gen, texts_.timeout); });
    };
    if (t.id < 0) {
        post_timeout();
        return;
    }

    Feedback f;
    bool ok = false;
    if (t.kind == kKindModbus) {
        uint16_t regs[kModbusFeedbackRegisters] = {};
        {
            std::lock_guard<BusLock> g(bus_lock_);
            ok = modbus_.ReadHoldingRegisters(static_cast<uint8_t>(t.id), kModbusFeedbackRegister,
                                              regs,
                                              kModbusFeedbackRegisters) == kModbusFeedbackRegisters;
        }
        if (ok) f = DecodeModbus(regs);
    } else {
        const int n = FeedbackLength(t.row[4], t.row[5], t.kind);
        uint8_t buffer[kFeedbackBlockSize] = {};
        uint8_t error = 0;
        {
            std::lock_guard<BusLock> g(bus_lock_);
            ok = tervion_.Read(static_cast<uint8_t>(t.id), Low8(t.row[4]), buffer, n) == n;
            error = tervion_.Error.load();
        }
        if (ok) {
            FeedbackBlock block{};
            if (t.kind == kKindPwm) {
                block = ReorderPwmBlock(buffer);
            } else {
                std::copy(buffer, buffer + kFeedbackBlockSize, block.begin());
            }
            f = DecodeBlock(block, t.end, t.kind, error);
        }
    }
    if (!ok) {
        post_timeout();
        return;
    }

    int rows = -1;
    bool write_failed = false;
    if (recording_.load()) {
        RecordSample s;
        s.position = f.position;
        s.goal = f.goal;
        s.torque = f.load;
        s.speed = f.speed;
        s.current = f.current;
        s.temperature = static_cast<int16_t>(f.temperature);
        s.voltage = static_cast<int16_t>(f.voltage);
        rows = recorder_.AddSample(s, &write_failed);
    }

    const int speed_scale = t.row[8];
    ui_.Post([this, gen = t.generation, f, speed_scale, rows, write_failed] {
        // A result read for a servo that is no longer selected is not shown.
        if (gen == generation_.load()) ShowFeedback(f, speed_scale);
        if (rows != -1) ShowRows(rows);
        if (write_failed) ReportRecordFailure();
    });
}

void CRobotDlg::ShowState(uint64_t generation, const std::string& text) {
    if (generation != generation_.load()) return;
    view_->SetText(kStateStatic, text);
}

void CRobotDlg::ShowFeedback(const Feedback& f, int speed_scale) {
    RobotDlgView& v = *view_;
    v.SetText(kPositionStatic, std::to_string(f.position));
    v.SetText(kSpeedStatic, std::to_string(f.speed));
    v.SetText(kTorqueStatic, std::to_string(f.load));
    v.SetText(kGoalStatic, std::to_string(f.goal));
    v.SetText(kCurrentStatic, std::to_string(f.current));
    v.SetText(kVoltageStatic, VoltageText(f.voltage));
    v.SetText(kTemperatureStatic, std::to_string(f.temperature));
    v.SetText(kMovingStatic, std::to_string(f.moving));
    v.SetText(kStateStatic, texts_.StateText(f.error));

    std::array<int, chart::kChannelCount> values{};
    values[chart::kPosition] = f.position;
    values[chart::kSpeed] = f.speed * speed_scale / 10;
    values[chart::kTorque] = f.load;
    values[chart::kGoal] = f.goal;
    values[chart::kCurrent] = f.current;
    values[chart::kFastSlow] = speed_scale * f.fast_slow / 10;
    values[chart::kVoltage] = f.voltage;
    values[chart::kTemperature] = f.temperature * 10;
    graph_.AddSamples(values);
    graph_.Redraw();
}

// ---- Motion and torque ------------------------------------------------------------------

bool CRobotDlg::SyncIds(bool same_order_only, uint8_t* ids, int* n) const {
    *n = 0;
    if (selected_index_ < 0 || selected_index_ >= static_cast<int>(found_.size())) return false;
    const uint8_t order = found_[selected_index_].record.byte_order();
    for (size_t i = 0; i < found_.size() && i < static_cast<size_t>(kMaxServos); ++i) {
        if (same_order_only && found_[i].record.byte_order() != order) continue;
        ids[(*n)++] = found_[i].record.id();
    }
    return *n > 0;
}

void CRobotDlg::SendGoal(int position, uint16_t speed, uint16_t time, int acc, int mode) {
    const Target t = Snapshot();
    if (t.id < 0) return;
    const uint8_t id = static_cast<uint8_t>(t.id);
    const auto pos16 = static_cast<uint16_t>(position);
    // The motion block has one byte for the acceleration; a Modbus register holds 16 bits.
    const auto acc8 = static_cast<uint8_t>(acc);
    bool sent = false;

    if (t.kind == kKindServo) {
        if (mode == kWrite) {
            std::lock_guard<BusLock> g(bus_lock_);
            tervion_.WritePosition(id, static_cast<int16_t>(pos16), acc8, speed, time);
            sent = true;
        } else if (mode == kSyncWrite) {
            uint8_t ids[kMaxServos];
            int n = 0;
            if (SyncIds(true, ids, &n)) {
                std::lock_guard<BusLock> g(bus_lock_);
                // A packet too long for its length byte is refused and goes nowhere.
                sent = tervion_.SyncWritePosition(ids, n, static_cast<int16_t>(pos16), acc8, speed,
                                                  time) != 0;
            }
        } else if (mode == kRegWrite) {
            std::lock_guard<BusLock> g(bus_lock_);
            tervion_.RegWritePosition(id, static_cast<int16_t>(pos16), acc8, speed, time);
            sent = true;
        }
    } else if (t.kind == kKindPwm) {
        if (mode == kWrite) {
            std::lock_guard<BusLock> g(bus_lock_);
            tervion_.WriteWord(id, Low8(t.row[9]), pos16);
            sent = true;
        }
    } else if (t.kind == kKindModbus) {
        if (mode == kWrite) {
            std::lock_guard<BusLock> g(bus_lock_);
            if (speed == 0 || acc8 == 0) {
                modbus_.WriteRegister(id, kModbusGoalRegister, pos16);
            } else {
                const uint16_t regs[4] = {pos16, 1, static_cast<uint16_t>(acc), speed};
                modbus_.WriteRegisters(id, kModbusGoalRegister, regs, 4);
            }
            sent = true;
        }
    }
    if (sent) view_->Check(kTorqueCheck, true);
}

void CRobotDlg::SetTorque(bool on, int mode) {
    const Target t = Snapshot();
    if (t.id < 0) return;
    const uint8_t id = static_cast<uint8_t>(t.id);
    const uint8_t value = on ? 1 : 0;
    const uint8_t address = Low8(t.row[10]);

    if (t.kind == kKindModbus) {
        if (mode == kWrite) {
            // Slave address 0 is the Modbus broadcast: every Modbus servo switches.
            std::lock_guard<BusLock> g(bus_lock_);
            modbus_.WriteRegister(kModbusBroadcast, kModbusTorqueRegister, value);
        }
        return;
    }
    if (mode == kWrite) {
        std::lock_guard<BusLock> g(bus_lock_);
        tervion_.WriteByte(id, address, value);
        return;
    }
    if (t.kind != kKindServo) return;
    if (mode == kSyncWrite) {
        uint8_t ids[kMaxServos];
        int n = 0;
        if (SyncIds(false, ids, &n)) {
            std::lock_guard<BusLock> g(bus_lock_);
            tervion_.SyncWrite(ids, n, address, &value, 1);
        }
    } else if (mode == kRegWrite) {
        std::lock_guard<BusLock> g(bus_lock_);
        tervion_.RegWrite(id, address, &value, 1);
    }
}

int CRobotDlg::EditInt(int control) const { return ReadInt(view_->Text(control)); }

void CRobotDlg::SetInt(int control, int value) { view_->SetText(control, std::to_string(value)); }

CRobotDlg::Motion CRobotDlg::ReadMotionEdits() const {
    const ServoKind kind = Snapshot().kind;
    Motion m;
    m.acc = EditInt(kAccEdit);
    m.speed = EncodeSpeed(EditInt(kSpeedEdit), kind);
    m.time = EncodeTime(EditInt(kTimeEdit));
    return m;
}

void CRobotDlg::OnWriteModeChanged(int mode) {
    if (mode < kWrite || mode > kRegWrite) return;
    write_mode_ = mode;
    view_->Enable(kActionButton, mode == kRegWrite);
}

void CRobotDlg::OnTorqueClicked() { SetTorque(view_->IsChecked(kTorqueCheck), write_mode_); }

void CRobotDlg::OnAction() {
    std::lock_guard<BusLock> g(bus_lock_);
    tervion_.Action(QVS::kBroadcastId);
}

void CRobotDlg::OnSet() {
    int goal = EditInt(kGoalEdit);
    view_->SetSliderPos(kGoalSlider, std::clamp(goal, 0, slider_max_));
    if (goal > kGoalLimit || goal < -kGoalLimit) {
        goal = std::clamp(goal, -kGoalLimit, kGoalLimit);
        SetInt(kGoalEdit, goal);
    }
    const Motion m = ReadMotionEdits();
    SendGoal(goal, m.speed, m.time, m.acc, write_mode_);
}

void CRobotDlg::OnGoalSliderScroll() {
    const int position = view_->SliderPos(kGoalSlider);
    SetInt(kGoalEdit, position);
    const Motion m = ReadMotionEdits();
    SendGoal(position, m.speed, m.time, m.acc, write_mode_);
}

void CRobotDlg::OnCtrlS() {
    view_->Show(kGoalCheck, true);
    view_->Show(kFastSlowCheck, true);
}

// ---- Auto debug -------------------------------------------------------------------------

void CRobotDlg::EndSweep() {
    view_->KillTimer(kSweepTimer);
    view_->SetText(kSweepButton, texts_.sweep);
    auto_.sweeping = false;
    view_->Enable(kStepButton, true);
}

void CRobotDlg::OnSweep() {
    const int interval = EditInt(kSweepDelayEdit);
    auto_.start = EditInt(kStartEdit);
    auto_.end = EditInt(kEndEdit);
    if (auto_.sweeping) {
        EndSweep();
        return;
    }
    auto_.sweeping = true;
    view_->SetText(kSweepButton, texts_.stop);
    view_->StartTimer(kSweepTimer, std::max(interval, kMinTimerMs));
    view_->Enable(kStepButton, false);
    OnTimer(kSweepTimer);
}

void CRobotDlg::OnStep() {
    const int interval = EditInt(kStepDelayEdit);
    auto_.ResetStep(EditInt(kStartEdit), EditInt(kEndEdit), EditInt(kStepEdit));
    if (auto_.stepping) {
        auto_.stepping = false;
        view_->SetText(kStepButton, texts_.step);
        view_->KillTimer(kStepTimer);
        view_->Enable(kSweepButton, true);
        return;
    }
    auto_.stepping = true;
    view_->SetText(kStepButton, texts_.stop);
    view_->Enable(kSweepButton, false);
    view_->StartTimer(kStepTimer, std::max(interval, kMinTimerMs));
}

void CRobotDlg::OnTimer(int id) {
    uint16_t goal;
    if (id == kSweepTimer && auto_.sweeping) {
        goal = auto_.SweepTick();
    } else if (id == kStepTimer && auto_.stepping) {
        goal = auto_.StepTick();
    } else {
        return;
    }
    const Motion m = ReadMotionEdits();
    SendGoal(goal, m.speed, m.time, m.acc, write_mode_);
}

// ---- Recording --------------------------------------------------------------------------

void CRobotDlg::ShowRows(int count) {
    record_failure_shown_ = false;  // rows were written
    SetInt(kRowsEdit, count > 0 ? count - 1 : count);
}

void CRobotDlg::ReportRecordFailure(bool recording_ended) {
    // While recording, once until a write succeeds again; at the end always, since the
    // rows not yet written are then given up.
    if (record_failure_shown_ && !recording_ended) return;
    record_failure_shown_ = true;
    std::string text = recording_ended ? texts_.record_lost : texts_.record_failed;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, recorder_.FileName());
    view_->ShowError(texts_.data_analysis, text);
}

void CRobotDlg::OnExport() {
    const int seconds = EditInt(kSecondsEdit);
    const std::string name = view_->Text(kFileEdit);
    if (recording_.load()) {
        recording_ = false;
        view_->SetText(kExportButton, texts_.record);
        view_->Enable(kEmptyButton, true);
        // Under the recorder's lock: a tick that saw the recording still on cannot slip a
        // sample in after the last write.
        const int n = recorder_.StopRecording();
        if (n != -1) {
            ShowRows(n);
        } else {
            ReportRecordFailure(true);  // -1 from the last write is always a failed write
        }
        return;
    }
    view_->SetText(kExportButton, texts_.stop_record);
    view_->Enable(kEmptyButton, false);
    // A time of 0 goes on with the previous batch size, file and divider.
    if (seconds != 0) {
        // Negative times count as their magnitude, so the divider is always at least 1.
        poll_divider_ = DataRecorder::PollDividerFor(seconds);
        ShowRows(recorder_.OpenRecord(DataRecorder::BatchSizeFor(seconds), name, "", "", true));
    }
    // Only now, so the first sample goes into the batch just set up, and the recording
    // begins with nothing left over from an earlier one.
    recorder_.StartRecording();
    recording_ = true;
}

void CRobotDlg::OnEmpty() {
    if (recording_.load()) return;  // the button is disabled while recording
    const int n = recorder_.EmptyRecord(view_->Text(kFileEdit));
    if (n != -1) ShowRows(n);
}
