#include "tools/cli/cli_bus_monitor.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>

#include "app/servo_main.h"
#include "app/servo_search.h"
#include "modbus/modbus.h"
#include "platform/system.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

bool ParseMonitorOption(const std::vector<std::string>& args, size_t& i, CliOptions& o) {
    if (args[i] == "--trace") {
        o.trace = true;
        ++i;
        return true;
    }
    return false;
}

bool ParseScanArguments(const std::vector<std::string>& rest, CliOptions& o, std::string& error) {
    size_t k = 0;
    if (k < rest.size() && rest[k] == "--all-bauds") {
        o.all_bauds = true;
        ++k;
    }
    const size_t left = rest.size() - k;
    long first = 0, last = 253;
    if (left == 2) {
        if (!ParseNumber(rest[k], 0, 253, first) || !ParseNumber(rest[k + 1], 0, 253, last) ||
            first > last) {
            error = "scan: FIRST and LAST are ids 0..253, FIRST not above LAST";
            return false;
        }
    } else if (left != 0) {
        error = "usage: scan [--all-bauds] [FIRST LAST]";
        return false;
    }
    o.first_id = static_cast<int>(first);
    o.last_id = static_cast<int>(last);
    return true;
}

namespace {

void ScanOnce(const CliOptions& o, ServoSearch& search, ServoSetup* setup, int baud,
              std::ostream& out) {
    for (int step = 0; step < ServoSearch::kSteps; ++step) {
        const int id = ServoSearch::IdAt(step);
        if (id < o.first_id || id > o.last_id) continue;
        const std::optional<SearchHit> hit = search.Probe(id);
        if (!hit) continue;
        if (baud > 0) out << baud << ' ';
        out << id << ' ' << hit->kind;
        for (uint8_t b : hit->record) out << ' ' << int(b);
        if (setup != nullptr) out << ' ' << GbkToUtf8(hit->name);
        out << '\n';
        out.flush();
    }
}

}  // namespace

int RunScan(const CliOptions& o, CQVComm& port, Tervion& t, Modbus& m, ServoSetup* setup,
            std::ostream& out) {
    BusLock lock;
    ServoSearch search(t, m, setup, lock);
    if (!o.all_bauds) {
        ScanOnce(o, search, setup, 0, out);
        return 0;
    }
    for (int position = 0; position < CServoMain::kBaudRateCount; ++position) {
        const int baud = CServoMain::BaudRateAt(position);
        port.SetBaud(baud, o.parity);
        ScanOnce(o, search, setup, baud, out);
    }
    return 0;
}

void StartTrace(CQVComm& port, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    port.TransferObserver = [start, &err](bool sent, const uint8_t* bytes, int n) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const std::string text = FormatTraceLine(us, sent, bytes, n);
        err << text << '\n';
        err.flush();
    };
}
