#pragma once
// The bus from scripts: a trace of every byte that crosses the port.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class CQVComm;

// Options of this file's features, taken from the option list before the command.
// Returns true when args[i] was one of them (i then points past it).
bool ParseMonitorOption(const std::vector<std::string>& args, size_t& i, CliOptions& o);

// Writes one line per transfer on `err`: seconds since the trace began with microseconds,
// "TX" or "RX", then the bytes in hexadecimal ("-" for a read that got none).
void StartTrace(CQVComm& port, std::ostream& err);
