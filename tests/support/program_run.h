#pragma once
// Built programs as child processes with pipes on their standard streams, and a program run
// to its end, for tests that drive the real executable: its exit status and what it wrote to
// standard output and standard error.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

// Starts program with args and envp (by default this process's environment), its standard
// streams listed in `streams` (0, 1 or 2) on pipes: ends[i] is this process's end of the pipe
// of streams[i]. The pid, or -1 when it could not be started (and no end is left open).
inline pid_t SpawnPiped(const std::string& program, const std::vector<std::string>& args,
                        const std::vector<int>& streams, std::vector<int>& ends,
                        char* const* envp = environ) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::vector<int> child_ends;
    ends.clear();
    for (int stream : streams) {
        int p[2];
        if (pipe(p) != 0) break;
        const int child = stream == 0 ? p[0] : p[1], mine = stream == 0 ? p[1] : p[0];
        posix_spawn_file_actions_adddup2(&actions, child, stream);
        posix_spawn_file_actions_addclose(&actions, mine);
        child_ends.push_back(child);
        ends.push_back(mine);
    }
    pid_t pid = -1;
    if (ends.size() != streams.size() ||
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : child_ends) close(fd);
    if (pid < 0) {
        for (int fd : ends) close(fd);
        ends.clear();
    }
    return pid;
}

struct ProgramRun {
    int status = -1;  // the exit status; -1 when it did not exit by itself within the limit
    std::string out, err;
};

// env: "NAME=value" entries that replace or add to this process's environment. A program
// still running after limit is killed.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {},
                             std::chrono::seconds limit = std::chrono::seconds(120)) {
    ProgramRun run;
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e) {
        const char* eq = std::strchr(*e, '=');
        const std::string name(*e, eq ? static_cast<size_t>(eq - *e) : std::strlen(*e));
        bool replaced = false;
        for (const std::string& entry : env) replaced |= entry.rfind(name + "=", 0) == 0;
        if (!replaced) environment.push_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<int> ends;
    const pid_t pid = SpawnPiped(program, args, {1, 2}, ends, envp.data());
    if (pid < 0) return run;
    // Both pipes are drained together, so a program that fills one cannot block.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{ends[0], POLLIN, 0}, {ends[1], POLLIN, 0}};
    std::string* text[2] = {&run.out, &run.err};
    int open_pipes = 2;
    bool killed = false;
    while (open_pipes > 0) {
        if (std::chrono::steady_clock::now() > deadline && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        if (poll(fds, 2, 100) <= 0) continue;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n > 0) {
                text[k]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open_pipes;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!killed && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}
