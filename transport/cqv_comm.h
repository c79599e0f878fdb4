#pragma once
// The one serial port every bus protocol talks through. Blocking reads with a total
// time-out; no framing and no locking (callers serialise transactions with BusLock).
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

class CQVComm {
public:
    static constexpr int kMaxPorts = 256;

    CQVComm();
    virtual ~CQVComm();
    CQVComm(const CQVComm&) = delete;
    CQVComm& operator=(const CQVComm&) = delete;

    // Slot 0 and 1: the byte operations the protocol layers bind to.
    virtual int WriteBytes(const uint8_t* buffer, int n);
    virtual int ReadBytes(uint8_t* buffer, int n);

    int OpenPort(const std::string& name);  // 1 on success, 0 on failure
    int ClosePort();                        // close result (0 ok)
    int ConfigurePort(int baud, int parity, int extra);  // returns the previous baud rate
    int SetBaud(int baud, int parity);
    int SetTimeout(int ms);  // returns the previous stored time-out
    void PurgeReceive();
    void ClearDtr(bool flag);
    void ClearRts(bool flag);
    int EnumeratePorts();  // rebuilds PortNames, returns PortCount

    bool IsOpen() const;
    int Timeout() const { return timeout_; }

    std::array<std::string, kMaxPorts> PortNames;
    int PortCount = -1;
    std::atomic<int> ExtraTimeout{50};
    std::atomic<int> BaudRate{115200};
    int SavedParity = 0;

private:
    std::atomic<int> timeout_{62};
    std::atomic<int> fd_{-1};
};
