// vexa-server: the update server for a folder of files (layout in README.md).
//   vexa-server [--root DIR] [--port N] [--host ADDRESS]
//   vexa-server [--root DIR] --export OUT    (every reply as a static file, then exit)
// Without --root the folder installed beside the program (share/vexa) is served.
// Port 9048 unless given; 0 picks a free port. The first line on stdout is
// "listening on HOST:PORT". Runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/install_paths.h"
#include "platform/number_text.h"
#include "tools/server/static_export.h"
#include "tools/server/update_server.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: vexa-server [--root DIR] [--port N] [--host ADDRESS]\n"
                 "       vexa-server [--root DIR] --export OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, host = "127.0.0.1", export_dir;
    long port = 9048;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (arg == "--root") {
            root = value;
        } else if (arg == "--export") {
            export_dir = value;
        } else if (arg == "--host") {
            host = value;
        } else if (arg == "--port") {
            const auto parsed = ParseInteger(value, 0, 65535);
            if (!parsed) return Usage();
            port = *parsed;
        } else {
            return Usage();
        }
    }
    if (root.empty()) root = InstalledDataDir();
    if (root.empty()) return Usage();

    if (!export_dir.empty()) {
        const ExportResult result = ExportReplies(root, export_dir);
        for (const std::string& name : result.skipped)
            std::fprintf(stderr, "vexa-server: not exported (not a URL path): %s\n", name.c_str());
        if (!result.ok) {
            std::fprintf(stderr, "vexa-server: %s\n", result.error.c_str());
            return 1;
        }
        std::printf("exported %zu names to %s\n", result.names.size(), export_dir.c_str());
        std::printf("%s\n", FallbackLine().c_str());
        return 0;
    }

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
