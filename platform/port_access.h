#pragma once
// Why a serial port could not be opened, as far as the technician can act on it.
#include <string>

// True when the device exists but this user may not read and write it (on Debian the
// serial adapters belong to the dialout group). A name without a leading slash is taken
// relative to /dev, as the port does.
bool PortAccessDenied(const std::string& name);
