#pragma once
// The boot loader of a simulated device: takes the raw byte stream of a firmware upload
// (access code, start byte, numbered 70-byte blocks with a CRC-16) and answers each step
// with 6 (accepted) or 21 (send again). A device that holds one hands it every byte that
// arrives at the loader's speed while the loader listens; after the last block the new
// image is kept and the device runs it.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Faults of the exchange, set on the bus for every loader.
struct BootFaults {
    enum Kind { kNone, kNakOnce, kNakForever, kSilent, kGarbage };
    Kind kind = kNone;
    int block = 0;  // kNakOnce: the block answered 21 the first time it comes
};

class BootLoader {
  public:
    using Clock = std::chrono::steady_clock;
    // Bus and Modbus devices: reached after a restart at 500000 baud with the access code.
    // PWM family: reached at the servo's own speed, no access code, 7-byte answers.
    // Open device: always in its loader, its own access code, "C" while the line idles.
    enum class Kind { kBus, kPwm, kOpen };
    static constexpr int kLoaderBaud = 500000;
    static constexpr int kMaxBlocks = 2048;  // 131,072 bytes

    struct Answer {
        std::vector<uint8_t> bytes;
        size_t request_bytes = 0;  // what it answers, for the wire time
    };

    BootLoader(Kind kind, int id);

    // Starts listening: a restart (bus, Modbus) or the start-upgrade request (PWM family).
    // Without the first step of the upload within the window the device runs on as before.
    void Enter(int baud);
    bool listening() const { return state_ != State::kIdle; }
    // Past the access code: the application no longer runs until the upload completes.
    bool in_session() const { return state_ == State::kStart || state_ == State::kBlocks; }
    int baud() const { return baud_; }

    // Raw bytes from the line; appends the answers.
    void Feed(const uint8_t* data, size_t n, const BootFaults& faults, std::vector<Answer>& out);
    // Time passes: the window closes, a partial step goes stale, the open device calls.
    void Tick(int line_baud, const BootFaults& faults, std::vector<Answer>& out);

    // Completed uploads so far, and the image of the last one (its blocks in full).
    int uploads() const { return uploads_; }
    const std::vector<uint8_t>& image() const { return image_; }
    // True once after each completed upload: the device takes the image into use.
    bool TakeCompleted();

  private:
    enum class State { kIdle, kHandshake, kStart, kBlocks };
    void Step(const std::vector<uint8_t>& unit, const BootFaults& faults, std::vector<Answer>& out);
    void Recover(const std::vector<uint8_t>& partial, std::vector<Answer>& out);
    int Block(const std::vector<uint8_t>& packet, const BootFaults& faults);
    void Answer1(int verdict, size_t request, std::vector<Answer>& out) const;
    size_t Expected() const;
    const char* Code() const { return kind_ == Kind::kOpen ? "VXBL7" : "VXBL5"; }

    Kind kind_;
    int id_;
    int baud_ = kLoaderBaud;
    State state_;
    Clock::time_point deadline_{};
    Clock::time_point last_rx_{};
    Clock::time_point last_call_{};
    std::vector<uint8_t> partial_;
    std::vector<uint8_t> received_;
    int next_block_ = 1;
    int raw_flag_ = -1;
    bool silent_ = false;
    bool nak_once_done_ = false;
    int uploads_ = 0;
    bool completed_ = false;
    std::vector<uint8_t> image_;
};

}  // namespace sim
