#pragma once
// The bus from scripts: the scan at every baud rate of the main window, the scan of a
// range of ids, and a trace of every byte that crosses the port.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class CQVComm;
class ServoSetup;
class Tervion;
class Modbus;

// Options of this file's features, taken from the option list before the command.
// Returns true when args[i] was one of them (i then points past it).
bool ParseMonitorOption(const std::vector<std::string>& args, size_t& i, CliOptions& o);

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

// Writes one line per transfer on `err`: seconds since the trace began with microseconds,
// "TX" or "RX", then the bytes in hexadecimal ("-" for a read that got none).
void StartTrace(CQVComm& port, std::ostream& err);
