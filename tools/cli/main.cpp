// vexa-cli: the bus core from the command line, for scripts and black-box tests.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/cli_runner.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr);
}
