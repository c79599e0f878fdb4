#include "pages/upgrade/communication_test.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "modbus/modbus.h"
#include "protocol/tervion.h"

namespace {

std::string FormatLine(const std::string& format, int id, long long us, int timeouts,
                       double speed) {
    char buf[64];
    // The format comes from the string table: %d, %d, %d, %.2f in that order.
    std::string out;
    size_t arg = 0;
    for (size_t k = 0; k < format.size(); ++k) {
        if (format[k] != '%' || k + 1 >= format.size()) {
            out += format[k];
            continue;
        }
        if (format.compare(k, 4, "%.2f") == 0) {
            std::snprintf(buf, sizeof buf, "%.2f", speed);
            out += buf;
            k += 3;
        } else if (format[k + 1] == 'd') {
            const long long v = arg == 0 ? id : arg == 1 ? us : timeouts;
            out += std::to_string(v);
            ++arg;
            k += 1;
        } else {
            out += format[k];
        }
    }
    return out + "\r\n";
}

}  // namespace

CommunicationTest::CommunicationTest(Modbus& modbus, Tervion& tervion, BusLock& bus_lock,
                                     std::string line_format, Events events)
    : modbus_(modbus),
      tervion_(tervion),
      bus_lock_(bus_lock),
      line_format_(std::move(line_format)),
      events_(std::move(events)) {}

CommunicationTest::~CommunicationTest() { Join(); }

void CommunicationTest::Start(const Selection& s) {
    std::lock_guard g(worker_mutex_);
    running_ = 1;
    if (worker_alive_) {
        // The worker still finishing its last pass goes on, with the selection of this press.
        next_ = s;
        has_next_ = true;
        return;
    }
    if (worker_.joinable()) worker_.join();  // ended: it left the mutex for good
    worker_alive_ = true;
    worker_ = std::thread([this, s] { Worker(s); });
}

void CommunicationTest::Join() {
    running_ = 0;
    if (worker_.joinable()) worker_.join();
    std::lock_guard g(worker_mutex_);
    worker_alive_ = false;
}

void CommunicationTest::ClearCounts() {
    std::lock_guard g(counts_mutex_);
    timeouts_.fill(0);
}

int CommunicationTest::timeout_count(int id) const {
    std::lock_guard g(counts_mutex_);
    return id >= 0 && id < 254 ? timeouts_[static_cast<size_t>(id)] : 0;
}

void CommunicationTest::Worker(Selection s) {
    int passes = 0;
    for (;;) {
        {
            // Checked together with what Start sets: Start either finds this worker alive
            // and it goes on, or finds it gone and starts another.
            std::lock_guard g(worker_mutex_);
            if (has_next_) {
                s = std::move(next_);
                has_next_ = false;
            }
            // Nothing to test ends the worker at once; the page's caption keeps "Stop".
            if (running_.load() == 0 || s.count == 0) {
                worker_alive_ = false;
                break;
            }
        }
        events_.pass(RunPass(s));
        const int limit = pass_limit_.load();
        if (limit > 0 && ++passes >= limit) {
            running_ = 0;
            events_.limit_reached();
        }
    }
    events_.ended();
}

std::string CommunicationTest::RunPass(const Selection& s) {
    std::string pending;
    if (s.count == 0 || s.index < 0 || s.index >= static_cast<int>(s.records.size()))
        return pending;
    const ServoInfo& selected = s.records[static_cast<size_t>(s.index)];
    const int start = s.row[4];
    const int length = static_cast<int>(static_cast<uint16_t>(s.row[5] - s.row[4] + 1));
    std::vector<uint8_t> buffer(static_cast<size_t>(std::max(length, 1)));
    uint16_t registers[10];
    using Clock = std::chrono::steady_clock;
    for (int k = 0; k < s.count && k < static_cast<int>(s.records.size()); ++k) {
        const ServoInfo& r = s.records[static_cast<size_t>(k)];
        if (r.firmware_major() != selected.firmware_major() ||
            r.model_major() != selected.model_major() || r.byte_order() != selected.byte_order())
            continue;
        const uint8_t id = r.id();
        bool ok;
        Clock::time_point t0, t1;
        {
            // One transaction at a time: a search started meanwhile waits between reads.
            std::lock_guard g(bus_lock_);
            t0 = Clock::now();
            ok = s.kind == kKindModbus
                     ? modbus_.ReadHoldingRegisters(id, 256, registers, 10) != 0
                     : tervion_.Read(id, static_cast<uint8_t>(start), buffer.data(), length) != 0;
            t1 = Clock::now();
        }
        const long long us = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
        int count = 0;
        {
            std::lock_guard g(counts_mutex_);
            if (!ok && id < 254) ++timeouts_[id];
            count = id < 254 ? timeouts_[id] : 0;
        }
        double speed = 0;
        if (ok) {
            // Below the clock's resolution a reply still took some time: count 1 us.
            const long long divisor = us > 0 ? us : 1;
            speed = static_cast<double>((length + 14) * 8000000LL / divisor) / 1000.0;
        }
        pending += FormatLine(line_format_, id, us, count, speed);
    }
    return pending;
}
