#pragma once
// A serial port with no line behind it. It keeps every byte written and answers reads from
// bytes queued with Reply() and, when `device` is set, from what the device returns for
// each request (the bytes written since the previous read). Safe to use from the poll
// thread and the test's thread at once.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/byte_script.h"
#include "transport/cqv_comm.h"

class FakePort : public CQVComm {
  public:
    using Bytes = std::vector<uint8_t>;
    // The far end: the reply to one request, or nothing for silence. Called without the
    // port's lock held, on the reading thread.
    std::function<Bytes(const Bytes& request)> device;

    int WriteBytes(const uint8_t* buffer, int n) override {
        std::lock_guard<std::mutex> g(m_);
        written_.insert(written_.end(), buffer, buffer + n);
        pending_.insert(pending_.end(), buffer, buffer + n);
        writes_.push_back(HexOf(Bytes(buffer, buffer + n)));
        return n;
    }
    int ReadBytesUntil(uint8_t* buffer, int n, std::chrono::steady_clock::time_point) override {
        Bytes request;
        {
            std::lock_guard<std::mutex> g(m_);
            if (!pending_.empty()) {  // the request is complete once the master listens
                request = std::exchange(pending_, {});
                requests_.push_back(request);
            }
        }
        if (!request.empty() && device) {
            const Bytes reply = device(request);
            std::lock_guard<std::mutex> g(m_);
            line_.assign(reply.begin(), reply.end());  // the master gave up on what was left
        }
        std::lock_guard<std::mutex> g(m_);
        int got = 0;
        for (; got < n && !line_.empty(); ++got, line_.pop_front()) buffer[got] = line_.front();
        return got;
    }

    // Queues bytes for the master to read.
    void Reply(const Bytes& bytes) {
        std::lock_guard<std::mutex> g(m_);
        line_.insert(line_.end(), bytes.begin(), bytes.end());
    }
    // Everything written since the last call, as hex.
    std::string Take() {
        std::lock_guard<std::mutex> g(m_);
        return HexOf(std::exchange(written_, {}));
    }
    // Each WriteBytes call since the last call, as hex.
    std::vector<std::string> TakeWrites() {
        std::lock_guard<std::mutex> g(m_);
        return std::exchange(writes_, {});
    }
    // Every request the master has finished writing, in order.
    std::vector<Bytes> requests() {
        std::lock_guard<std::mutex> g(m_);
        return requests_;
    }

  private:
    std::mutex m_;
    Bytes written_, pending_;
    std::vector<std::string> writes_;
    std::vector<Bytes> requests_;
    std::deque<uint8_t> line_;
};
