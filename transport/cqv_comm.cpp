#include "transport/cqv_comm.h"

#include "transport/line_control.h"
#include "transport/line_settings.h"

#ifndef __linux__
#error "CQVComm has a Linux backend only (termios2 for arbitrary baud rates)"
#endif

// termios2 lives in the kernel headers, which clash with <termios.h>; this file uses the
// kernel interface alone and reaches every line setting through ioctl().
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

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

    SetTimeout(extra + static_cast<int>(ByteTimeTermUs(baud) / 1000));

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
