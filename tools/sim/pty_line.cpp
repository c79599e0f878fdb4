#include "tools/sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tools/sim/line_baud.h"

namespace sim {

PtyLine::~PtyLine() { Close(); }

bool PtyLine::Open(std::string* error) {
    Close();
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        Close();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0) return fail("grantpt");
    if (unlockpt(master_) != 0) return fail("unlockpt");
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname_r");
    slave_path_ = name;
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    slave_keep_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_keep_ < 0) return fail("open slave");
    // Until the tool configures it the line must not echo or translate anything.
    if (!SetLineRaw(slave_keep_, 115200)) return fail("configure slave");
    return true;
}

void PtyLine::Close() {
    if (slave_keep_ >= 0) close(slave_keep_);
    if (master_ >= 0) close(master_);
    slave_keep_ = -1;
    master_ = -1;
}

int PtyLine::Baud() const { return master_ >= 0 ? ReadLineBaud(master_) : 0; }

size_t PtyLine::Read(uint8_t* buffer, size_t n) {
    if (master_ < 0) return 0;
    const ssize_t got = read(master_, buffer, n);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

size_t PtyLine::WriteSome(const uint8_t* data, size_t n) {
    if (master_ < 0 || n == 0) return 0;
    const ssize_t put = write(master_, data, n);
    return put > 0 ? static_cast<size_t>(put) : 0;
}

bool PtyLine::WriteAll(const uint8_t* data, size_t n, int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t done = 0;
    while (done < n) {
        done += WriteSome(data + done, n - done);
        if (done >= n) break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return true;
}

}  // namespace sim
