// Firmware upload throughput to a simulated bus device at 500000 baud with wire time on,
// as a share of the wire limit (70 bytes out and 1 byte back per 64-byte block), and the
// communication test's reported reply time beside the wire time of its read.
//   upgrade_bench [BLOCKS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
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

// Runs posted work at once on the posting thread, so progress steps carry their real time.
struct ImmediateDispatcher : UiDispatcher {
    void Post(std::function<void()> fn) override {
        std::lock_guard g(m);
        fn();
    }
    std::mutex m;
};

struct TimingView : ServoTestView {
    void SetText(int c, const std::string& t) override {
        if (c == kResultEdit) result = t;
    }
    void Enable(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int p) override {
        const auto now = Clock::now();
        if (p == 1) first = now;
        if (p > 1) steps.push_back(std::chrono::duration<double>(now - last).count());
        last = now;
        position = p;
    }
    bool AskOpenFile(const std::string&, const std::string&, std::string& path) override {
        path = file;
        return true;
    }
    void ShowMessage(const std::string&, const std::string& t, bool) override {
        std::fprintf(stderr, "box: %s\n", t.c_str());
    }
    void UpgradeEnded(bool ok) override {
        done = true;
        succeeded = ok;
    }
    std::vector<double> steps;  // seconds between consecutive acknowledgements
    std::string file, result;
    Clock::time_point first, last;
    int position = 0;
    std::atomic<bool> done{false};
    bool succeeded = false;
};

}  // namespace

int main(int argc, char** argv) {
    const int blocks = argc > 1 ? ParseInteger(argv[1]).value_or(0) : 512;
    const std::string setup_dir = std::string(VEXA_RESOURCE_DIR) + "/setup";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vexa_upgrade_bench";
    std::filesystem::create_directories(dir);

    sim::SimBus bus;
    bus.SetWireTime(true);
    sim::ModelCatalog catalog(setup_dir);
    const sim::ModelIdentity low{3, 6, 0, 4, 0};
    bus.AddServo(catalog.Resolve(sim::Family::kServo, low, nullptr), {.id = 1});
    bus.AddServo(catalog.Resolve(sim::Family::kServo, low, nullptr), {.id = 2, .baud = 1000000});
    if (!bus.Start()) return 1;
    CQVComm comm;
    if (comm.OpenPort(bus.port_path()) != 1) return 1;
    comm.ConfigurePort(115200, 0, 25);
    Tervion tervion;
    tervion.Comm = &comm;
    Modbus modbus;
    modbus.Port = &comm;
    StringTable strings(false);
    SettingsStore settings(dir.string());
    ServoSetup setup(strings, settings);
    setup.SetFolders(setup_dir);
    BusLock lock;
    ImmediateDispatcher ui;
    TimingView view;
    CServoTest page(modbus, tervion, setup, lock, false, ui);
    page.InitDialog(&view);

    // Upload.
    view.file = (dir / "fw.bin").string();
    std::ofstream(view.file, std::ios::binary)
        << std::string(static_cast<size_t>(blocks) * 64, 'U');
    FoundServo servo;
    servo.record.set_id(1);
    page.SetServo(1, {&servo, 1}, 0, "");
    page.OnOpen();
    const auto start = Clock::now();
    page.OnUpgrade();
    while (!view.done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    page.Shutdown();
    if (!view.succeeded || view.position != blocks) return 1;
    // Blocks 2..N between the first and the last acknowledgement.
    const double measured = std::chrono::duration<double>(view.last - view.first).count();
    const double wire = (blocks - 1) * 71 * 10.0 / 500000;
    std::printf("upload: %d blocks (%d bytes) at 500000 baud\n", blocks, blocks * 64);
    std::printf(
        "  blocks 2..%d: %.3f s, wire limit %.3f s, share of the wire limit %.1f %% (mean)\n",
        blocks, measured, wire, 100.0 * wire / measured);
    // The machine is shared: the median block shows the exchange itself, the mean also
    // the scheduling stalls of a loaded machine (on the tool's and the simulator's side).
    std::vector<double> sorted = view.steps;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double block_wire = 71 * 10.0 / 500000;
    std::printf(
        "  per block: median %.0f us, wire %.0f us, share of the wire limit %.1f %% "
        "(median), p99 %.0f us\n",
        median * 1e6, block_wire * 1e6, 100.0 * block_wire / median,
        sorted[sorted.size() * 99 / 100] * 1e6);
    std::printf("  image throughput %.0f bytes/s (wire limit %.0f bytes/s)\n",
                (blocks - 1) * 64 / measured, 64 / (71 * 10.0 / 500000));
    std::printf("  whole exchange incl. entering the loader: %.3f s\n", total);

    // Communication test: reported reply time beside the read's wire time.
    DebugRow row{};
    const ServoInfo ident{3, 6, 0, 4, 0, 1, 0, 0, 1};
    setup.LookupDebugRow(setup.MainName(), ident.data(), row);
    const int length = row[5] - row[4] + 1;
    for (int baud : {115200, 1000000}) {
        comm.ConfigurePort(baud, 0, 25);
        const FoundServo servo{
            {3, 6, 0, 4, 0, static_cast<uint8_t>(baud == 115200 ? 1 : 2), 0, 0, 1}, kKindServo};
        page.SetServo(servo.record.id(), {&servo, 1}, 0, "");
        std::vector<long long> replies;
        const int passes = 50;
        for (int k = 0; k < passes; ++k) {
            const std::string line = page.RunPass();
            const size_t at = line.find("Response:");
            if (at != std::string::npos) replies.push_back(std::atoll(line.c_str() + at + 9));
        }
        if (replies.empty()) return 1;
        std::sort(replies.begin(), replies.end());
        const double reply_us = double(replies[replies.size() / 2]);
        const double wire_us = (8 + 6 + length) * 10 * 1e6 / baud;
        std::printf(
            "commtest at %d baud, %d-byte read: reply time %.0f us (median of %d), wire "
            "time %.0f us, ratio %.2f\n",
            baud, length, reply_us, passes, wire_us, reply_us / wire_us);
    }
    comm.ClosePort();
    bus.Stop();
    std::filesystem::remove_all(dir);
    return 0;
}
