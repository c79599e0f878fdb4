#include "app/discovery.h"

#include <algorithm>
#include <mutex>

#include "app/probe_line.h"
#include "transport/bus_rates.h"
#include "transport/cqv_comm.h"

Discovery::Discovery(CQVComm& port, ServoSetup* setup, BusLock& lock)
    : port_(port), setup_(setup), lock_(lock) {}

bool Discovery::OrderRates(const std::vector<int>& chosen, std::vector<int>& ordered) {
    ordered.clear();
    for (int baud : chosen)
        if (bus_rates::PositionOf(baud) < 0) return false;
    for (int baud : bus_rates::kRates) {
        if (chosen.empty() || std::find(chosen.begin(), chosen.end(), baud) != chosen.end())
            ordered.push_back(baud);
    }
    return true;
}

bool Discovery::Run(const DiscoveryOptions& options) {
    std::vector<int> rates;
    if (!OrderRates(options.rates, rates)) return false;
    std::vector<int> ids;
    for (int step = 0; step < ServoSearch::kSteps; ++step) {
        const int id = ServoSearch::IdAt(step);
        if (id >= options.first_id && id <= options.last_id) ids.push_back(id);
    }

    const int saved_baud = port_.BaudRate.load();
    const int saved_extra = port_.ExtraTimeout.load();
    const int saved_timeout = port_.Timeout();
    ProbeLine line(port_, std::max(0, options.margin_ms) * 1000);
    ServoSearch search(line, line, setup_, lock_);
    auto go_on = [this] { return !keep_going || keep_going(); };

    DiscoveryProgress progress;
    progress.total = static_cast<int>(rates.size() * ids.size());
    bool complete = true;
    for (int baud : rates) {
        if (!go_on()) {
            complete = false;
            break;
        }
        {
            std::lock_guard<BusLock> g(lock_);
            port_.ConfigurePort(baud, options.parity, saved_extra);
        }
        progress.baud = baud;
        for (int id : ids) {
            if (!go_on()) {
                complete = false;
                break;
            }
            progress.id = id;
            if (on_progress) on_progress(progress);
            // Bytes that formed no valid reply: noise, the late tail of an earlier reply,
            // or replies colliding. Once the line is quiet a repeat tells them apart.
            std::optional<SearchHit> hit;
            bool garbled = false;
            for (int attempt = 0; attempt < 2 && (attempt == 0 || garbled); ++attempt) {
                line.ResetCount();
                hit = search.Probe(id);
                garbled = !hit && !search.LastProbeAnswered() && line.received() > 0;
                if (garbled) {
                    std::lock_guard<BusLock> g(lock_);
                    line.Drain();
                }
            }
            ++progress.done;
            if (hit) {
                ++progress.found;
                if (on_find) on_find({baud, id, false, *hit});
            } else if (garbled && on_find) {
                on_find({baud, id, true, {}});
            }
        }
        if (!complete) break;
    }
    requests_ = line.requests();
    floor_us_ = line.floor_us();
    {
        std::lock_guard<BusLock> g(lock_);
        port_.ConfigurePort(saved_baud, options.parity, saved_extra);
        port_.SetTimeout(saved_timeout);
    }
    return complete;
}
