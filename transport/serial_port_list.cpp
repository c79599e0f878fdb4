// CQVComm's port list: the serial devices the kernel lists under /sys/class/tty that have a
// driver and real hardware behind them.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "transport/cqv_comm.h"

namespace {

// Orders "ttyUSB2" before "ttyUSB10": digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a[i] >= '0' && a[i] <= '9';
        const bool db = b[j] >= '0' && b[j] <= '9';
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && a[ei] >= '0' && a[ei] <= '9') ++ei;
            while (ej < b.size() && b[ej] >= '0' && b[ej] <= '9') ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::string LinkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True for ports of the legacy on-board driver's placeholder device ("serial8250", or
// "serial8250:0/serial8250:0.N" on newer kernels).
bool UnderLegacyPlaceholder(const std::string& device_link) {
    char resolved[PATH_MAX];
    if (::realpath(device_link.c_str(), resolved) == nullptr) return false;
    const std::string path = resolved;
    const std::string mark = "/serial8250";
    for (size_t at = path.find(mark); at != std::string::npos; at = path.find(mark, at + 1)) {
        const size_t after = at + mark.size();
        if (after == path.size() || path[after] == '/' || path[after] == ':') return true;
    }
    return false;
}

}  // namespace

int CQVComm::EnumeratePorts() {
    DIR* dir = ::opendir(SysClassTty.c_str());
    if (dir == nullptr) return PortCount;
    std::vector<std::string> found;
    while (const dirent* e = ::readdir(dir)) {
        const std::string entry = e->d_name;
        if (entry.empty() || entry[0] == '.') continue;
        const std::string base = SysClassTty + "/" + entry + "/device";
        // Virtual terminals and pseudo-terminals have no device behind them.
        struct stat st {};
        if (::stat(base.c_str(), &st) != 0) continue;
        // A port without a driver bound cannot carry bytes.
        const std::string driver = BaseName(LinkTarget(base + "/driver"));
        if (driver.empty()) continue;
        // The legacy on-board driver registers placeholder ports whether or not a UART
        // exists; real on-board ports are announced by firmware (ACPI/PNP/device tree).
        if (UnderLegacyPlaceholder(base)) continue;
        found.push_back("/dev/" + entry);
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), NaturalLess);
    const int count = static_cast<int>(std::min<size_t>(found.size(), kMaxPorts));
    for (int i = 0; i < kMaxPorts; ++i) PortNames[i] = i < count ? found[i] : std::string();
    PortCount = count;
    return PortCount;
}
