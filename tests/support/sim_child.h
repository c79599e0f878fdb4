#pragma once
// vexa-sim started as a program, with pipes on its standard input and output, for tests
// that drive it through its command line and its run-time commands.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

struct SimChild {
    pid_t pid = -1;
    int in = -1;          // its standard input
    FILE* out = nullptr;  // its standard output
};

// Starts the built vexa-sim with args; pid stays -1 when it could not be started.
inline SimChild SpawnSim(const std::vector<std::string>& args) {
    SimChild c;
    std::vector<int> ends;
    c.pid = SpawnPiped(std::string(VEXA_BIN_DIR) + "/tools/sim/vexa-sim", args, {0, 1}, ends);
    if (c.pid < 0) return c;
    c.in = ends[0];
    c.out = fdopen(ends[1], "r");
    return c;
}

// One line of its output without the line end; "" at the end of its output.
inline std::string ReadSimLine(FILE* f) {
    char line[512] = {};
    if (!f || !std::fgets(line, sizeof line, f)) return {};
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}
