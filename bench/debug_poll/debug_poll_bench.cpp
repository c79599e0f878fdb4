// Period jitter of the Debug page's 50 ms feedback poll while the page and its chart repaint.
// The page runs for real: Qt view on the offscreen platform, the poll thread, a simulated
// servo on a pseudo-terminal that the slider keeps moving. The start of each tick is taken
// from the moment its read request reaches the port; jitter is |interval - 50 ms|.
//
//   debug_poll_bench [seconds per scenario, default 10] [--monitor]
//
// Scenarios: "paced" repaints once per poll result (the page's own redraw requests);
// "flooded" additionally repaints the chart as fast as the event loop allows; "zooming"
// turns the mouse wheel over the chart every 16 ms, in and out, as a user exploring the
// curves does. A bare 50 ms worker runs beside the page in all, to show what the loaded
// machine alone adds. With --monitor the port's transfers go to the bus monitor's log and
// its panel is open beside the page, refreshing ten times a second.
#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "app/bus_monitor_widget.h"
#include "app/qt_dispatcher_widget.h"
#include "bench/bench_args.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/debug/cpic_widget.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_view.h"
#include "pages/debug/robot_dlg_widget.h"
#include "platform/number_text.h"
#include "platform/periodic_worker.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

namespace {

using Clock = std::chrono::steady_clock;

// The port, noting when each feedback read request (instruction 2) starts going out.
class StampingComm : public CQVComm {
  public:
    int WriteBytes(const uint8_t* b, int n) override {
        if (n >= 5 && b[0] == 0xFF && b[1] == 0xFF && b[4] == 0x02) {
            std::lock_guard<std::mutex> g(m_);
            stamps_.push_back(Clock::now());
        }
        return CQVComm::WriteBytes(b, n);
    }
    std::vector<Clock::time_point> Take() {
        std::lock_guard<std::mutex> g(m_);
        return std::exchange(stamps_, {});
    }

  private:
    std::mutex m_;
    std::vector<Clock::time_point> stamps_;
};

struct Figures {
    double median_us, p99_us, max_us;
    size_t ticks;
    long paints;
};

Figures Measure(std::vector<Clock::time_point> stamps, long paints) {
    std::vector<double> jitter;
    if (std::getenv("VEXA_BENCH_TRACE")) {
        for (size_t i = 1; i < stamps.size(); ++i)
            std::printf(
                "%.0f ",
                std::chrono::duration<double, std::micro>(stamps[i] - stamps[i - 1]).count());
        std::printf("\n");
    }
    for (size_t i = 1; i < stamps.size(); ++i) {
        const double us =
            std::chrono::duration<double, std::micro>(stamps[i] - stamps[i - 1]).count();
        jitter.push_back(std::abs(us - 50000.0));
    }
    std::sort(jitter.begin(), jitter.end());
    if (jitter.empty()) return {0, 0, 0, 0, paints};
    auto at = [&](double q) {
        return jitter[std::min(jitter.size() - 1, size_t(q * jitter.size()))];
    };
    return {at(0.5), at(0.99), jitter.back(), jitter.size(), paints};
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto [seconds, monitor] = ParseBenchArgs(argc, argv, 10, 1);
    QApplication app(argc, argv);

    const auto dir = std::filesystem::temp_directory_path() / "vexa_debug_poll_bench";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    SettingsStore settings(dir.string());
    ServoSetup setup(StringTable(false), settings);
    setup.SetFolders(dir.string());
    std::ofstream(dir / setup.MainName(), std::ios::binary)
        << "\x5B\xB5\xF7\xCA\xD4\x5D\n3,0,20,0,56,72,41,1,10,0,40,0,0\n"
        << "\x5B\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8\x5D\n";

    sim::SimBus bus;
    bus.AddServo(sim::BuiltInServoModel(), {.id = 1});
    std::string error;
    if (!bus.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    StampingComm comm;
    if (!comm.OpenPort(bus.port_path())) return 1;
    comm.ConfigurePort(115200, 0, 25);
    Tervion tervion;
    Modbus modbus;
    tervion.Comm = &comm;
    modbus.Port = &comm;
    BusLock lock;
    QtUiDispatcher ui;

    TransferLog log;
    std::unique_ptr<BusMonitorWidget> panel;
    if (monitor) {
        log.Attach(comm);
        panel = std::make_unique<BusMonitorWidget>(log, false);
        panel->resize(900, 300);
        panel->show();
    }

    CRobotDlg page(setup, modbus, tervion, lock, false, ui);
    CRobotDlgWidget widget(page, false);
    widget.resize(960, 680);
    widget.show();
    page.Graph().SetChannels(0xFF);
    static const FoundServo found[] = {{{3, 10, 0, 9, 3, 1, 0, 0, 1}, kKindServo}};
    page.SelectServo(1, found, 0);

    // Keep the servo moving so every channel draws a changing curve.
    auto* slider = qobject_cast<QSlider*>(widget.Control(kGoalSlider));
    QTimer mover;
    int goal = 0;
    QObject::connect(&mover, &QTimer::timeout, [&] {
        goal = goal == 500 ? 3500 : 500;
        slider->setValue(goal);
    });
    mover.start(700);

    long paints = 0;
    struct PaintCounter : QObject {
        long* count;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++*count;
            return false;
        }
    } counter;
    counter.count = &paints;
    widget.Chart()->installEventFilter(&counter);

    // A bare 50 ms worker beside the page: its jitter is what the machine alone adds.
    std::mutex bare_m;
    std::vector<Clock::time_point> bare;
    PeriodicWorker bare_worker;
    bare_worker.Start(std::chrono::milliseconds(50), [&] {
        std::lock_guard<std::mutex> g(bare_m);
        bare.push_back(Clock::now());
    });
    auto take_bare = [&] {
        std::lock_guard<std::mutex> g(bare_m);
        return std::exchange(bare, {});
    };

    enum Scenario { kPaced, kFlooded, kZooming };
    auto run = [&](Scenario scenario) {
        QTimer flooder;
        QObject::connect(&flooder, &QTimer::timeout, [&] { widget.Chart()->repaint(); });
        if (scenario == kFlooded) flooder.start(0);
        QTimer zoomer;
        int notch = 0;
        QObject::connect(&zoomer, &QTimer::timeout, [&] {
            // Eight notches in, eight out, around different points of the chart.
            const int x = widget.Chart()->width() * (1 + notch % 3) / 4;
            widget.Chart()->WheelAt(x, (notch / 8) % 2 == 0 ? 1 : -1);
            ++notch;
        });
        if (scenario == kZooming) zoomer.start(16);
        paints = 0;
        comm.Take();
        take_bare();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 50);
        flooder.stop();
        zoomer.stop();
        return std::make_pair(Measure(comm.Take(), paints), Measure(take_bare(), 0));
    };

    run(kPaced);  // warm-up: first samples, canvas set up
    std::printf("debug poll jitter, %d s per scenario, |interval - 50 ms| in microseconds%s\n",
                seconds, monitor ? ", bus monitor open" : "");
    for (Scenario scenario : {kPaced, kFlooded, kZooming}) {
        const auto [f, b] = run(scenario);
        static const char* const kNames[] = {"paced", "flooded", "zooming"};
        std::printf("%-8s poll ticks %4zu  chart paints %6ld  median %7.1f  p99 %7.1f  max %7.1f\n",
                    kNames[scenario], f.ticks, f.paints, f.median_us, f.p99_us, f.max_us);
        std::printf("%-8s bare worker ticks %4zu            median %7.1f  p99 %7.1f  max %7.1f\n",
                    "", b.ticks, b.median_us, b.p99_us, b.max_us);
    }
    bare_worker.Stop();
    page.StopPolling();
    comm.ClosePort();
    bus.Stop();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir);
    return 0;
}
