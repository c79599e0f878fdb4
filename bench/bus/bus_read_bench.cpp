// Nine-byte Read transactions against the in-process bus simulator over a pseudo-terminal:
// transactions per second, median and 99th-percentile microseconds, first without wire
// time (the software's own cost on both sides) and then with the wire time of 1000000
// baud, next to the pure wire time of the 23 bytes (8 request + 15 reply).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/tervion.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"

namespace {

constexpr int kBaud = 1000000;

struct Figures {
    double per_second;
    double median_us;
    double p99_us;
    int failures;
};

Figures Measure(Tervion& t, int rounds) {
    uint8_t record[9];
    for (int i = 0; i < 100; ++i) t.Read(1, 0, record, 9);  // warm-up
    std::vector<double> us;
    us.reserve(static_cast<size_t>(rounds));
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto a = std::chrono::steady_clock::now();
        if (t.Read(1, 0, record, 9) != 9) ++failures;
        const auto b = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(b - a).count());
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::sort(us.begin(), us.end());
    return {rounds / total, us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)],
            failures};
}

void Print(const char* label, const Figures& f) {
    std::printf("%-22s %9.0f transactions/s   median %8.1f us   p99 %8.1f us   failures %d\n",
                label, f.per_second, f.median_us, f.p99_us, f.failures);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;
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

    std::printf("Read of 9 bytes from address 0, %d transactions each, %d baud\n", rounds, kBaud);
    bus.SetWireTime(false);
    Print("wire time off", Measure(t, rounds));
    bus.SetWireTime(true);
    Print("wire time on", Measure(t, std::max(100, rounds / 2)));
    std::printf("%-22s %9.0f transactions/s   %8.1f us\n", "pure wire time (23 B)",
                kBaud / (23.0 * 10.0), 23.0 * 10.0 * 1e6 / kBaud);
    bus.Stop();
    return 0;
}
