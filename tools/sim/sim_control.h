#pragma once
// The run-time commands vexa-sim reads from standard input, one a line.
#include <string>

#include "tools/sim/sim_bus.h"

namespace sim {

// Applies one command line to the bus. Returns "ok", "bye" for quit, or "error: ...".
std::string ExecuteControl(SimBus& bus, const std::string& line);

}  // namespace sim
