#pragma once
// vexa-cli's Programming page commands: table, set and params, run by the page's own logic
// through a console view.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class CQVComm;

bool IsProgrammingCommand(const std::string& command);
// The arguments after the command word; false and a one-line reason on a usage error.
bool ParseProgrammingCommand(const std::vector<std::string>& rest, CliOptions& options,
                             std::string& error);
// 0 the operation reported success, 1 it failed, was refused or nothing answered.
int RunProgramming(const CliOptions& options, CQVComm& port, std::ostream& out, std::ostream& err);
