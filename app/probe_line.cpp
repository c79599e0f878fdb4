#include "app/probe_line.h"

#include <algorithm>

#include "transport/cqv_comm.h"

using Clock = std::chrono::steady_clock;

ProbeLine::ProbeLine(CQVComm& port, int margin_us) : port_(port), margin_us_(margin_us) {}

long ProbeLine::WindowUs(int request_bytes, int baud, int margin_us) {
    if (baud <= 0) return margin_us;
    return (static_cast<long long>(request_bytes) + 1) * 10 * 1000000LL / baud + margin_us;
}

std::chrono::microseconds ProbeLine::Tail() const {
    const int baud = std::max(1, port_.BaudRate.load());
    return std::chrono::microseconds(CQVComm::ByteTimeTermUs(baud) + margin_us_);
}

void ProbeLine::Purge() {
    if (!pending_.empty()) FlushTransmit();
    port_.PurgeReceive();
    awaiting_first_ = true;
}

void ProbeLine::Put(const uint8_t* bytes, int n) {
    if (bytes == nullptr || n <= 0) return;
    // The window starts when the request starts to leave: a reply cannot begin before the
    // request has crossed the line and the first reply byte has followed it.
    const auto start = Clock::now();
    const int baud = port_.BaudRate.load();
    port_.WriteBytes(bytes, n);
    first_deadline_ = start + std::chrono::microseconds(WindowUs(n, baud, margin_us_));
    awaiting_first_ = true;
    ++requests_;
    floor_us_ += WindowUs(n, baud, 0);
}

int ProbeLine::Take(uint8_t* buffer, int n) {
    if (buffer == nullptr || n <= 0) return 0;
    int got = 0;
    if (awaiting_first_) {
        got = port_.ReadBytesUntil(buffer, 1, first_deadline_);
        if (got == 0) return 0;
        awaiting_first_ = false;
    }
    if (got < n) got += port_.ReadBytesUntil(buffer + got, n - got, Clock::now() + Tail());
    received_ += got;
    return got;
}

void ProbeLine::WriteByteRaw(uint8_t byte) { pending_.push_back(byte); }

int ProbeLine::WriteRaw(const uint8_t* buffer, int n) {
    if (buffer == nullptr || n <= 0) return 0;
    pending_.insert(pending_.end(), buffer, buffer + n);
    return n;
}

int ProbeLine::ReadRaw(uint8_t* buffer, int n) {
    if (!pending_.empty()) FlushTransmit();
    return Take(buffer, n);
}

void ProbeLine::FlushReceive() { Purge(); }

void ProbeLine::FlushTransmit() {
    const std::vector<uint8_t> request = std::move(pending_);
    pending_.clear();
    Put(request.data(), static_cast<int>(request.size()));
}

void ProbeLine::Discard() { Purge(); }

void ProbeLine::Send(const uint8_t* buffer, int n) { Put(buffer, n); }

int ProbeLine::Receive(uint8_t* buffer, int n) { return Take(buffer, n); }

void ProbeLine::Drain() {
    const auto limit = Clock::now() + std::chrono::milliseconds(500);
    uint8_t sink[64];
    while (Clock::now() < limit &&
           port_.ReadBytesUntil(sink, sizeof sink, std::min(limit, Clock::now() + Tail())) > 0) {
    }
    port_.PurgeReceive();
    awaiting_first_ = true;
}
