#pragma once
// Runs one parsed vexa-cli command on an open, configured port.
#include <iosfwd>

#include "tools/cli/cli_options.h"

class CQVComm;
class ServoSetup;

// Exit status: 0 done, 1 no answer or reply refused (reason on `err`).
// `setup` may be null; with it, scan prints each device's model name.
int RunCommand(const CliOptions& options, CQVComm& port, ServoSetup* setup, std::ostream& out,
               std::ostream& err);

// The full program: parse, open and configure the port, run. 2 for a usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
