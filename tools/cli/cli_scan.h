#pragma once
// The scan command: the servo search's probe over a range of ids, or the all-rate
// discovery at the chosen baud rates of the main window's list.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class CQVComm;
class ServoSetup;
class Tervion;
class Modbus;

// The arguments after "scan": [--all-bauds [--margin MS] [--rates R1,R2,...]] [FIRST LAST].
// false with a reason on error.
bool ParseScanArguments(const std::vector<std::string>& rest, CliOptions& o, std::string& error);

// The servo search's probe over the chosen ids, in the search's order. One line per device:
// id, kind, the nine record bytes and, with setup files, the model name. With --all-bauds
// the all-rate discovery runs instead: the chosen rates in the main window's order, every
// line led by the rate the device answered at, and "RATE ID garbled" for an id whose
// replies collided; progress goes to standard error when that is a terminal. Always 0.
int RunScan(const CliOptions& o, CQVComm& port, Tervion& t, Modbus& m, ServoSetup* setup,
            std::ostream& out);
