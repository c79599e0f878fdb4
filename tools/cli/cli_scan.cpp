#include "tools/cli/cli_scan.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <ostream>

#include "app/discovery.h"
#include "app/servo_search.h"
#include "modbus/modbus.h"
#include "platform/system.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

bool ParseScanArguments(const std::vector<std::string>& rest, CliOptions& o, std::string& error) {
    size_t k = 0;
    if (k < rest.size() && rest[k] == "--all-bauds") {
        o.all_bauds = true;
        ++k;
    }
    while (o.all_bauds && k < rest.size() && (rest[k] == "--margin" || rest[k] == "--rates")) {
        const std::string& name = rest[k];
        if (k + 1 >= rest.size()) {
            error = "scan: " + name + " needs a value";
            return false;
        }
        const std::string& value = rest[k + 1];
        k += 2;
        long v = 0;
        if (name == "--margin") {
            if (!ParseNumber(value, 0, 10000, v)) {
                error = "scan: --margin takes milliseconds 0..10000";
                return false;
            }
            o.margin_ms = static_cast<int>(v);
            continue;
        }
        std::vector<int> chosen;
        for (size_t start = 0;;) {
            const size_t comma = value.find(',', start);
            if (!ParseNumber(value.substr(start, comma - start), 1, 100000000, v)) {
                chosen.clear();
                break;
            }
            chosen.push_back(static_cast<int>(v));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        std::vector<int> ordered;
        if (chosen.empty() || !Discovery::OrderRates(chosen, ordered)) {
            error =
                "scan: --rates takes rates of the baud list (1000000 ... 4800), comma-separated";
            return false;
        }
        o.rates = ordered;
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
        error = "usage: scan [--all-bauds [--margin MS] [--rates R1,R2,...]] [FIRST LAST]";
        return false;
    }
    o.first_id = static_cast<int>(first);
    o.last_id = static_cast<int>(last);
    return true;
}

namespace {

void PrintDevice(int baud, int id, const SearchHit& hit, ServoSetup* setup, std::ostream& out) {
    if (baud > 0) out << baud << ' ';
    out << id << ' ' << hit.kind;
    for (uint8_t b : hit.record) out << ' ' << int(b);
    if (setup != nullptr) out << ' ' << GbkToUtf8(hit.name);
    out << '\n';
    out.flush();
}

}  // namespace

int RunScan(const CliOptions& o, CQVComm& port, Tervion& t, Modbus& m, ServoSetup* setup,
            std::ostream& out) {
    BusLock lock;
    if (!o.all_bauds) {
        ServoSearch search(t, m, setup, lock);
        for (int step = 0; step < ServoSearch::kSteps; ++step) {
            const int id = ServoSearch::IdAt(step);
            if (id < o.first_id || id > o.last_id) continue;
            if (const std::optional<SearchHit> hit = search.Probe(id))
                PrintDevice(0, id, *hit, setup, out);
        }
        return 0;
    }
    DiscoveryOptions options;
    options.rates = o.rates;
    options.first_id = o.first_id;
    options.last_id = o.last_id;
    options.parity = o.parity;
    if (o.margin_ms >= 0) options.margin_ms = o.margin_ms;
    Discovery discovery(port, setup, lock);
    discovery.on_find = [&](const DiscoveryFind& f) {
        if (f.garbled) {
            out << f.baud << ' ' << f.id << " garbled\n";
            out.flush();
        } else {
            PrintDevice(f.baud, f.id, f.hit, setup, out);
        }
    };
    // Progress only for a person watching: a script reading standard error gets nothing.
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (terminal) {
        discovery.on_progress = [](const DiscoveryProgress& p) {
            std::fprintf(stderr, "\r%d baud, id %d, found %d (%d/%d) ", p.baud, p.id, p.found,
                         p.done, p.total);
        };
    }
    discovery.Run(options);
    if (terminal) std::fprintf(stderr, "\r%60s\r", "");
    return 0;
}
