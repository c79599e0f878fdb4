#pragma once
// Both bus protocols bound to the serial port with the all-rate discovery's reply window in
// place of the port's time-out: a reply must start within the request's wire time, the
// first reply byte's wire time and a margin for the device's return delay and the
// adapter's latency; once it has started, each further read may take the byte-time term
// plus that margin, so a slow tail is never cut. Counts the bytes received, so that bytes
// which never formed a valid reply can be told from silence.
#include <chrono>
#include <cstdint>
#include <vector>

#include "modbus/rtu.h"
#include "protocol/qvs.h"

class CQVComm;

class ProbeLine : public QVS, public Rtu {
  public:
    ProbeLine(CQVComm& port, int margin_us);

    // QVS: a request's pieces leave in one write when it is complete.
    void WriteByteRaw(uint8_t byte) override;
    int WriteRaw(const uint8_t* buffer, int n) override;
    int ReadRaw(uint8_t* buffer, int n) override;
    void FlushReceive() override;
    void FlushTransmit() override;

    // Rtu.
    void Discard() override;
    void AfterSend() override {}
    void Send(const uint8_t* buffer, int n) override;
    int Receive(uint8_t* buffer, int n) override;

    // Bytes received since the last ResetCount.
    long received() const { return received_; }
    void ResetCount() { received_ = 0; }
    // Requests sent, and the sum of their wire floor: each request's bytes and the first
    // reply byte at the rate it went out at, in microseconds.
    long requests() const { return requests_; }
    double floor_us() const { return floor_us_; }
    // Reads and drops whatever still arrives until the line has been quiet for one tail
    // period (at most about half a second, for a line that never falls quiet).
    void Drain();

    // Microseconds a probe without an answer waits at this rate: the request's and the
    // first reply byte's wire time plus the margin.
    static long WindowUs(int request_bytes, int baud, int margin_us);

  private:
    void Purge();
    void Put(const uint8_t* bytes, int n);
    int Take(uint8_t* buffer, int n);
    std::chrono::microseconds Tail() const;

    CQVComm& port_;
    int margin_us_;
    std::vector<uint8_t> pending_;
    bool awaiting_first_ = true;
    std::chrono::steady_clock::time_point first_deadline_{};
    long received_ = 0;
    long requests_ = 0;
    double floor_us_ = 0;
};
