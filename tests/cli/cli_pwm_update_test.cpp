// vexa-cli's PWM page commands against the simulated adapter, and self-update against a
// real update server: bytes on the wire, output and exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/pwm/pwm_fixture.h"
#include "tests/updater/update_fixture.h"
#include "tools/cli/cli_runner.h"

namespace {

struct CliResult {
    int status;
    std::string out, err;
};

CliResult Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

class CliPwm : public PwmBus {};

TEST_F(CliPwm, PulseOpensTheTabSetsLimitsPressesAPresetAndLeaves) {
    const CliResult r = Cli({"--port", bus_.port_path(), "pwm", "pulse", "2500", "--max", "2000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2000us\n");
    AwaitRequests(5);  // before the next run's port set-up flushes what is unread
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 09 00 F2", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 05 03 21 D0 07 02", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 04 03 09 01 F1"}));
    EXPECT_EQ(Pulses(), (std::vector<int>{1500, 2000}));  // 1500: the switch before the pulse

    const CliResult plain = Cli({"--port", bus_.port_path(), "--end", "1", "pwm", "pulse", "1500"});
    EXPECT_EQ(plain.out, "1500us\n");
    AwaitRequests(9);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 09 00 F2", "FF FF FD 05 03 21 DC 05 F8",
                                        "FF FF FD 04 03 23 01 D7", "FF FF FD 04 03 09 01 F1"}));

    // A "Max" of 0 is pulled back to 500: no 0 µs pulse.
    const CliResult zero = Cli({"--port", bus_.port_path(), "pwm", "pulse", "1500", "--max", "0"});
    EXPECT_EQ(zero.out, "500us\n");
    AwaitRequests(14);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 09 00 F2", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 05 03 21 F4 01 E4", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 04 03 09 01 F1"}));
}

TEST_F(CliPwm, OnAndOffAndUsage) {
    const CliResult on = Cli({"--port", bus_.port_path(), "pwm", "on"});
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.out, "500 2500\n");
    // The next run's port set-up flushes what the simulator has not read yet.
    AwaitRequests(3);
    const CliResult off = Cli({"--port", bus_.port_path(), "pwm", "off"});
    EXPECT_EQ(off.status, 0);
    AwaitRequests(6);
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"FF FF FD 04 03 09 00 F2", "FF FF FD 04 03 23 01 D7",
                                        "FF FF FD 04 03 09 01 F1", "FF FF FD 04 03 09 00 F2",
                                        "FF FF FD 04 03 23 00 D8", "FF FF FD 04 03 09 01 F1"}));
    EXPECT_EQ(adapter_.Peek(35), 0);
    for (const auto& args : std::vector<std::vector<std::string>>{{"pwm"},
                                                                  {"pwm", "pulse"},
                                                                  {"pwm", "pulse", "x"},
                                                                  {"pwm", "pulse", "900", "--min"},
                                                                  {"pwm", "sweep"},
                                                                  {"pwm", "on", "1"}}) {
        std::vector<std::string> full = {"--port", bus_.port_path()};
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(Cli(full).status, 2) << args.back();
    }
    EXPECT_EQ(Cli({"pwm", "on"}).status, 2);  // no port
    EXPECT_TRUE(Sent().empty());
}

class CliSelfUpdate : public UpdateRun {
  protected:
    void SetUp() override {
        UpdateRun::SetUp();
        setenv("VEXA_CONFIG_DIR", config_.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("VEXA_CONFIG_DIR");
        UpdateRun::TearDown();
    }
};

TEST_F(CliSelfUpdate, LogAfterEachStepAndExitZeroOnlyOnSuccess) {
    Publish(Program(2000), "filename=Vexa\nbanben=2.0\ncreatedDate=1700000000000\n");
    const CliResult ok = Cli({"self-update", work_.path()});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(Slurp(Work("Vexa")), Program(2000));
    EXPECT_EQ(ok.err, "");
    const std::string head = "File:Vexa\r\nVersion:2.0\r\nUpload:";
    EXPECT_EQ(ok.out.rfind(head, 0), 0u) << ok.out;
    const size_t data = ok.out.find("Data:2.");
    ASSERT_NE(data, std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("kb\n" + head, data), std::string::npos) << ok.out;
    const std::string tail = "kb\r\nVersion registered successfully!\nUpgrade successful!\n";
    ASSERT_GT(ok.out.size(), tail.size());
    EXPECT_EQ(ok.out.substr(ok.out.size() - tail.size()), tail);
    EXPECT_EQ(settings_.Read("createdDate").value_or(""), "1700000000000");

    Publish(Program(2000), "filename=../Vexa\n");
    const CliResult bad = Cli({"self-update", work_.path()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "The server named no plain program file (../Vexa); nothing was changed!\n");
    EXPECT_EQ(Cli({"self-update", "a", "b"}).status, 2);
}

}  // namespace
