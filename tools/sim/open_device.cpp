#include "tools/sim/open_device.h"

namespace sim {

void OpenDevice::RunUploadedImage() {
    const auto& image = boot_.image();
    if (image.size() < 2) return;
    major_ = image[0];
    minor_ = image[1];
}

}  // namespace sim
