#pragma once
// The Programming page wired to simulated servos of the sample models on a pseudo-terminal:
// a view that records what the page shows, main-window services that record what the page
// asks of them, and frames built independently of the protocol code.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/servo_identity.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "pages/programming/servo_pg.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tests/app/shared_objects.h"
#include "tests/support/bus_frames.h"
#include "tests/support/demo_bus.h"
#include "tests/support/test_folder.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "transport/bus_rates.h"
#include "transport/cqv_comm.h"

namespace pg_test {

using Bytes = std::vector<uint8_t>;

// A Modbus "write single register" request with its CRC.
inline Bytes WriteReg(uint8_t id, uint16_t reg, uint16_t value) {
    Bytes f = {id,
               6,
               static_cast<uint8_t>(reg >> 8),
               static_cast<uint8_t>(reg),
               static_cast<uint8_t>(value >> 8),
               static_cast<uint8_t>(value)};
    AppendModbusCrc(f);
    return f;
}

class FakeView : public ServoPGView {
  public:
    void SetText(int c, const std::string& t) override { text[c] = t; }
    std::string Text(int c) const override { return text.count(c) ? text.at(c) : ""; }
    void Enable(int c, bool e) override { enabled[c] = e; }
    void Show(int c, bool v) override { visible[c] = v; }
    void SetColumns(const std::array<std::string, 5>& t, const std::array<int, 5>&) override {
        titles = t;
    }
    void SetRows(const std::vector<PgRow>& r) override {
        rows = r;
        ++rebuilds;
    }
    void SetValues(const std::vector<std::pair<int, std::string>>& changed) override {
        for (const auto& [row, t] : changed) rows.at(row)[2] = t;
        last_changed = changed.size();
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::string CellText(int r, int c) const override { return rows.at(r).at(c); }
    int SelectionMark() const override { return mark; }
    bool IsRowSelected(int r) const override { return r == mark && selected; }
    void ShowMessage(const std::string& caption, const std::string& t, PgIcon icon) override {
        boxes.push_back((icon == PgIcon::kError ? "E " : "! ") + caption + ": " + t);
    }
    std::string AskSavePath(const std::string& f, const std::string&) override {
        filter = f;
        return path;
    }
    std::string AskOpenPath(const std::string& f, const std::string&) override {
        filter = f;
        return path;
    }
    void SetBusy(bool b) override { busy_calls += b ? 1 : 0; }

    int Find(const std::string& name) const {
        for (size_t r = 0; r < rows.size(); ++r)
            if (rows[r][1] == name) return static_cast<int>(r);
        return -1;
    }
    std::string Value(const std::string& name) const { return rows.at(Find(name))[2]; }

    std::map<int, std::string> text;
    std::map<int, bool> enabled, visible;
    std::array<std::string, 5> titles;
    std::vector<PgRow> rows;
    size_t last_changed = 0;
    int rebuilds = 0;
    int mark = -1;
    bool selected = true;
    std::vector<std::string> boxes;
    std::string path, filter;
    int busy_calls = 0;
};

class FakeServices : public MainWindowServices {
  public:
    FakeServices(ServoSetup& s, Tervion& t, Modbus& m, BusLock& l, CQVComm& c)
        : setup(s), tervion(t), modbus(m), lock(l), comm(c) {}
    void SetStatusText(const std::string&) override {}
    bool ReadServoIdentity(int id, uint8_t identity[5], ServoKind kind) override {
        return ReadIdentityFromBus(tervion, modbus, lock, id, identity, kind);
    }
    int CompareServoModel(int id, const uint8_t identity[5], ServoKind kind) override {
        return CompareModelOnBus(setup, tervion, modbus, lock, id, identity, kind);
    }
    bool IdInUse(int id) override { return in_use.count(id) != 0; }
    // Follows like the main window, through the same rate table.
    int FollowBaudChange(int index, int parity, ServoKind kind) override {
        followed.push_back({index, parity, kind});
        return bus_rates::FollowServoRate(comm, lock, index, parity, kind == kKindModbus);
    }
    void ServoIdChanged(int old_id, int new_id) override { ids.push_back({old_id, new_id}); }

    ServoSetup& setup;
    Tervion& tervion;
    Modbus& modbus;
    BusLock& lock;
    CQVComm& comm;
    std::set<int> in_use;
    std::vector<std::array<int, 3>> followed;
    std::vector<std::pair<int, int>> ids;
};

// Servos 1 and 2 (VX40), 3 (VX62), 5 (VXP9) and Modbus servo 6 (VXM8), all at 115200. The
// settings and the files a test saves go to the shared objects' folder.
class PgTest : public ::testing::Test, protected SharedObjects {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartFiveServoBus(bus), "");
        ASSERT_TRUE(comm.OpenPort(bus.port_path()));
        comm.ConfigurePort(115200, 0, 25);
        services = std::make_unique<FakeServices>(setup, tervion, modbus, lock, comm);
        page = std::make_unique<CServoPG>(setup, lock, modbus, tervion, *services, false, ui);
        page->InitDialog(&view);
    }
    void TearDown() override {
        page.reset();
        bus.Stop();
    }

    // Selects a servo as the main window does, then runs one refresh.
    void Select(int id, const ServoInfo& record, ServoKind kind) {
        tervion.End = record[2];
        tervion.Level = record[8];
        page->SelectServo(id, record, kind);
        Tick();
    }
    void Tick() {
        page->RefreshTick();
        ui.Drain();
    }
    // Clicks the row, types text into edit 1277 and presses button 1278.
    bool Write(const std::string& name, const std::string& text) {
        view.mark = view.Find(name);
        page->OnRowClicked(view.mark);
        view.SetText(kValueEdit, text);
        return page->OnValueButton();
    }
    std::vector<Bytes> Sent() { return bus.TakeRequests(); }
    uint8_t Peek(int id, int address) {
        uint8_t v = 0;
        bus.WithServo(id, [&](sim::InstructionServo& s) { v = s.Peek(address); });
        return v;
    }
    uint16_t Reg(int id, int address) {
        uint16_t v = 0;
        bus.WithModbusServo(id, [&](sim::ModbusServo& s) { v = s.Register(address); });
        return v;
    }

    static constexpr ServoInfo kVx40_1 = {3, 6, 0, 4, 0, 1, 4, 0, 1};
    static constexpr ServoInfo kVx40_2 = {3, 6, 0, 4, 0, 2, 4, 0, 1};
    static constexpr ServoInfo kVx62_3 = {5, 2, 1, 6, 2, 3, 4, 0, 1};
    static constexpr ServoInfo kVxp9_5 = {7, 1, 0, 9, 255, 5, 5, 255, 1};
    static constexpr ServoInfo kVxm8_6 = {2, 10, 1, 8, 5, 6, 2, 255, 1};

    sim::SimBus bus;
    std::unique_ptr<FakeServices> services;
    QueuedDispatcher ui;
    FakeView view;
    std::unique_ptr<CServoPG> page;
};

}  // namespace pg_test
