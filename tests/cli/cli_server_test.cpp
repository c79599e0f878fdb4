// vexa-cli's update-server commands against a real server on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/test_folder.h"
#include "tools/cli/cli_runner.h"
#include "tools/server/update_server.h"

namespace {

class CliServer : public ::testing::Test {
  protected:
    void SetUp() override {
        root_.Put("setup/setup_en.log", std::string("line one\r\n\xFF\x00 tail", 16));
        root_.Put("program/Vexa.exe", "MZ build", 1700000000123LL);
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
        setenv("VEXA_CONFIG_DIR", config_.path().c_str(), 1);
    }
    void TearDown() override {
        server_.Stop();
        unsetenv("VEXA_UPDATE_SERVER");
        unsetenv("VEXA_CONFIG_DIR");
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunCli(args, out_, err_);
    }

    TestFolder root_, config_, work_;
    UpdateServer server_{root_.path()};
    std::ostringstream out_, err_;
};

}  // namespace

TEST_F(CliServer, FetchWritesTheDecodedFileAndRefusesMissingOnes) {
    const std::string out = work_.path() + "/copy.log";
    ASSERT_EQ(Run({"fetch", "setup_en.log", out}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "16 bytes\n");
    EXPECT_EQ(Slurp(out), std::string("line one\r\n\xFF\x00 tail", 16));

    // Nothing stored under that name: exit 1, the earlier file stays as it was.
    EXPECT_EQ(Run({"fetch", "setup_pwm_en.log", out}), 1);
    EXPECT_NE(err_.str().find("no file setup_pwm_en.log"), std::string::npos);
    EXPECT_EQ(Slurp(out).size(), 16u);

    EXPECT_EQ(Run({"fetch", "setup_en.log"}), 2);
}

TEST_F(CliServer, CheckVersionPrintsTheResult) {
    EXPECT_EQ(Run({"check-version"}), 0);
    EXPECT_EQ(out_.str(), "-1\n");  // no stored date yet
    { std::ofstream(config_.path() + "/settings.txt") << "createdDate=1700000000123\n"; }
    EXPECT_EQ(Run({"check-version"}), 0);
    EXPECT_EQ(out_.str(), "0\n");
    { std::ofstream(config_.path() + "/settings.txt") << "createdDate=1600000000000\n"; }
    EXPECT_EQ(Run({"check-version"}), 0);
    EXPECT_EQ(out_.str(), "-4\n");
    server_.Stop();
    EXPECT_EQ(Run({"check-version"}), 0);
    EXPECT_EQ(out_.str(), "-2\n");
}
