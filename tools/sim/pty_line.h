#pragma once
// The device end of the simulated line: a pseudo-terminal whose slave side the tool opens
// as its serial port. The simulator keeps one slave descriptor open itself so that the
// master never sees a hang-up while the tool has the port closed.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class PtyLine {
  public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens the pair, puts the line in raw mode at 115200 baud. false with a reason.
    bool Open(std::string* error);
    void Close();

    int master_fd() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    // The baud rate the tool last set on its side, 0 when unreadable.
    int Baud() const;
    // Non-blocking read; returns bytes read, 0 when nothing is waiting.
    size_t Read(uint8_t* buffer, size_t n);
    // Writes what the line takes now without blocking; returns the count written.
    size_t WriteSome(const uint8_t* data, size_t n);
    // Writes all bytes, waiting for room up to timeout_ms in total; false when cut short.
    bool WriteAll(const uint8_t* data, size_t n, int timeout_ms);

  private:
    int master_ = -1;
    int slave_keep_ = -1;
    std::string slave_path_;
};

}  // namespace sim
