// Nine-byte Read transactions against the in-process bus simulator over a pseudo-terminal,
// next to the floor of the same exchange: a bare round trip of the same bytes over a
// pseudo-terminal (8 bytes out, 15 back) with a thread answering at once. The two run in
// interleaved pairs so that a busy machine weighs on both alike; the figures are median and
// 99th-percentile microseconds and their ratios to the floor's. Last, the simulator with the
// wire time of 1000000 baud, next to the pure wire time of the 23 bytes.
//
//   bus_read_bench [transactions per run, default 1000] [--monitor]
//
// With --monitor every transfer is recorded into the bus monitor's log, and a thread in
// the panel's place takes and decodes the new rows ten times a second.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_args.h"
#include "bench/headless_monitor.h"
#include "platform/number_text.h"
#include "protocol/tervion.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"
#include "transport/line_settings.h"
#include "transport/transfer_log.h"

namespace {

constexpr int kBaud = 1000000;
constexpr int kPairs = 15;
using Clock = std::chrono::steady_clock;

struct Figures {
    double per_second = 0;
    double median_us = 0;
    double p99_us = 0;
    int failures = 0;
};

Figures Summarise(std::vector<double> us, double seconds, int failures) {
    std::sort(us.begin(), us.end());
    Figures f;
    f.per_second = static_cast<double>(us.size()) / seconds;
    f.median_us = us[us.size() / 2];
    f.p99_us = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    f.failures = failures;
    return f;
}

// Runs `rounds` timed calls of `once` (true on success), appending each time in us.
template <class F>
void Time(F&& once, int rounds, std::vector<double>& us, double& seconds, int& failures) {
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto a = Clock::now();
        if (!once()) ++failures;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
    }
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: a raw pseudo-terminal whose far end a thread serves with 15 bytes for every 8
// it reads, and a near end that writes 8 bytes and waits for the 15.
class BareRoundTrip {
  public:
    bool Open() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) return false;
        near_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (near_ < 0) return false;
        // The same raw line the tool sets up on its port.
        termios2 t{};
        if (::ioctl(near_, TCGETS2, &t) != 0) return false;
        line_settings::MakeRawLine(t, kBaud, 0);
        if (::ioctl(near_, TCSETS2, &t) != 0) return false;
        answer_ = std::thread([this] { Serve(); });
        return true;
    }
    ~BareRoundTrip() {
        stop_ = true;
        if (near_ >= 0) {
            const uint8_t wake[8] = {};
            (void)!::write(near_, wake, sizeof wake);
        }
        if (answer_.joinable()) answer_.join();
        if (near_ >= 0) ::close(near_);
        if (master_ >= 0) ::close(master_);
    }

    bool Once() {
        static const uint8_t request[8] = {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF};
        if (::write(near_, request, sizeof request) != 8) return false;
        uint8_t reply[64];
        int got = 0;
        while (got < 15) {
            pollfd p{near_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) return false;
            const ssize_t r = ::read(near_, reply + got, sizeof reply - got);
            if (r > 0) got += static_cast<int>(r);
        }
        return got == 15;
    }

  private:
    void Serve() {
        uint8_t reply[15] = {0xFF, 0xFF, 0x01, 0x0B, 0x00};
        uint8_t in[64];
        int have = 0;
        while (!stop_) {
            const ssize_t r = ::read(master_, in, sizeof in);
            if (r <= 0) break;
            have += static_cast<int>(r);
            while (have >= 8) {
                have -= 8;
                if (::write(master_, reply, sizeof reply) != 15) return;
            }
        }
    }

    int master_ = -1;
    int near_ = -1;
    std::atomic<bool> stop_{false};
    std::thread answer_;
};

void Print(const char* label, const Figures& f) {
    std::printf("%-24s %9.0f transactions/s   median %7.1f us   p99 %7.1f us   failures %d\n",
                label, f.per_second, f.median_us, f.p99_us, f.failures);
}

}  // namespace

int main(int argc, char** argv) {
    const auto [rounds, monitor] = ParseBenchArgs(argc, argv, 1000, 100);
    sim::SimBus bus;
    sim::ServoSettings servo;
    servo.id = 1;
    servo.baud = kBaud;
    bus.AddServo(sim::BuiltInServoModel(), servo);
    std::string error;
    if (!bus.Start(&error)) {
        std::fprintf(stderr, "simulator did not start: %s\n", error.c_str());
        return 1;
    }
    CQVComm port;
    if (!port.OpenPort(bus.port_path())) {
        std::fprintf(stderr, "cannot open %s\n", bus.port_path().c_str());
        return 1;
    }
    port.ConfigurePort(kBaud, 0, 25);
    Tervion t;
    t.Comm = &port;
    BareRoundTrip floor;
    if (!floor.Open()) {
        std::fprintf(stderr, "cannot open a bare pseudo-terminal\n");
        return 1;
    }

    HeadlessMonitor monitor_panel;
    if (monitor) monitor_panel.Start(port);

    uint8_t record[9];
    auto read = [&] { return t.Read(1, 0, record, 9) == 9; };
    auto bare = [&] { return floor.Once(); };
    bus.SetWireTime(false);
    for (int i = 0; i < 200; ++i) {
        read();
        bare();
    }

    std::printf("Read of 9 bytes from address 0, %d pairs of %d transactions, %d baud%s\n", kPairs,
                rounds, kBaud, monitor ? ", bus monitor recording" : "");
    std::vector<double> sim_us, floor_us;
    double sim_s = 0, floor_s = 0;
    int sim_fail = 0, floor_fail = 0;
    // Each pair's own ratio as well: a burst of load on the machine then spoils one pair,
    // not the comparison.
    std::vector<double> pair_ratios;
    for (int pair = 0; pair < kPairs; ++pair) {
        const size_t f0 = floor_us.size(), s0 = sim_us.size();
        Time(bare, rounds, floor_us, floor_s, floor_fail);
        Time(read, rounds, sim_us, sim_s, sim_fail);
        std::vector<double> f(floor_us.begin() + f0, floor_us.end());
        std::vector<double> r(sim_us.begin() + s0, sim_us.end());
        std::nth_element(f.begin(), f.begin() + f.size() / 2, f.end());
        std::nth_element(r.begin(), r.begin() + r.size() / 2, r.end());
        pair_ratios.push_back(r[r.size() / 2] / f[f.size() / 2]);
    }
    std::sort(pair_ratios.begin(), pair_ratios.end());
    const Figures f = Summarise(floor_us, floor_s, floor_fail);
    const Figures s = Summarise(sim_us, sim_s, sim_fail);
    Print("floor (bare pty, 8/15 B)", f);
    Print("Read, wire time off", s);
    std::printf("ratio to floor           median %.2f (goal <= 1.15)   p99 %.2f (goal <= 1.50)\n",
                s.median_us / f.median_us, s.p99_us / f.p99_us);
    std::printf("median ratio per pair    lowest %.2f   middle %.2f   highest %.2f\n",
                pair_ratios.front(), pair_ratios[pair_ratios.size() / 2], pair_ratios.back());

    bus.SetWireTime(true);
    std::vector<double> wire_us;
    double wire_s = 0;
    int wire_fail = 0;
    Time(read, std::max(100, rounds / 2), wire_us, wire_s, wire_fail);
    Print("Read, wire time on", Summarise(wire_us, wire_s, wire_fail));
    std::printf("%-24s %9.0f transactions/s   %8.1f us\n", "pure wire time (23 B)",
                kBaud / (23.0 * 10.0), 23.0 * 10.0 * 1e6 / kBaud);
    monitor_panel.Stop();
    if (monitor) {
        // What recording adds to each transfer on the bus thread, apart from the line.
        TransferLog alone;
        const uint8_t reply[15] = {0xFF, 0xFF, 0x01, 0x0B, 0x00};
        constexpr int kRecords = 1000000;
        const auto a = Clock::now();
        for (int i = 0; i < kRecords; ++i) alone.Record(i % 2 == 0, reply, 8 + i % 8);
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - a).count();
        std::printf("%-24s %9.0f ns per transfer\n", "recording a transfer", ns / kRecords);
    }
    monitor_panel.Stop();
    bus.Stop();
    return 0;
}
