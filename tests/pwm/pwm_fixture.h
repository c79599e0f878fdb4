#pragma once
// The PWM page wired to a simulated bus with the signal adapter at id 253: the bytes the
// page sends are recorded by the bus, the signal it programs by the adapter.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pages/pwm/servo_pwm.h"
#include "platform/bus_lock.h"
#include "protocol/tervion.h"
#include "tests/support/byte_script.h"
#include "tests/support/wait_until.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"

class PwmBus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Start());
        ASSERT_EQ(comm_.OpenPort(bus_.port_path()), 1);
        comm_.ConfigurePort(115200, 0, 25);
        tervion_.Comm = &comm_;
        bus_.RecordRequests(true);
    }
    void TearDown() override {
        comm_.ClosePort();
        bus_.Stop();
    }

    // The requests seen since the last call, as hex lines.
    std::vector<std::string> Sent() {
        std::vector<std::string> lines;
        for (const auto& r : bus_.TakeRequests()) lines.push_back(HexOf(r));
        return lines;
    }
    // Waits until the bus has seen n requests in all (writes without a status reply are not
    // waited for by the page).
    void AwaitRequests(long n) {
        WaitUntil([&] { return bus_.requests_seen() >= n; }, std::chrono::seconds(2));
    }
    // The pulse widths the adapter was programmed with, repeats of one value merged.
    std::vector<int> Pulses() const {
        std::vector<int> out;
        for (const sim::PulseSample& s : adapter_.Train()) {
            if (out.empty() || out.back() != s.pulse_us) out.push_back(s.pulse_us);
        }
        return out;
    }

    sim::SimBus bus_;
    sim::PwmAdapter& adapter_ = bus_.AddPwmAdapter();
    CQVComm comm_;
    Tervion tervion_;
    BusLock lock_;
};
