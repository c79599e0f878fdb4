// A port whose line hangs up under it (a removed USB adapter, the far end of a
// pseudo-terminal closed): reads and writes give up at once instead of burning the time-out.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>

#include "tests/bus/pty_pair.h"
#include "transport/cqv_comm.h"

namespace {

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(SerialHangUp, ReadsAndWritesFailWithoutSpinningUntilReopened) {
    PtyPair pty;
    CQVComm comm;
    ASSERT_TRUE(pty.Open(comm, 115200, 0));
    comm.SetTimeout(400);
    const uint8_t request[4] = {0xFF, 0xFF, 0x01, 0x02};
    ASSERT_EQ(comm.WriteBytes(request, 4), 4);
    ASSERT_EQ(pty.Drain().size(), 4u);

    pty.CloseMaster();
    uint8_t buffer[9] = {};
    const double cpu = ThreadCpuSeconds();
    EXPECT_EQ(comm.ReadBytes(buffer, 9), 0);
    EXPECT_EQ(comm.ReadBytes(buffer, 9), 0);
    EXPECT_LT(ThreadCpuSeconds() - cpu, 0.1) << "two 400 ms time-outs spent polling";
    EXPECT_EQ(comm.WriteBytes(request, 4), 0);

    // The port stays open until the user closes it; the vanished device cannot be reopened.
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.ClosePort(), 0);
    EXPECT_EQ(comm.OpenPort(pty.path()), 0);
}

}  // namespace
