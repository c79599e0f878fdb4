#include "tools/cli/cli_bus_monitor.h"

#include <chrono>
#include <ostream>

#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

bool ParseMonitorOption(const std::vector<std::string>& args, size_t& i, CliOptions& o) {
    if (args[i] == "--trace") {
        o.trace = true;
        ++i;
        return true;
    }
    return false;
}

void StartTrace(CQVComm& port, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    port.TransferObserver = [start, &err](bool sent, const uint8_t* bytes, int n) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const std::string text = FormatTraceLine(us, sent, bytes, n);
        err << text << '\n';
        err.flush();
    };
}
