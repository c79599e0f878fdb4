#include "transport/cqv_comm.h"

#include "transport/line_control.h"
#include "transport/line_settings.h"

#ifndef __linux__
#error "CQVComm has a Linux backend only (termios2 for arbitrary baud rates)"
#endif

// termios2 lives in the kernel headers, which clash with <termios.h>; this file uses the
// kernel interface alone and reaches every line setting through ioctl().
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on fd until `deadline`. Returns false once the deadline has passed or
// the descriptor reports an error or hang-up (no more bytes can come). A deadline already
// passed still reports what is ready at this moment.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{fd, events, 0};
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) {
            if (Clock::now() >= deadline) return false;
            continue;  // woke early: wait out the rest
        }
        return (p.revents & events) != 0;  // POLLERR / POLLHUP / POLLNVAL without data: false
    }
}

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

CQVComm::CQVComm() : Lines(&LineControl::System()) {}

CQVComm::~CQVComm() { ClosePort(); }

bool CQVComm::IsOpen() const { return fd_.load() >= 0; }

int CQVComm::OpenPort(const std::string& name) {
    // The old handle goes first, whatever becomes of the new name: a failed open leaves the
    // port closed, never the previous line still open and held exclusively.
    ClosePort();
    if (name.empty()) return 0;
    const std::string path = name.front() == '/' ? name : "/dev/" + name;
    // Non-blocking so that the open does not wait for a carrier; reads and writes wait
    // with poll() against their own deadlines.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return 0;
    }
    // One user of the line at a time; a refusal (not a terminal) is ignored like the other
    // line-control results.
    ::ioctl(fd, TIOCEXCL);
    fd_.store(fd);
    return 1;
}

int CQVComm::ClosePort() {
    const int fd = fd_.exchange(-1);
    DropReceived();  // bytes of the old line must not answer a request on the next one
    if (fd < 0) return 0;
    ::ioctl(fd, TIOCNXCL);
    return ::close(fd);
}

int CQVComm::ConfigurePort(int baud, int parity, int extra) {
    const int fd = fd_.load();
    if (fd < 0) return baud;
    // A baud rate of zero or less cannot be put on the line and would divide by zero in
    // the time-out term: leave the port as it is.
    if (baud <= 0) return BaudRate.load();

    SetTimeout(extra + 1408000 / baud);

    termios2 t{};
    const bool have = Lines->GetSettings(fd, t);
    int previous = have ? static_cast<int>(t.c_ospeed) : 0;
    if (previous == 0) previous = BaudRate.load();
    if (have) SavedParity = line_settings::ParityIndex(t);

    // Bytes written just before (a request that makes the device switch speed) must leave
    // at the old speed before the change, or they are lost: wait until they have gone out
    // (tcdrain).
    ::ioctl(fd, TCSBRK, 1);
    line_settings::MakeRawLine(t, baud, parity);
    ::ioctl(fd, TCSETS2, &t);

    // USB adapters otherwise hold every reply for their latency timer; ports that do not
    // know the request simply refuse it.
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &ss);
    }

    // Only what was received is purged. After the drain nothing waits to be sent, and an
    // output purge would still discard what the far end has not taken yet (a
    // pseudo-terminal's reader, an adapter's transmit FIFO).
    ::ioctl(fd, TCFLSH, TCIFLUSH);
    DropReceived();
    BaudRate.store(baud);
    ExtraTimeout.store(extra);
    ClearDtr(false);
    ClearRts(true);
    return previous;
}

int CQVComm::SetBaud(int baud, int parity) { return ConfigurePort(baud, parity, ExtraTimeout); }

int CQVComm::SetTimeout(int ms) { return timeout_.exchange(ms); }

int CQVComm::TakeReceived(uint8_t* buffer, int n) {
    const int take = std::min(n, static_cast<int>(rx_end_ - rx_begin_));
    if (take > 0) {
        std::memcpy(buffer, rx_.data() + rx_begin_, static_cast<size_t>(take));
        rx_begin_ += static_cast<size_t>(take);
    }
    return take;
}

void CQVComm::DropReceived() {
    std::lock_guard<std::mutex> g(rx_mutex_);
    rx_begin_ = rx_end_ = 0;
}

int CQVComm::ReadBytes(uint8_t* buffer, int n) {
    return ReadBytesUntil(buffer, n,
                          Clock::now() + std::chrono::milliseconds(std::max(0, timeout_.load())));
}

int CQVComm::ReadBytesUntil(uint8_t* buffer, int n, Clock::time_point deadline) {
    const int fd = fd_.load();
    if (fd < 0 || buffer == nullptr || n <= 0) return 0;
    // A reply is asked for a few bytes at a time (a header is sought byte by byte); one
    // read of whatever has arrived serves all of them from rx_.
    int got;
    {
        std::lock_guard<std::mutex> g(rx_mutex_);
        got = TakeReceived(buffer, n);
    }
    if (got == n) {
        if (TransferObserver) TransferObserver(false, buffer, got);
        return n;
    }
    while (got < n) {
        // Waiting first saves the read that would find nothing: the buffer is empty here,
        // so the bytes still to come are not on the line yet in the usual case.
        if (!WaitFor(fd, POLLIN, deadline)) break;
        std::unique_lock<std::mutex> g(rx_mutex_);
        const ssize_t r = ::read(fd, rx_.data(), rx_.size());
        if (r > 0) {
            rx_begin_ = 0;
            rx_end_ = static_cast<size_t>(r);
            got += TakeReceived(buffer + got, n - got);
            continue;
        }
        const int err = errno;
        g.unlock();
        if (r < 0 && (err == EINTR || err == EAGAIN)) continue;
        // The line is gone (hang-up, removed adapter): readable, yet nothing to read.
        break;
    }
    if (TransferObserver) TransferObserver(false, buffer, got);
    return got;
}

int CQVComm::WriteBytes(const uint8_t* buffer, int n) {
    const int fd = fd_.load();
    if (fd < 0 || buffer == nullptr || n <= 0) return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeout_.load()));
    int put = 0;
    while (put < n) {
        const ssize_t r = ::write(fd, buffer + put, static_cast<size_t>(n - put));
        if (r > 0) {
            put += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) break;
        if (!WaitFor(fd, POLLOUT, deadline)) break;
    }
    if (TransferObserver) TransferObserver(true, buffer, put);
    return put;
}

void CQVComm::PurgeReceive() {
    const int fd = fd_.load();
    if (fd < 0) return;
    ::ioctl(fd, TCFLSH, TCIFLUSH);
    DropReceived();
}

void CQVComm::ClearDtr(bool flag) {
    const int fd = fd_.load();
    if (fd < 0) return;
    Lines->SetModemLine(fd, TIOCM_DTR, !flag);
}

void CQVComm::ClearRts(bool flag) {
    const int fd = fd_.load();
    if (fd < 0) return;
    Lines->SetModemLine(fd, TIOCM_RTS, !flag);
}

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
