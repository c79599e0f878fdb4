#pragma once
// One device on the simulated line. The bus hands every complete, checksum-valid request
// to each device whose baud rate equals the line's; a device answers by filling `reply`.
// Devices are used only under the bus's device lock.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class BootLoader;

class SimDevice {
  public:
    virtual ~SimDevice() = default;

    virtual int baud() const = 0;
    // Current bus id (it can change when the bus writes the id register).
    virtual int id() const = 0;

    // packet: FF FF id length instruction params... checksum, already validated.
    virtual bool HandleInstruction(const uint8_t* packet, size_t n, std::vector<uint8_t>& reply) {
        return false;
    }
    // frame: id function ... CRC, already validated.
    virtual bool HandleModbus(const uint8_t* frame, size_t n, std::vector<uint8_t>& reply) {
        return false;
    }
    // Lets the physics catch up with the wall clock before a request is served.
    virtual void Advance(double seconds) {}
    // The device's boot loader (null without one) and what it does with a received image.
    virtual BootLoader* boot_loader() { return nullptr; }
    virtual void RunUploadedImage() {}
};

}  // namespace sim
