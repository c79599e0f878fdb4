// The adapter pulled out while a firmware upload runs, and put back at the same path.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tests/faults/fault_rig.h"
#include "tools/sim/sim_control.h"
#include "transport/line_control.h"

namespace faults {
namespace {

// A pseudo-terminal drops the parity-enable bit but keeps the odd-parity bit; this line
// reports the enable bit back with it, so that the port reads odd parity as a real one does.
struct OddParityKept : LineControl {
    bool GetSettings(int fd, termios2& t) override {
        if (!LineControl::GetSettings(fd, t)) return false;
        if (t.c_cflag & PARODD) t.c_cflag |= PARENB;
        return true;
    }
};

// The speed and whether the odd-parity bit is set on the line behind path; {0, false} when
// it cannot be read.
std::pair<unsigned, bool> LineAt(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios2 t{};
    const bool ok = fd >= 0 && ::ioctl(fd, TCGETS2, &t) == 0;
    if (fd >= 0) ::close(fd);
    return ok ? std::pair<unsigned, bool>{t.c_ospeed, (t.c_cflag & PARODD) != 0}
              : std::pair<unsigned, bool>{0, false};
}

class UploadUnplugTest : public FaultRig {
  protected:
    void TearDown() override {
        FaultRig::TearDown();
        shared.comm.Lines = &LineControl::System();
    }
    OddParityKept lines_;
};

TEST_F(UploadUnplugTest, FailureBoxPortRestoredNoSpinAndCloseOpenRecovers) {
    shared.comm.Lines = &lines_;
    main->OnOpenClicked();                   // "Close"
    view.combo_selection[kParityCombo] = 1;  // odd
    main->OnOpenClicked();                   // "Open"
    ASSERT_TRUE(main->port_open());
    const int baud = shared.comm.BaudRate.load(), timeout = shared.comm.Timeout();
    ASSERT_EQ(LineAt(link_), (std::pair<unsigned, bool>{115200, true}));

    // 1024 blocks at 500000 baud with the wire's own time: well over a second.
    bus.SetWireTime(true);
    TestFolder dir;
    dir.Put("fw.bin", std::string(65536, '\x5A'));
    upgrade_view.file = dir.path() + "/fw.bin";
    upgrade->SetServo(1, FoundList(kServo1), 0, "");
    upgrade->OnOpen();
    upgrade->OnUpgrade();
    ASSERT_TRUE(WaitFor([&] {
        return !upgrade_view.positions.empty() && upgrade_view.positions.back() >= 5;
    })) << "the upload got under way";
    EXPECT_EQ(shared.comm.BaudRate.load(), 500000);

    ASSERT_EQ(sim::ExecuteControl(bus, "unplug"), "ok");
    ASSERT_TRUE(WaitFor([&] { return !upgrade_view.ended.empty(); }, 5000ms));
    EXPECT_EQ(upgrade_view.ended, std::vector<bool>{false});
    EXPECT_LT(upgrade_view.positions.back(), 1024);
    EXPECT_EQ(upgrade_view.boxes,
              std::vector<std::string>{"error Firmware upgrade: Firmware upgrade failed"});
    EXPECT_TRUE(upgrade_view.enabled[kUpgradeButton]);
    EXPECT_FALSE(upgrade->UpgradeRunning());
    // The port object is back at its speed and reply time-out; a line that is gone cannot
    // take settings, so its parity is seen on the line it is reopened on below.
    EXPECT_EQ(shared.comm.BaudRate.load(), baud);
    EXPECT_EQ(shared.comm.Timeout(), timeout);

    EXPECT_LT(CoreShareWhile("unplugged after the upload", 1000ms), 0.05);

    ASSERT_EQ(sim::ExecuteControl(bus, "replug"), "ok");
    bus.SetWireTime(false);
    ASSERT_TRUE(CloseAndOpen());
    EXPECT_EQ(LineAt(link_), (std::pair<unsigned, bool>{115200, true}));
    uint8_t record[9] = {};
    {
        std::lock_guard<BusLock> g(shared.lock);
        EXPECT_EQ(shared.tervion.Read(2, 0, record, 9), 9) << "servo 2 answers on the new line";
    }
    EXPECT_EQ(record[5], 2);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace faults
