#pragma once
// vexa-cli's Upgrade page commands: commtest, upgrade and firmware-online, run by the
// page's own logic through a console view.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class CQVComm;

bool IsUpgradeCommand(const std::string& command);
// The arguments after the command word; false with a one-line reason.
bool ParseUpgradeCommand(const std::vector<std::string>& rest, CliOptions& options,
                         std::string& error);
// On an open, configured port. 0 done, 1 refused or failed (reason on `err`).
int RunUpgradeCommand(const CliOptions& options, CQVComm& port, std::ostream& out,
                      std::ostream& err);
