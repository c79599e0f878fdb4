#pragma once
// A device that a real adapter resets into its boot loader through DTR and RTS. A
// pseudo-terminal carries neither, so this one always sits in its loader: it calls "C"
// while the line idles at 500000 baud and takes uploads with its own access code.
#include "tools/sim/boot_loader.h"
#include "tools/sim/sim_device.h"

namespace sim {

class OpenDevice : public SimDevice {
  public:
    int baud() const override { return BootLoader::kLoaderBaud; }
    int id() const override { return -1; }  // it has no bus id
    BootLoader* boot_loader() override { return &boot_; }
    void RunUploadedImage() override;

    // The version the running image reports: its first two bytes (major, minor), 0.0 before
    // any upload.
    int version_major() const { return major_; }
    int version_minor() const { return minor_; }

  private:
    BootLoader boot_{BootLoader::Kind::kOpen, 0};
    int major_ = 0, minor_ = 0;
};

}  // namespace sim
