#pragma once
// The firmware exchange with a device's boot loader: the device is made to start its loader,
// the port switched to the loader's speed, a short handshake, then the image in numbered
// 64-byte blocks with a CRC-16, each acknowledged by one byte. It runs on a worker that
// holds the bus lock from the first request until the port is restored, so nothing else
// talks in between, and it sends a copy of the image taken when it starts.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "definitions/servo_types.h"
#include "pages/upgrade/firmware_image.h"
#include "platform/bus_lock.h"

class Modbus;
class Tervion;

// What one exchange sends and to whom.
struct ExchangeJob {
    FirmwareImage image;
    int raw_flag = 0;                    // sent in every block: 1 for a raw image, 0 for Intel HEX
    int open_flag = 0;                   // an open device: reset by the line controls, its own code
    ServoKind device_kind = kKindServo;  // the loader's restart and addressing follow it
    int id = -1;  // the selected servo (bus and Modbus devices are restarted by it)
};

class BootExchange {
  public:
    static constexpr int kBootBaud = 500000;
    static constexpr int kBlockPacketBytes = 70;
    // A block the device keeps refusing (21) is sent this many times more, then it fails.
    static constexpr int kMaxRepeats = 16;

    // Called on the worker: the progress bar's new position; the end (aborted: ended by
    // Abort rather than by the device).
    struct Events {
        std::function<void(int position)> progress;
        std::function<void(bool ok, bool aborted)> ended;
    };

    BootExchange(Modbus& modbus, Tervion& tervion, BusLock& bus_lock, Events events);
    // Aborts a running exchange (the port restored) and joins its worker.
    ~BootExchange();
    BootExchange(const BootExchange&) = delete;
    BootExchange& operator=(const BootExchange&) = delete;

    // Starts the exchange on a worker; false while one runs.
    bool Start(ExchangeJob job);
    // True from Start until the port is restored.
    bool running() const { return running_.load(); }
    // Ends a running exchange before its next block and waits until the port is restored.
    void Abort();

    // The 70-byte packet of block i (1-based); -1 for a block outside the image.
    static int BuildBlock(const FirmwareImage& image, int raw_flag, int open_flag, uint8_t* packet,
                          int i);
    // The access code the device's boot loader expects: open devices have their own.
    static std::string Handshake(bool open_device);

  private:
    bool UpgradeFirmware();
    int EnterBootLoader();
    int SendAndAwait(int n, const uint8_t* bytes);

    Modbus& modbus_;
    Tervion& tervion_;
    BusLock& bus_lock_;
    const Events events_;
    ExchangeJob job_;  // the worker's; set before it starts
    std::atomic<bool> running_{false};
    std::atomic<bool> abort_{false};
    std::thread worker_;
};
