#pragma once
// Cuts the byte stream the master sends into requests. Both protocols share the line:
// instruction packets start with FF FF, Modbus frames with a slave id of at most 247. A
// candidate that fails its checksum or CRC loses its first byte and the search goes on,
// so garbage on the line costs only the bytes it occupies.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class RequestFramer {
  public:
    enum class Kind { kInstruction, kModbus };
    struct Frame {
        Kind kind = Kind::kInstruction;
        std::vector<uint8_t> bytes;
    };
    static constexpr size_t kMaxBuffered = 4096;

    void Feed(const uint8_t* data, size_t n);
    // Takes the next complete, valid request off the front; false when none is complete.
    bool Next(Frame& out);
    size_t buffered() const { return buffer_.size(); }
    void Clear() { buffer_.clear(); }

  private:
    enum class Verdict { kFrame, kWait, kSkip };
    Verdict TryInstruction(Frame& out);
    Verdict TryModbus(Frame& out);
    Verdict Take(Kind kind, size_t length, Frame& out);

    std::vector<uint8_t> buffer_;
};

}  // namespace sim
