// The serial port against a real pseudo-terminal: line settings as the far side sees them,
// raw bytes both ways, the total read time-out, and the port list from a sysfs-like tree.
#include "transport/cqv_comm.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pty_pair.h"
#include "tests/support/bytes_waiting.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "transport/line_control.h"
#include "transport/line_settings.h"

namespace {

namespace fs = std::filesystem;

termios2 FarSide(const PtyPair& pty) {
    termios2 t{};
    EXPECT_EQ(ioctl(pty.master(), TCGETS2, &t), 0);
    return t;
}

TEST(SerialPort, ClosedPortDoesNothing) {
    CQVComm port;
    uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReadBytes(buf, 4), 0);
    EXPECT_EQ(port.WriteBytes(buf, 4), 0);
    EXPECT_EQ(port.ConfigurePort(9600, 1, 25), 9600);
    EXPECT_EQ(port.Timeout(), 62);
    EXPECT_EQ(port.BaudRate, 115200);
    EXPECT_EQ(port.ClosePort(), 0);
    EXPECT_EQ(port.OpenPort("/nonexistent/ttyX"), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenPort("COM3"), 0);
    // A regular file is not a serial line.
    EXPECT_EQ(port.OpenPort("/proc/self/status"), 0);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, ConfigureSetsTimeoutLineSettingsAndReturnsThePreviousBaud) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CQVComm port;
    ASSERT_EQ(port.OpenPort(pty.path()), 1);
    EXPECT_TRUE(port.IsOpen());

    const int first = port.ConfigurePort(115200, 0, 50);
    EXPECT_GT(first, 0);  // whatever the terminal had
    EXPECT_EQ(port.Timeout(), 62);
    termios2 t = FarSide(pty);
    EXPECT_EQ(t.c_ospeed, 115200u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

    EXPECT_EQ(port.ConfigurePort(1000000, 1, 25), 115200);
    EXPECT_EQ(port.Timeout(), 26);
    t = FarSide(pty);
    EXPECT_EQ(t.c_ospeed, 1000000u);
    // The pseudo-terminal driver drops the parity-enable bit; the odd/even choice stays
    // visible.
    EXPECT_NE(t.c_cflag & PARODD, 0u);

    EXPECT_EQ(port.ConfigurePort(250000, 2, 25), 1000000);
    t = FarSide(pty);
    EXPECT_EQ(t.c_ospeed, 250000u);
    EXPECT_EQ(t.c_cflag & PARODD, 0u);

    EXPECT_EQ(port.SetBaud(76800, 1), 250000);
    EXPECT_EQ(port.Timeout(), 25 + 18);
    t = FarSide(pty);
    EXPECT_EQ(t.c_ospeed, 76800u);
    EXPECT_NE(t.c_cflag & PARODD, 0u);

    EXPECT_EQ(port.ConfigurePort(9600, 0, 25), 76800);
    EXPECT_EQ(port.Timeout(), 171);
    EXPECT_EQ(port.BaudRate, 9600);
    EXPECT_EQ(port.ExtraTimeout, 25);

    // Nonsense baud rates leave the line alone instead of dividing by zero.
    EXPECT_EQ(port.ConfigurePort(0, 0, 25), 9600);
    EXPECT_EQ(FarSide(pty).c_ospeed, 9600u);
    EXPECT_EQ(port.SetTimeout(500), 171);
    EXPECT_EQ(port.SetTimeout(171), 500);
}

TEST(SerialPort, EveryByteValuePassesUnchangedBothWays) {
    PtyPair pty;
    CQVComm port;
    ASSERT_TRUE(pty.Open(port, 115200, 200));

    uint8_t all[256];
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(::write(pty.master(), all, 256), 256);
    uint8_t got[256] = {};
    ASSERT_EQ(port.ReadBytes(got, 256), 256);
    EXPECT_EQ(0, memcmp(all, got, 256));

    EXPECT_EQ(port.WriteBytes(all, 256), 256);
    const std::string back = pty.Drain();
    ASSERT_EQ(back.size(), 256u);
    EXPECT_EQ(0, memcmp(all, back.data(), 256));
}

// Descriptors of this process open on path.
int OpenHandlesOn(const std::string& path) {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(e.path(), ec) == path) ++n;
    }
    return n;
}

TEST(SerialPort, AFailedOpenLeavesNoOldHandleOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CQVComm port;
    for (const std::string next : {"", "/proc/self/status", "/nonexistent/ttyX"}) {
        ASSERT_EQ(port.OpenPort(pty.path()), 1);
        ASSERT_EQ(OpenHandlesOn(pty.path()), 1);
        EXPECT_EQ(port.OpenPort(next), 0) << next;
        EXPECT_FALSE(port.IsOpen()) << next;
        EXPECT_EQ(OpenHandlesOn(pty.path()), 0) << next;
    }
    // Opening the same line again does not trip over its own exclusive hold.
    ASSERT_EQ(port.OpenPort(pty.path()), 1);
    EXPECT_EQ(port.OpenPort(pty.path()), 1);
    EXPECT_EQ(OpenHandlesOn(pty.path()), 1);
}

TEST(SerialPort, PurgeCloseAndConfigureDropBytesAlreadyTakenFromTheLine) {
    PtyPair pty, other;
    ASSERT_TRUE(pty.ok() && other.ok());
    CQVComm port;
    ASSERT_EQ(port.OpenPort(pty.path()), 1);
    port.ConfigurePort(115200, 0, 20);
    uint8_t buf[4] = {};
    // One byte asked, six arrived: the other five wait inside the port.
    const auto stale = [&] {
        ASSERT_EQ(::write(pty.master(), "\xFF\xFF\x01\x02\x00\xFC", 6), 6);
        ASSERT_EQ(port.ReadBytes(buf, 1), 1);
    };
    stale();
    port.PurgeReceive();
    ASSERT_EQ(::write(pty.master(), "\x42", 1), 1);
    EXPECT_EQ(port.ReadBytes(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x42);

    stale();
    port.ConfigurePort(115200, 0, 20);
    EXPECT_EQ(port.ReadBytes(buf, 4), 0);

    stale();
    ASSERT_EQ(port.OpenPort(other.path()), 1);
    port.ConfigurePort(115200, 0, 20);
    ASSERT_EQ(::write(other.master(), "\x43", 1), 1);
    EXPECT_EQ(port.ReadBytes(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x43);
}

// Stands in for the line-state calls a pseudo-terminal cannot carry: it logs the modem
// lines and reports the parity a real port would have kept.
class RecordingLines : public LineControl {
  public:
    bool GetSettings(int fd, termios2& t) override {
        if (!LineControl::GetSettings(fd, t)) return false;
        t.c_cflag = (t.c_cflag & ~(PARENB | PARODD)) | parity;
        return true;
    }
    void SetModemLine(int, int line, bool on) override {
        log += line == TIOCM_DTR ? "DTR" : line == TIOCM_RTS ? "RTS" : "?";
        log += on ? "+ " : "- ";
    }
    tcflag_t parity = 0;
    std::string log;
};

TEST(SerialPort, ConfigureRaisesDtrDropsRtsAndSavesTheParityItFound) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    RecordingLines lines;
    CQVComm port;
    port.Lines = &lines;
    port.ClearDtr(false);  // closed: nothing reaches the line
    EXPECT_EQ(lines.log, "");
    ASSERT_EQ(port.OpenPort(pty.path()), 1);

    const struct {
        tcflag_t found;
        int saved;
    } cases[] = {{PARENB | PARODD, 1}, {PARENB, 2}, {0, 0}, {PARODD, 0}};
    for (const auto& c : cases) {
        lines.parity = c.found;
        lines.log.clear();
        port.ConfigurePort(115200, 2, 25);
        EXPECT_EQ(port.SavedParity, c.saved) << c.found;
        EXPECT_EQ(lines.log, "DTR+ RTS- ");
    }
    lines.log.clear();
    port.ClearDtr(true);
    port.ClearRts(false);
    port.ClearDtr(false);
    port.ClearRts(true);
    EXPECT_EQ(lines.log, "DTR- RTS+ DTR+ RTS- ");
}

TEST(SerialPort, PurgeDropsWhatHasArrived) {
    PtyPair pty;
    CQVComm port;
    ASSERT_TRUE(pty.Open(port, 115200, 20));
    ASSERT_EQ(::write(pty.master(), "\xFF\xFF\x01", 3), 3);
    ASSERT_TRUE(WaitUntil([&] { return BytesWaiting(pty.path()) == 3; }));
    port.PurgeReceive();
    ASSERT_EQ(::write(pty.master(), "\x42", 1), 1);
    uint8_t buf[4] = {};
    EXPECT_EQ(port.ReadBytes(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x42);
}

TEST(SerialPort, ReadTimeoutCoversAllBytesTogether) {
    PtyPair pty;
    CQVComm port;
    ASSERT_TRUE(pty.Open(port, 1000000, 100));  // 101 ms

    // Bytes trickling in every 30 ms would all be read if the time-out applied per byte.
    std::thread device([&] {
        for (int i = 0; i < 20; ++i) {
            const uint8_t b = static_cast<uint8_t>(i);
            if (::write(pty.master(), &b, 1) != 1) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    uint8_t buf[20];
    const auto start = std::chrono::steady_clock::now();
    const int got = port.ReadBytes(buf, 20);
    const auto took = std::chrono::steady_clock::now() - start;
    device.join();
    EXPECT_GT(got, 0);
    EXPECT_LT(got, 20);
    // The read waits out the whole time-out for the bytes still missing, no less.
    EXPECT_GE(took, std::chrono::milliseconds(101));
    EXPECT_LT(took, std::chrono::seconds(5));  // sanity only: the read did not hang

    // A silent line returns nothing, after the time-out; a line whose far end is gone
    // returns as well.
    port.PurgeReceive();
    const auto silent = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadBytes(buf, 4), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - silent, std::chrono::milliseconds(101));
    pty.CloseMaster();
    const auto hangup = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadBytes(buf, 4), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - hangup, std::chrono::seconds(5));
    EXPECT_EQ(port.ClosePort(), 0);
    EXPECT_EQ(port.ReadBytes(buf, 4), 0);
}

TEST(LineSettings, RawEightBitsWithTheChosenParity) {
    termios2 cooked{};
    cooked.c_iflag = ICRNL | IXON | IXOFF | ISTRIP;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_lflag = ECHO | ICANON | ISIG;
    cooked.c_cflag = B9600 | CS7 | CSTOPB | CRTSCTS | PARENB | PARODD | HUPCL;
    cooked.c_cc[VMIN] = 1;

    termios2 t = cooked;
    line_settings::MakeRawLine(t, 250000, 2);
    EXPECT_EQ(t.c_iflag, 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag, 0u);
    // 8 data bits, even parity, one stop bit, no flow control; HUPCL is kept.
    EXPECT_EQ(t.c_cflag, static_cast<tcflag_t>(BOTHER | (BOTHER << IBSHIFT) | CS8 | PARENB | HUPCL |
                                               CREAD | CLOCAL));
    EXPECT_EQ(t.c_ospeed, 250000u);
    EXPECT_EQ(t.c_ispeed, 250000u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(line_settings::ParityIndex(t), 2);
    for (int index : {0, 1, 3}) {
        t = cooked;
        line_settings::MakeRawLine(t, 9600, index);
        EXPECT_EQ(line_settings::ParityIndex(t), index == 1 ? 1 : 0) << index;
    }
}

class PortTree : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = folder_.path();
        fs::create_directories(root_ / "class");
        fs::create_directories(root_ / "drivers/usbserial");
        fs::create_directories(root_ / "drivers/serial8250");
    }

    // A tty entry; `device` empty means none, `driver` empty means no driver bound.
    void AddTty(const std::string& name, const std::string& device, const std::string& driver) {
        fs::create_directories(root_ / "class" / name);
        if (device.empty()) return;
        const fs::path dev = root_ / "devices" / name / device;
        fs::create_directories(dev);
        fs::create_directory_symlink(dev, root_ / "class" / name / "device");
        if (!driver.empty())
            fs::create_directory_symlink(root_ / "drivers" / driver, dev / "driver");
    }
    std::string Class() const { return (root_ / "class").string(); }

    TestFolder folder_;
    fs::path root_;
};

TEST_F(PortTree, ListsPortsWithADriverInNaturalOrder) {
    AddTty("ttyUSB10", "1-1.4:1.0", "usbserial");
    AddTty("ttyUSB2", "1-1.2:1.0", "usbserial");
    AddTty("ttyACM0", "1-2:1.0", "usbserial");
    AddTty("ttyS0", "00:05", "serial8250");       // on-board port announced by firmware
    AddTty("ttyS1", "serial8250", "serial8250");  // placeholder of the legacy driver
    AddTty("ttyS2", "serial8250/serial8250:0/serial8250:0.2", "serial8250");
    AddTty("ttyUSB3", "1-3:1.0", "");  // unbound
    AddTty("tty1", "", "");            // virtual console
    CQVComm port;
    port.SysClassTty = Class();
    EXPECT_EQ(port.PortCount, -1);
    ASSERT_EQ(port.EnumeratePorts(), 4);
    EXPECT_EQ(port.PortNames[0], "/dev/ttyACM0");
    EXPECT_EQ(port.PortNames[1], "/dev/ttyS0");
    EXPECT_EQ(port.PortNames[2], "/dev/ttyUSB2");
    EXPECT_EQ(port.PortNames[3], "/dev/ttyUSB10");
    EXPECT_EQ(port.PortNames[4], "");

    // Cannot look: the old list stays.
    port.SysClassTty = (root_ / "missing").string();
    EXPECT_EQ(port.EnumeratePorts(), 4);
    EXPECT_EQ(port.PortNames[3], "/dev/ttyUSB10");

    // Nothing there: an empty list.
    fs::create_directories(root_ / "empty");
    port.SysClassTty = (root_ / "empty").string();
    EXPECT_EQ(port.EnumeratePorts(), 0);
    EXPECT_EQ(port.PortNames[0], "");
}

TEST_F(PortTree, KeepsAtMost256Names) {
    for (int i = 0; i < 300; ++i) AddTty("ttyUSB" + std::to_string(i), "d", "usbserial");
    CQVComm port;
    port.SysClassTty = Class();
    ASSERT_EQ(port.EnumeratePorts(), 256);
    EXPECT_EQ(port.PortNames[0], "/dev/ttyUSB0");
    EXPECT_EQ(port.PortNames[255], "/dev/ttyUSB255");
}

}  // namespace
