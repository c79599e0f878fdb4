#pragma once
// The far end of the fake port for the main-window tests: a handful of devices that answer
// instruction-protocol reads and Modbus holding-register reads, written from the wire
// formats (not with the code's own helpers).
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "tests/support/bus_frames.h"

class TestBus {
  public:
    struct ModbusDevice {
        std::vector<uint16_t> registers;  // from register 0
        bool answers_settings = true;     // registers 10..12
    };

    void AddServo(int id, std::vector<uint8_t> memory) {
        std::lock_guard<std::mutex> g(m_);
        servos_[id] = std::move(memory);
    }
    void AddModbus(int id, ModbusDevice device) {
        std::lock_guard<std::mutex> g(m_);
        modbus_[id] = std::move(device);
    }
    void Clear() {
        std::lock_guard<std::mutex> g(m_);
        servos_.clear();
        modbus_.clear();
    }
    // Called with the id of every instruction-protocol read before it is answered.
    std::function<void(int id)> on_read;

    std::vector<uint8_t> Answer(const std::vector<uint8_t>& q) {
        if (q.size() == 8 && q[0] == 0xFF && q[1] == 0xFF && q[3] == 4 && q[4] == 0x02) {
            if (on_read) on_read(q[2]);
            std::lock_guard<std::mutex> g(m_);
            auto it = servos_.find(q[2]);
            if (it == servos_.end()) return {};
            const int address = q[5], n = q[6];
            std::vector<uint8_t> data;
            for (int i = 0; i < n; ++i) {
                const size_t at = address + i;
                data.push_back(at < it->second.size() ? it->second[at] : 0);
            }
            return ServoFrame(q[2], 0, data);
        }
        if (q.size() == 8 && q[1] == 0x03 && WithCrc({q.begin(), q.begin() + 6}) == q) {
            std::lock_guard<std::mutex> g(m_);
            auto it = modbus_.find(q[0]);
            if (q[0] == 0 || it == modbus_.end()) return {};
            const int address = q[2] << 8 | q[3], count = q[4] << 8 | q[5];
            if (address >= 10 && !it->second.answers_settings) return {};
            std::vector<uint8_t> reply = {q[0], 0x03, static_cast<uint8_t>(2 * count)};
            for (int i = 0; i < count; ++i) {
                const size_t at = address + i;
                const uint16_t v = at < it->second.registers.size() ? it->second.registers[at] : 0;
                reply.push_back(v >> 8);
                reply.push_back(v & 0xFF);
            }
            AppendModbusCrc(reply);
            return reply;
        }
        return {};
    }

  private:
    static std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
        AppendModbusCrc(frame);
        return frame;
    }

    std::mutex m_;
    std::map<int, std::vector<uint8_t>> servos_;
    std::map<int, ModbusDevice> modbus_;
};
