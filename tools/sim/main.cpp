// vexa-sim: serves simulated bus devices on a pseudo-terminal until SIGINT or SIGTERM
// (or the end of standard input with --exit-on-eof). The first output line is the port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/install_paths.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_control.h"
#include "tools/sim/sim_options.h"

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
    const char b = 1;
    [[maybe_unused]] ssize_t ignored = write(g_signal_pipe[1], &b, 1);
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string error;
    if (!sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, &error)) {
        std::fprintf(stderr, "vexa-sim: %s\n%s", error.c_str(), sim::UsageText());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::UsageText(), stdout);
        return 0;
    }
    std::vector<sim::DeviceOption> devices = options.devices;
    if (options.demo) {
        for (const sim::DeviceOption& d : sim::DemoDevices()) devices.push_back(d);
    }
    if (options.demo_spread) {
        for (const sim::DeviceOption& d : sim::SpreadDemoDevices()) devices.push_back(d);
    }
    const bool any_demo = options.demo || options.demo_spread;
    if (devices.empty() && !options.open_device) {
        std::fprintf(stderr, "vexa-sim: no devices (give --servo, --modbus, --pwm or --demo)\n%s",
                     sim::UsageText());
        return 2;
    }

    if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string setup_dir = options.setup_dir;
    if (setup_dir.empty() && any_demo) {
        // The sample setup files describe the demo's models: those installed beside the
        // program, else those of the source tree it was built from.
        const std::string installed = InstalledDataDir();
#ifdef VEXA_RESOURCE_DIR
        const std::string source_tree = std::string(VEXA_RESOURCE_DIR) + "/setup";
#else
        const std::string source_tree;
#endif
        for (const std::string& samples :
             {installed.empty() ? std::string() : installed + "/setup", source_tree}) {
            if (!samples.empty() && access((samples + "/setup_en.log").c_str(), R_OK) == 0) {
                setup_dir = samples;
                break;
            }
        }
    }
    sim::SimBus bus(options.config);
    sim::ModelCatalog catalog(setup_dir);
    std::vector<std::string> notes;
    sim::AddDevices(bus, catalog, devices, &notes);
    if (options.open_device) bus.AddOpenDevice();
    if (any_demo) bus.AddPwmAdapter();  // the PWM page's signal generator at id 253
    if (!bus.Start(&error)) {
        std::fprintf(stderr, "vexa-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", bus.port_path().c_str());
    std::fflush(stdout);
    for (const std::string& n : notes) std::fprintf(stderr, "vexa-sim: %s\n", n.c_str());

    bool stdin_open = true;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{g_signal_pipe[0], POLLIN, 0}, {stdin_open ? 0 : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[0].revents) break;
        if (fds[1].revents) {
            char buffer[512];
            const ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0) {
                stdin_open = false;
                if (options.exit_on_eof) break;
                continue;
            }
            pending.append(buffer, static_cast<size_t>(n));
            size_t nl;
            bool quit = false;
            while ((nl = pending.find('\n')) != std::string::npos) {
                const std::string reply = sim::ExecuteControl(bus, pending.substr(0, nl));
                pending.erase(0, nl + 1);
                std::printf("%s\n", reply.c_str());
                std::fflush(stdout);
                quit = quit || reply == "bye";
            }
            if (quit) break;
            if (pending.size() > 4096) pending.clear();
        }
    }
    bus.Stop();
    return 0;
}
