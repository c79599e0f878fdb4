#pragma once
// vexa-cli's PWM page commands, run through the page's own logic:
//   pwm pulse US [--min N] [--max N]   open the tab, set the limits by the switch if given,
//                                      press a preset of US, leave the tab; prints "USus"
//   pwm on                             open the tab, switch the signal on (limits read), leave
//   pwm off                            open the tab, switch the signal off, leave
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"

class Tervion;

// rest: the arguments after "pwm". Fills options.words (the sub-command) and
// options.numbers (US, minimum, maximum; -1 when not given).
bool ParsePwmCommand(const std::vector<std::string>& rest, CliOptions& options, std::string& error);
int RunPwmCommand(const CliOptions& options, Tervion& tervion, std::ostream& out,
                  std::ostream& err);
