#pragma once
// vexa-cli self-update [DIR]: VexaUpdate's download procedure in DIR (default: the current
// folder). The log is printed to standard output after each step, message boxes as for the
// other commands (exclamation boxes on standard output, error boxes on standard error).
// Exit 0 only when the run ends with "Upgrade successful!", 1 otherwise.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

bool ParseSelfUpdateCommand(const std::vector<std::string>& rest, CliOptions& options,
                            std::string& error);
int RunSelfUpdateCommand(const CliOptions& options, std::ostream& out, std::ostream& err);
