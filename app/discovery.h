#pragma once
// The all-rate discovery: every chosen id at every chosen baud rate, with both protocols,
// each probe waiting only as long as an answer honestly needs (ProbeLine's reply window)
// instead of the user's extra time-out. Devices are identified exactly as the servo search
// identifies them; an id whose replies keep arriving as bytes that form no valid reply is
// reported as garbled (two or more devices answering on top of each other).
// Display-free and thread-free: callers run it on a worker and hear of it by callbacks.
#include <functional>
#include <string>
#include <vector>

#include "app/servo_search.h"
#include "platform/bus_lock.h"

class CQVComm;
class ServoSetup;

// A reply margin that covers a servo's usual return delay and a USB adapter in low-latency
// mode (its latency timer and the bus frames each way).
constexpr int kDiscoveryMarginMs = 4;

struct DiscoveryOptions {
    std::vector<int> rates;  // empty: all of the main window's rates
    int first_id = 0, last_id = 253;
    int margin_ms = kDiscoveryMarginMs;
    int parity = 0;  // parity index the port keeps at every rate
};

struct DiscoveryFind {
    int baud = 0;
    int id = 0;
    bool garbled = false;  // no device: replies collided, on the first probe and its repeat
    SearchHit hit;         // the device when not garbled
};

struct DiscoveryProgress {
    int baud = 0;
    int id = 0;     // the id about to be probed
    int found = 0;  // devices found so far (garbled ids not counted)
    int done = 0;   // ids probed so far, over all rates
    int total = 0;  // ids to probe over all rates
};

class Discovery {
  public:
    static constexpr int kDefaultMarginMs = kDiscoveryMarginMs;

    Discovery(CQVComm& port, ServoSetup* setup, BusLock& lock);

    // Each is optional; all are called on the thread that runs Run.
    std::function<void(const DiscoveryFind&)> on_find;
    std::function<void(const DiscoveryProgress&)> on_progress;
    std::function<bool()> keep_going;  // asked before every probe; false stops the pass

    // Probes the rates in the main window's order and the ids in the search's order (253
    // first), then puts the port back at the rate, extra time-out and time-out it had.
    // false when stopped before the end.
    bool Run(const DiscoveryOptions& options);

    // The chosen rates in the main window's order, each once; false when one is not a rate
    // of the main window.
    static bool OrderRates(const std::vector<int>& chosen, std::vector<int>& ordered);

    // Figures of the last run: requests sent, and the sum of their wire floor (each
    // request's bytes plus the first reply byte at its rate) in microseconds.
    long requests() const { return requests_; }
    double floor_us() const { return floor_us_; }

  private:
    CQVComm& port_;
    ServoSetup* setup_;
    BusLock& lock_;
    long requests_ = 0;
    double floor_us_ = 0;
};
