// vexa-server: the update server for a folder of files (layout in README.md).
//   vexa-server --root DIR [--port N] [--host ADDRESS]
// Port 9048 unless given; 0 picks a free port. The first line on stdout is
// "listening on HOST:PORT". Runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/server/update_server.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: vexa-server --root DIR [--port N] [--host ADDRESS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, host = "127.0.0.1";
    long port = 9048;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (arg == "--root") {
            root = value;
        } else if (arg == "--host") {
            host = value;
        } else if (arg == "--port") {
            char* end = nullptr;
            port = std::strtol(value, &end, 10);
            if (end == value || *end != '\0' || port < 0 || port > 65535) return Usage();
        } else {
            return Usage();
        }
    }
    if (root.empty()) return Usage();

    // Block the stop signals before any thread starts so that only sigwait sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    UpdateServer server(root);
    if (!server.Start(host, static_cast<int>(port))) {
        std::fprintf(stderr, "vexa-server: cannot listen on %s:%ld\n", host.c_str(), port);
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), server.port());
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.Stop();
    return 0;
}
