#pragma once
// A pseudo-terminal pair for tests: the master stands in for the device side of the line,
// the slave path is what CQVComm opens.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "transport/cqv_comm.h"

class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        char name[128];
        if (ptsname_r(master_, name, sizeof name) == 0) path_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    int master() const { return master_; }
    const std::string& path() const { return path_; }
    // Opens port on the slave side with the rate and the extra read time (ms); false when
    // the pair or the port could not be opened.
    bool Open(CQVComm& port, int baud, int extra_ms) const {
        if (!ok() || port.OpenPort(path_) != 1) return false;
        port.ConfigurePort(baud, 0, extra_ms);
        return true;
    }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Reads what the slave side sent, waiting up to `ms` for each chunk.
    std::string Drain(int ms = 200) const {
        std::string out;
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN)) break;
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
            ms = 20;
        }
        return out;
    }

  private:
    int master_ = -1;
    std::string path_;
};
