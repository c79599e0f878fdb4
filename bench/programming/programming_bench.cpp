// The Programming page's refresh: the time of one tick against a simulated VX40 with wire
// time on, at 115200 and 1000000 baud, beside the wire time of its requests and replies;
// and the user-interface time to apply a tick to a 254-row table on screen (offscreen
// platform) when 5 cells changed and when all changed.
//
//   programming_bench [ticks per scenario, default 200] [--monitor]
// With --monitor the port's transfers go to the bus monitor's log and the panel's logic
// refreshes from it ten times a second while the ticks run, as with the panel open.
#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/servo_main.h"
#include "bench/bench_args.h"
#include "bench/headless_monitor.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "pages/programming/servo_pg.h"
#include "pages/programming/servo_pg_widget.h"
#include "platform/number_text.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"

namespace {

using Clock = std::chrono::steady_clock;

class NoServices : public MainWindowServices {
  public:
    void SetStatusText(const std::string&) override {}
    bool ReadServoIdentity(int, uint8_t[5], ServoKind) override { return false; }
    int CompareServoModel(int, const uint8_t[5], ServoKind) override { return 1; }
    bool IdInUse(int) override { return false; }
    int FollowBaudChange(int, int, ServoKind) override { return 0; }
    void ServoIdChanged(int, int) override {}
};

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Stats {
    double median, p99;
};
Stats Summary(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// A setup file whose table fills the page: 253 one-byte SRAM rows at 0..252.
std::string WideSetupFolder() {
    const auto dir = std::filesystem::temp_directory_path() / "vexa_pg_bench_setup";
    std::filesystem::create_directories(dir);
    std::ofstream f(dir / "setup_en.log", std::ios::binary);
    f << "\x5B\xC4\xDA\xB4\xE6\x5D\n3,0,20,255\n";
    for (int a = 0; a < 253; ++a) f << a << ",P" << a << ",1,0,-1,SRAM,rw,-1,-1\n";
    f << "NULL\n\x5B\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8\x5D\n";
    return dir.string();
}

struct Rig {
    static sim::SimConfig Config(bool wire) {
        sim::SimConfig c;
        c.wire_time = wire;
        return c;
    }
    Rig(const std::string& setup_dir, int baud, bool wire) : bus(Config(wire)) {
        const sim::ModelCatalog catalog(setup_dir);
        bus.AddServo(catalog.Resolve(sim::Family::kServo, sim::ModelIdentity{3, 6, 0, 4, 0}),
                     {.id = 1, .baud = baud});
        bus.Start();
        comm.OpenPort(bus.port_path());
        comm.ConfigurePort(baud, 0, 25);
        tervion.Comm = &comm;
        modbus.Port = &comm;
        setup.SetFolders(setup_dir);
        page.SelectServo(1, ServoInfo{3, 6, 0, 4, 0, 1, 4, 0, 1}, kKindServo);
        page.RefreshTick();  // loads the table
        ui.Drain();
    }
    ~Rig() { bus.Stop(); }

    sim::SimBus bus;
    CQVComm comm;
    Tervion tervion;
    Modbus modbus;
    BusLock lock;
    SettingsStore settings{(std::filesystem::temp_directory_path() / "vexa_pg_bench").string()};
    ServoSetup setup{StringTable(false), settings};
    NoServices services;
    QueuedDispatcher ui;
    CServoPG page{setup, lock, modbus, tervion, services, false, ui};
};

void TickTime(int baud, int ticks, bool monitor) {
    Rig rig(std::string(VEXA_RESOURCE_DIR) + "/setup", baud, true);
    HeadlessMonitor monitor_panel;
    if (monitor) monitor_panel.Start(rig.comm);
    // Wire time of the tick's reads: 8-byte request and (6 + n)-byte reply per area.
    const pg::AreaLayout l = rig.page.Layout();
    double bytes = 0;
    for (int a : {pg::kEprom1, pg::kSram1, pg::kEprom, pg::kSram, pg::kDefault})
        if (l.area[a].length) bytes += 8 + 6 + l.area[a].length;
    const double wire_us = bytes * 10.0 / baud * 1e6;
    std::vector<double> t;
    for (int i = 0; i < ticks; ++i) {
        const auto start = Clock::now();
        rig.page.RefreshTick();
        t.push_back(Us(Clock::now() - start));
        rig.ui.Drain();
    }
    monitor_panel.Stop();
    const Stats s = Summary(t);
    std::printf(
        "tick %7d baud%s: wire %8.0f us, tick median %8.0f us p99 %8.0f us, "
        "median / (1.2 wire + 1 ms) = %.2f\n",
        baud, monitor ? " (bus monitor open)" : "", wire_us, s.median, s.p99,
        s.median / (1.2 * wire_us + 1000.0));
}

void ApplyTime(int changed, int ticks) {
    Rig rig(WideSetupFolder(), 1000000, false);
    CServoPGWidget widget(rig.page);
    widget.resize(820, 560);
    widget.show();
    rig.page.SelectServo(1, ServoInfo{3, 6, 0, 4, 0, 1, 4, 0, 1}, kKindServo);
    rig.page.RefreshTick();
    rig.ui.Drain();
    QApplication::processEvents();
    std::vector<double> t;
    for (int i = 0; i < ticks; ++i) {
        rig.bus.WithServo(1, [&](sim::InstructionServo& s) {
            for (int k = 0; k < changed; ++k) {
                const int a = changed == 253 ? k : 20 + 40 * k;
                s.Poke(a, static_cast<uint8_t>(i + k + 1));
            }
        });
        rig.page.RefreshTick();
        const auto start = Clock::now();
        rig.ui.Drain();  // the tick's result applied on this (the user-interface) thread
        t.push_back(Us(Clock::now() - start));
        QApplication::processEvents();
    }
    const Stats s = Summary(t);
    std::printf("apply %3d changed cells of %d rows: median %6.1f us p99 %6.1f us\n", changed,
                widget.RowCount(), s.median, s.p99);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const auto [ticks, monitor] = ParseBenchArgs(argc, argv, 200, 10);
    TickTime(115200, ticks, monitor);
    TickTime(1000000, ticks, monitor);
    ApplyTime(5, ticks);
    ApplyTime(253, ticks);
    return 0;
}
