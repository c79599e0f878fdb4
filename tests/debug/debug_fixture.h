#pragma once
// Shared pieces of the Debug page tests: a view that records what the page shows, a setup file with
// debug rows for every case, and fixtures that wire a page to a scripted port or to simulated
// servos.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_view.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tests/support/bus_frames.h"
#include "tests/support/byte_script.h"
#include "tests/support/control_flag.h"
#include "tests/support/demo_bus.h"
#include "tests/support/fake_port.h"
#include "tests/support/found_list.h"
#include "tests/support/test_folder.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"

namespace debug_test {

class FakeView : public RobotDlgView {
  public:
    void SetText(int c, const std::string& t) override { text[c] = t; }
    std::string Text(int c) const override {
        auto it = text.find(c);
        return it == text.end() ? std::string() : it->second;
    }
    void SetTextLimit(int c, int n) override { limit[c] = n; }
    void Enable(int c, bool e) override { enabled[c] = e; }
    void Show(int c, bool v) override { visible[c] = v; }
    void Check(int c, bool v) override { checked[c] = v; }
    bool IsChecked(int c) const override {
        auto it = checked.find(c);
        return it != checked.end() && it->second;
    }
    void SetSliderRange(int c, int lo, int hi) override {
        range[c] = {lo, hi};
        SetSliderPos(c, pos[c]);
    }
    void SetSliderPos(int c, int p) override {
        auto it = range.find(c);
        if (it != range.end()) p = std::max(it->second.first, std::min(p, it->second.second));
        pos[c] = p;
    }
    int SliderPos(int c) const override {
        auto it = pos.find(c);
        return it == pos.end() ? 0 : it->second;
    }
    void StartTimer(int id, int ms) override { timers[id] = ms; }
    void KillTimer(int id) override { timers.erase(id); }
    void ShowError(const std::string& caption, const std::string& message) override {
        errors.push_back(caption + ": " + message);
    }

    std::map<int, std::string> text;
    std::map<int, int> limit;
    std::map<int, ControlFlag> enabled, visible, checked;
    std::map<int, std::pair<int, int>> range;
    std::map<int, int> pos;
    std::map<int, int> timers;        // running window timers and their intervals
    std::vector<std::string> errors;  // error boxes shown, "caption: text"
};

inline std::vector<uint8_t> ModbusReply(uint8_t id, const std::vector<uint16_t>& regs) {
    std::vector<uint8_t> f = {id, 3, static_cast<uint8_t>(regs.size() * 2)};
    for (uint16_t r : regs) {
        f.push_back(r >> 8);
        f.push_back(r & 0xFF);
    }
    AppendModbusCrc(f);
    return f;
}

// Records of the found servos, in list order, each keyed to one debug row below.
enum Record : int {
    kServoA = 0,   // id 1, byte order 0: feedback 56..80, motion block 42, divisor 4
    kServoB,       // id 2, byte order 1 (same model)
    kServoC,       // id 3, byte order 0
    kDivisor1,     // id 1: feedback 56..70, divisor 1
    kEndBelow,     // id 1: feedback 56..50, divisor 1
    kPwm,          // id 4: PWM family, goal address 42
    kModbusServo,  // id 5: Modbus, speed scale 10
    kDivisor0,     // id 1: divisor 0
    kUnknown,      // no debug row
    kRecordCount
};

inline const ServoInfo* Records() {
    static const ServoInfo r[kRecordCount] = {
        {1, 5, 0, 9, 3, 1, 0, 0, 1}, {1, 5, 1, 9, 3, 2, 0, 0, 1}, {1, 5, 0, 9, 3, 3, 0, 0, 1},
        {2, 0, 0, 9, 3, 1, 0, 0, 1}, {3, 0, 0, 9, 3, 1, 0, 0, 1}, {4, 0, 0, 9, 3, 4, 0, 0, 1},
        {5, 0, 0, 9, 3, 5, 0, 0, 1}, {6, 0, 0, 9, 3, 1, 0, 0, 1}, {9, 0, 0, 9, 3, 1, 0, 0, 1},
    };
    return r;
}

// Rows between the code page 936 markers "[调试]" and "[调试结束]" of a setup file.
inline std::string DebugSection(const std::string& rows) {
    return "\x5B\xB5\xF7\xCA\xD4\x5D\n" + rows + "\x5B\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8\x5D\n";
}

inline std::string SetupFileText() {
    return "free text before the section\n" + DebugSection(
                                                  "1,0,10,0,56,80,42,4,5,0,40,0,0\n"
                                                  "1,0,10,1,56,80,42,4,5,0,40,0,0\n"
                                                  "2,0,10,0,56,70,42,1,10,0,40,0,0\n"
                                                  "3,0,10,0,56,50,42,1,10,0,40,0,0\n"
                                                  "4,0,10,0,56,80,0,1,10,42,40,0,0\n"
                                                  "5,0,10,0,0,0,0,1,10,0,0,0,0\n"
                                                  "6,0,10,0,56,80,42,0,10,0,40,0,0\n");
}

// A scratch working folder (the record file lands there) with the settings and the setup
// files, and a port of type Port with both protocol masters on it.
template <class Port>
class DebugRig : public ::testing::Test {
  protected:
    DebugRig() : dir_(folder_.path()) {
        folder_.Enter();
        settings_ = std::make_unique<SettingsStore>(dir_.string());
        setup_ = std::make_unique<ServoSetup>(StringTable(false), *settings_);
        setup_->SetFolders(dir_.string());
        tervion_.Comm = &comm_;
        modbus_.Port = &comm_;
    }

    TestFolder folder_;
    std::filesystem::path dir_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<ServoSetup> setup_;
    Port comm_;
    Tervion tervion_;
    Modbus modbus_;
    BusLock lock_;
};

// The real port, with every byte written also kept for the test.
class TapComm : public CQVComm {
  public:
    int WriteBytes(const uint8_t* buffer, int n) override {
        {
            std::lock_guard<std::mutex> g(m_);
            written_.insert(written_.end(), buffer, buffer + n);
        }
        return CQVComm::WriteBytes(buffer, n);
    }
    std::string Take() {
        std::lock_guard<std::mutex> g(m_);
        return HexOf(std::exchange(written_, {}));
    }

  private:
    std::mutex m_;
    std::vector<uint8_t> written_;
};

// Simulated servos on a pseudo-terminal behind the real port; the test adds the devices, then
// opens the line.
class SimLine : public DebugRig<TapComm> {
  protected:
    // Starts the bus and opens the port on it at 115200: "" or why not.
    std::string OpenLine() {
        const std::string error = StartedOrWhyNot(bus_);
        if (!error.empty()) return error;
        if (comm_.OpenPort(bus_.port_path()) != 1) return "the port did not open";
        comm_.ConfigurePort(115200, 0, 25);
        return "";
    }
    void TearDown() override {
        comm_.ClosePort();
        bus_.Stop();
    }

    sim::SimBus bus_;
};

class PageTest : public DebugRig<FakePort> {
  protected:
    void SetUp() override {
        // Each kind reads the file of its own kind; all three hold the same rows.
        for (const std::string& name :
             {setup_->MainName(), setup_->PwmName(), setup_->ModbusName()}) {
            folder_.Put(name, SetupFileText());
        }
        MakePage(false);
    }
    void TearDown() override { page_.reset(); }

    void MakePage(bool chinese) {
        page_.reset();
        view_ = FakeView();
        page_ = std::make_unique<CRobotDlg>(*setup_, modbus_, tervion_, lock_, chinese, ui_);
        page_->InitDialog(&view_);
        page_->Graph().InitCanvas(4000, 2000);  // the view sizes the canvas when shown
        page_->StopPolling();                   // tests drive PollTick themselves
        ui_.Drain();
    }

    // Selects a record the way the main window does (byte order first).
    void Select(int record, ServoKind kind = kKindServo, int count = 3) {
        tervion_.End = Records()[record][2];
        found_ = FoundList({Records(), static_cast<size_t>(std::max(count, record + 1))}, kind);
        page_->SelectServo(Records()[record][5], found_, record);
        comm_.Take();
    }

    // One poll with a scripted reply; runs what it posted to the window.
    void Poll(const std::vector<uint8_t>& reply) {
        comm_.Reply(reply);
        page_->PollTick();
        ui_.Drain();
    }

    std::string Shown(int control) const { return view_.Text(control); }
    // The feedback statics: position | speed | load | goal | current | voltage | temperature |
    // moving.
    std::string Statics() const {
        std::string line;
        for (int c : {kPositionStatic, kSpeedStatic, kTorqueStatic, kGoalStatic, kCurrentStatic,
                      kVoltageStatic, kTemperatureStatic, kMovingStatic})
            line += (line.empty() ? "" : " | ") + Shown(c);
        return line;
    }

    QueuedDispatcher ui_;
    FakeView view_;
    std::vector<FoundServo> found_;  // the page keeps a span of it
    std::unique_ptr<CRobotDlg> page_;
};

}  // namespace debug_test
