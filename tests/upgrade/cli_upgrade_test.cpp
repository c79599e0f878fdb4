// vexa-cli's Upgrade page commands end to end: the simulated bus on a pseudo-terminal and
// the update server on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/demo_bus.h"
#include "tests/support/test_folder.h"
#include "tools/cli/cli_runner.h"
#include "tools/server/update_server.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"

namespace {

class CliUpgrade : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartDemoBus(bus_), "");
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
        setenv("VEXA_CONFIG_DIR", config_.path().c_str(), 1);
    }
    void TearDown() override {
        server_.Stop();
        bus_.Stop();
        unsetenv("VEXA_UPDATE_SERVER");
        unsetenv("VEXA_CONFIG_DIR");
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(),
                    {"--port", bus_.port_path(), "--setup-dir", VEXA_RESOURCE_DIR "/setup"});
        return RunCli(args, out_, err_);
    }
    std::string Image(const std::string& name, size_t size, char fill) {
        work_.Put(name, std::string(size, fill));
        return work_.path() + "/" + name;
    }

    sim::SimBus bus_;
    TestFolder root_, config_, work_;
    UpdateServer server_{root_.path()};
    std::ostringstream out_, err_;
};

}  // namespace

TEST_F(CliUpgrade, CommtestPrintsEachPassWithLineFeeds) {
    ASSERT_EQ(Run({"commtest", "1,3,2", "2"}), 0) << err_.str();
    const std::string out = out_.str();
    EXPECT_EQ(out.find('\r'), std::string::npos);
    // Two passes of servos 1 and 2; servo 3 is another model.
    size_t lines = 0, at = 0;
    while ((at = out.find('\n', at)) != std::string::npos) ++lines, ++at;
    EXPECT_EQ(lines, 4u) << out;
    EXPECT_EQ(out.rfind("Servo ID:1  Response:", 0), 0u) << out;
    EXPECT_NE(out.find("Servo ID:2  Response:"), std::string::npos);
    EXPECT_EQ(out.find("Servo ID:3 "), std::string::npos);

    EXPECT_EQ(Run({"commtest", "9,1"}), 1);
    EXPECT_EQ(err_.str(), "no device at ID 9\n");
}

TEST_F(CliUpgrade, UpgradeShowsProgressAndRecoversAFailedUpload) {
    const std::string file = Image("fw.bin", 64 * 4, '\x11');
    ASSERT_EQ(Run({"upgrade", "1", file}), 0) << err_.str();
    EXPECT_EQ(err_.str(), "0%\n25%\n50%\n75%\n100%\n");
    EXPECT_EQ(bus_.uploads(), 1);

    // A loader that keeps refusing: the box's text, exit 1, the servo left in its loader.
    bus_.SetBootFaults({sim::BootFaults::kNakForever, 0});
    EXPECT_EQ(Run({"upgrade", "1", file}), 1);
    EXPECT_EQ(err_.str(), "0%\nFirmware upgrade failed\n");
    EXPECT_EQ(Run({"read", "1", "0", "2"}), 1) << "the application does not run";
    // The next upgrade reaches the device sitting in its loader.
    bus_.SetBootFaults({});
    ASSERT_EQ(Run({"upgrade", "1", file}), 0) << err_.str();
    EXPECT_EQ(bus_.uploads(), 2);
    ASSERT_EQ(Run({"read", "1", "0", "2"}), 0);
    EXPECT_EQ(out_.str(), "11 11\n");

    // --device plays the key for an Intel HEX file: a Modbus servo.
    work_.Put("fw.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    ASSERT_EQ(Run({"upgrade", "6", work_.path() + "/fw.hex", "--device", "modbus"}), 0)
        << err_.str();
    ASSERT_EQ(Run({"mb-read", "6", "0", "1"}), 0);
    EXPECT_EQ(out_.str(), "102\n");
    EXPECT_EQ(Run({"upgrade", "1", work_.path() + "/none.bin"}), 1);
}

TEST_F(CliUpgrade, UpgradeSendsNothingBeforeItsOwnFirstPacket) {
    // An empty image or an unknown kind of file: refused before any byte goes out, and the
    // servo keeps running its application.
    const long before = bus_.requests_seen();
    EXPECT_EQ(Run({"upgrade", "2", Image("empty.bin", 0, 0)}), 1);
    EXPECT_EQ(err_.str(),
              "The firmware file is empty!\ncannot load " + work_.path() + "/empty.bin\n");
    EXPECT_EQ(Run({"upgrade", "2", Image("fw.txt", 64, 1)}), 1);
    work_.Put("bad.hex", ":0400000001020304F3\r\n");
    EXPECT_EQ(Run({"upgrade", "2", work_.path() + "/bad.hex"}), 1);
    EXPECT_EQ(bus_.requests_seen(), before);
    ASSERT_EQ(Run({"read", "2", "0", "2"}), 0);

    // A firmware over 64 KiB in Intel HEX: its part under the second upper address follows
    // the first instead of landing on top of it. The loader reports the first two bytes.
    work_.Put("two.hex",
              ":020000040000FA\n:10FFF000ABCD11111111111111111111111111119B\n"
              ":020000040001F9\n:1000000022222222222222222222222222222222D0\n:00000001FF\n");
    bus_.RecordRequests(true);
    ASSERT_EQ(Run({"upgrade", "2", work_.path() + "/two.hex"}), 0) << err_.str();
    const auto requests = bus_.TakeRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), (std::vector<uint8_t>{0xFF, 0xFF, 0x02, 0x02, 0x08, 0xF3}))
        << "the restart into the loader comes first: no probe";
    ASSERT_EQ(Run({"read", "2", "0", "2"}), 0);
    EXPECT_EQ(out_.str(), "AB CD\n");
}

TEST_F(CliUpgrade, FirmwareOnlinePrintsTheLogAndCanUpgrade) {
    root_.Put("firmware/4.0/servo.bin", std::string(100, '\x07'));
    root_.Put("manifest.txt", "[4.0]\nbanben=3.7\n");
    ASSERT_EQ(Run({"firmware-online", "1"}), 0) << err_.str();
    const std::string out = out_.str();
    EXPECT_EQ(out.rfind("Model:4.0 [", 0), 0u) << out;
    EXPECT_NE(out.find("\nVersion:3.6-->3.7\nFile:servo.bin\nUpload:"), std::string::npos) << out;
    EXPECT_NE(out.find("\nOnline detection successful!\n"), std::string::npos);
    EXPECT_EQ(bus_.uploads(), 0);

    ASSERT_EQ(Run({"firmware-online", "1", "--upgrade"}), 0) << err_.str();
    EXPECT_NE(err_.str().find("100%"), std::string::npos);
    EXPECT_EQ(bus_.uploads(), 1);
    ASSERT_EQ(Run({"read", "1", "0", "2"}), 0);
    EXPECT_EQ(out_.str(), "07 07\n");

    // Model 6.2 has nothing stored.
    EXPECT_EQ(Run({"firmware-online", "3"}), 1);
    EXPECT_NE(out_.str().find("Version:No firmware detected!\n"), std::string::npos);
    EXPECT_EQ(err_.str(), "No firmware detected!\n");

    // No device: said at once, the server is not asked.
    const size_t asked = server_.Requests().size();
    EXPECT_EQ(Run({"firmware-online", "42"}), 1);
    EXPECT_EQ(err_.str(), "no device at ID 42\n");
    EXPECT_EQ(server_.Requests().size(), asked);
}
