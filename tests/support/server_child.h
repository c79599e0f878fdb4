#pragma once
// vexa-server started as a program on a free port of 127.0.0.1 for the life of the object,
// serving a folder; stopped with SIGTERM and waited for when the object goes.
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

class ServerChild {
  public:
    explicit ServerChild(const std::string& root) {
        std::vector<int> ends;
        pid_ = SpawnPiped(std::string(VEXA_BIN_DIR) + "/tools/server/vexa-server",
                          {"--root", root, "--port", "0"}, {1}, ends);
        if (pid_ > 0) out_ = fdopen(ends[0], "r");
        // The first line tells where it listens; the end of its output if it could not start.
        char line[128] = {};
        if (pid_ > 0 && out_ && std::fgets(line, sizeof line, out_))
            std::sscanf(line, "listening on 127.0.0.1:%d", &port_);
    }
    ~ServerChild() {
        Stop();
        if (out_) std::fclose(out_);
    }
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    // 0 when it did not start.
    int port() const { return port_; }
    // "127.0.0.1:PORT", the form VEXA_UPDATE_SERVER takes.
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Sends SIGTERM and waits: its exit status, or -1 when it did not exit by itself (or
    // was stopped before).
    int Stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        const bool waited = waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        return waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    FILE* out_ = nullptr;
};
