#pragma once
// vexa-sim started as a program, with pipes on its standard input and output, for tests
// that drive it through its command line and its run-time commands.
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

struct SimChild {
    pid_t pid = -1;
    int in = -1;          // its standard input
    FILE* out = nullptr;  // its standard output
};

// Starts the built vexa-sim with args; pid stays -1 when it could not be started.
inline SimChild SpawnSim(const std::vector<std::string>& args) {
    SimChild c;
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return c;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    posix_spawn_file_actions_addclose(&actions, to_child[1]);
    posix_spawn_file_actions_addclose(&actions, from_child[0]);
    std::vector<char*> argv;
    const std::string program = std::string(VEXA_BIN_DIR) + "/tools/sim/vexa-sim";
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&c.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(to_child[0]);
    close(from_child[1]);
    c.in = to_child[1];
    c.out = fdopen(from_child[0], "r");
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
