#pragma once
// Port names as the user sees them: a USB adapter's device node (/dev/ttyUSB0) changes
// with the order of plugging in, its alias under /dev/serial/by-id does not.
#include <string>

// The alias in by_id_folder that resolves to device, or device itself when there is none.
std::string StablePortName(const std::string& device,
                           const std::string& by_id_folder = "/dev/serial/by-id");
