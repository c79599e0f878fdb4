// The all-rate discovery over the simulated spread bus with wire time on: the whole pass
// (14 rates, ids 0-253) beside its wire floor, the sum over every request sent of its
// bytes plus the first reply byte at its rate, and the margin every empty probe adds;
// then single-rate passes at 1000000 and 115200 beside the servo search at the same rate
// with the main window's extra time-out of 25 ms.
//
//     discovery_bench [MARGIN_MS]      (default: the discovery's own margin)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/discovery.h"
#include "app/servo_search.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/number_text.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "protocol/tervion.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pass {
    double seconds = 0;
    long requests = 0;
    double floor_s = 0;
    int devices = 0;
    int garbled = 0;
    std::string finds;  // "id@rate" of each, garbled ones marked with '!'
};

Pass Discover(CQVComm& comm, ServoSetup& setup, BusLock& lock, std::vector<int> rates,
              int margin_ms) {
    Discovery d(comm, &setup, lock);
    Pass p;
    d.on_find = [&](const DiscoveryFind& f) {
        ++(f.garbled ? p.garbled : p.devices);
        p.finds += " " + std::to_string(f.id) + (f.garbled ? "!@" : "@") + std::to_string(f.baud);
    };
    DiscoveryOptions o;
    o.rates = std::move(rates);
    o.margin_ms = margin_ms;
    const auto start = Clock::now();
    d.Run(o);
    p.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    p.requests = d.requests();
    p.floor_s = d.floor_us() / 1e6;
    return p;
}

// The servo search's probes over all 254 ids at one rate, the port's time-out being the
// byte-time term plus the extra milliseconds.
double Search(CQVComm& comm, ServoSetup& setup, BusLock& lock, int baud, int extra_ms, int& found) {
    Tervion t;
    t.Comm = &comm;
    Modbus m;
    m.Port = &comm;
    comm.ConfigurePort(baud, 0, extra_ms);
    ServoSearch search(t, m, &setup, lock);
    found = 0;
    const auto start = Clock::now();
    for (int step = 0; step < ServoSearch::kSteps; ++step)
        found += search.Probe(ServoSearch::IdAt(step)) ? 1 : 0;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int margin_ms =
        argc > 1 ? ParseInteger(argv[1]).value_or(0) : Discovery::kDefaultMarginMs;
    const std::string setup_dir = std::string(VEXA_RESOURCE_DIR) + "/setup";
    sim::SimBus bus;
    bus.SetWireTime(true);
    sim::ModelCatalog catalog(setup_dir);
    sim::AddDevices(bus, catalog, sim::SpreadDemoDevices(), nullptr);
    if (!bus.Start()) return 1;
    CQVComm comm;
    if (comm.OpenPort(bus.port_path()) != 1) return 1;
    comm.ConfigurePort(115200, 0, 25);
    StringTable strings(false);
    SettingsStore settings(
        (std::filesystem::temp_directory_path() / "vexa_discovery_bench").string());
    ServoSetup setup(strings, settings);
    setup.SetFolders(setup_dir);
    BusLock lock;

    std::printf("spread bus: 8 devices at 5 rates, two of them sharing id 3 at 57600\n");
    std::printf("margin %d ms\n\n", margin_ms);

    const Pass all = Discover(comm, setup, lock, {}, margin_ms);
    const double margins = all.requests * margin_ms / 1000.0;
    const double goal = 1.3 * (all.floor_s + margins);
    std::printf("all 14 rates, ids 0-253: %ld requests\n", all.requests);
    std::printf("  wire floor            %8.2f s\n", all.floor_s);
    std::printf("  requests x margin     %8.2f s\n", margins);
    std::printf(
        "  measured              %8.2f s  (%.2f x floor + margins; goal <= 1.30 x, "
        "%.2f s)\n",
        all.seconds, all.seconds / (all.floor_s + margins), goal);
    std::printf("  found %d devices, %d garbled id(s)  (expected 6 and 1):%s\n", all.devices,
                all.garbled, all.finds.c_str());
    std::printf("  whole pass under 60 s: %s\n\n", all.seconds < 60 ? "yes" : "NO");

    std::printf("one rate, ids 0-253     discovery      search (extra 25 ms)\n");
    for (int baud : {1000000, 115200}) {
        const Pass one = Discover(comm, setup, lock, {baud}, margin_ms);
        int found = 0;
        const double search_s = Search(comm, setup, lock, baud, 25, found);
        std::printf("  %7d              %6.2f s (%d)    %6.2f s (%d)\n", baud, one.seconds,
                    one.devices, search_s, found);
    }
    comm.ClosePort();
    bus.Stop();
    return all.devices == 6 && all.garbled == 1 ? 0 : 1;
}
