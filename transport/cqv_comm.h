#pragma once
// The one serial port every bus protocol talks through. Blocking reads with a total
// time-out; no framing and no locking (callers serialise transactions with BusLock).
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class LineControl;

class CQVComm {
  public:
    static constexpr int kMaxPorts = 256;

    CQVComm();
    virtual ~CQVComm();
    CQVComm(const CQVComm&) = delete;
    CQVComm& operator=(const CQVComm&) = delete;

    // Slot 0 and 1: the byte operations the protocol layers bind to.
    // Every read goes through ReadBytesUntil, the one a stand-in port overrides.
    virtual int WriteBytes(const uint8_t* buffer, int n);
    int ReadBytes(uint8_t* buffer, int n);
    // ReadBytes with its own deadline instead of the stored time-out: for callers that
    // time a reply to the microsecond (the all-rate discovery's reply window).
    virtual int ReadBytesUntil(uint8_t* buffer, int n,
                               std::chrono::steady_clock::time_point deadline);

    // `name` is a device path ("/dev/ttyUSB0", "/dev/serial/by-id/...", a pseudo-terminal);
    // a name without a leading slash is taken relative to /dev. Windows-style "COMn" names
    // have no meaning here and open only if /dev holds a device of that name.
    // A handle open before is closed first. 1 on success, 0 on failure (the port is then
    // closed).
    int OpenPort(const std::string& name);
    int ClosePort();                                     // close result (0 ok)
    int ConfigurePort(int baud, int parity, int extra);  // returns the previous baud rate
    // The part of the reply time-out that grows with the byte time (1408 bit-times), in
    // microseconds; ConfigurePort adds it, in whole milliseconds, to the extra time.
    static constexpr long long ByteTimeTermUs(int baud) { return 1408000000LL / baud; }
    int SetBaud(int baud, int parity);
    int SetTimeout(int ms);  // returns the previous stored time-out
    void PurgeReceive();
    void ClearDtr(bool flag);
    void ClearRts(bool flag);
    // Rebuilds PortNames from SysClassTty (serial devices with a driver behind them, in
    // natural order, at most kMaxPorts); when the folder cannot be read the old list stays.
    // Returns PortCount.
    int EnumeratePorts();

    bool IsOpen() const;
    int Timeout() const { return timeout_; }

    std::array<std::string, kMaxPorts> PortNames;
    int PortCount = -1;
    std::atomic<int> ExtraTimeout{50};
    std::atomic<int> BaudRate{115200};
    int SavedParity = 0;
    // Where EnumeratePorts looks; tests point it at a fake tree.
    std::string SysClassTty = "/sys/class/tty";
    // Reads the line settings and drives DTR/RTS; tests put a recording stand-in here.
    LineControl* Lines;

    // Sees every transfer as it completes: sent true for WriteBytes, false for ReadBytes,
    // with the bytes actually moved (n may be 0 after a time-out). Set it while no
    // transfer runs; it is called on the transferring thread.
    using Observer = std::function<void(bool sent, const uint8_t* bytes, int n)>;
    Observer TransferObserver;

  private:
    // Moves up to n received bytes from rx_ into buffer; rx_mutex_ held. Returns the count.
    int TakeReceived(uint8_t* buffer, int n);
    void DropReceived();

    std::atomic<int> timeout_{62};
    std::atomic<int> fd_{-1};
    // What one read of the line brought beyond the bytes asked for, served to the next
    // reads first. Guarded so that a close or purge from another thread never races a read.
    std::mutex rx_mutex_;
    std::array<uint8_t, 4096> rx_{};
    size_t rx_begin_ = 0;
    size_t rx_end_ = 0;
};
