#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "definitions/server_query.h"
#include "platform/settings_store.h"
#include "tests/support/server_child.h"
#include "tests/support/test_folder.h"
#include "tools/server/update_server.h"

namespace {

class CheckVersionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_.Put("program/Vexa.exe", "MZ program");
        root_.Put("manifest.txt", "[Vexa.exe]\nbanben=1.9.8.2\ncreatedDate=1600000000000\n");
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        PointAt(server_.port());
    }
    void TearDown() override { unsetenv("VEXA_UPDATE_SERVER"); }

    static void PointAt(int port) {
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    }

    TestFolder root_;
    TestFolder config_;
    UpdateServer server_{root_.path()};
    SettingsStore settings_{config_.path()};
};

}  // namespace

TEST_F(CheckVersionTest, SameBuildNewerBuildAndEmptyDate) {
    ASSERT_TRUE(settings_.Write("createdDate", "1600000000000"));
    EXPECT_EQ(CheckVersion(settings_), 0);
    EXPECT_EQ(server_.Requests(), std::vector<std::string>{"/zqgetzuixinbanben/Vexa.exe"});

    // One character different, shorter, longer: plain text comparison, no ordering.
    for (const char* stored :
         {"1600000000001", "160000000000", "16000000000000", "2000000000000"}) {
        ASSERT_TRUE(settings_.Write("createdDate", stored));
        EXPECT_EQ(CheckVersion(settings_), -4) << stored;
    }

    // The server describes the build without a date: that differs from any stored date.
    root_.Put("manifest.txt", "[Vexa.exe]\ncreatedDate=\n");
    EXPECT_EQ(CheckVersion(settings_), -4);
}

TEST_F(CheckVersionTest, MissingStoredDateSendsNoRequest) {
    EXPECT_EQ(CheckVersion(settings_), -1);
    ASSERT_TRUE(settings_.Write("setup_en.log", "1600000000000"));  // another value only
    EXPECT_EQ(CheckVersion(settings_), -1);
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(CheckVersionTest, ServerDownAndNothingStored) {
    ASSERT_TRUE(settings_.Write("createdDate", "1600000000000"));
    std::filesystem::remove(root_.path() + "/program/Vexa.exe");
    EXPECT_EQ(CheckVersion(settings_), -3);
    EXPECT_EQ(server_.RequestCount(), 1u);

    server_.Stop();
    EXPECT_EQ(CheckVersion(settings_), -2);
}

TEST(UpdateServerAddress, EnvironmentOverridesTheBuiltInHost) {
    unsetenv("VEXA_UPDATE_SERVER");
    EXPECT_EQ(UpdateServerHost(), "localhost");
    EXPECT_EQ(VersionQueryUrl("Vexa.exe"), "http://localhost:9048/zqgetzuixinbanben/Vexa.exe");
    EXPECT_EQ(FileQueryUrl("setup_en.log"),
              "http://localhost:9048/zqgetzuixinwenjian/setup_en.log");

    setenv("VEXA_UPDATE_SERVER", "updates.example.org", 1);
    EXPECT_EQ(UpdateServerBase(), "http://updates.example.org:9048");
    setenv("VEXA_UPDATE_SERVER", "10.0.0.5:8080", 1);
    EXPECT_EQ(FileQueryUrl("5.3"), "http://10.0.0.5:8080/zqgetzuixinwenjian/5.3");
    setenv("VEXA_UPDATE_SERVER", "[::1]:9000", 1);
    EXPECT_EQ(UpdateServerBase(), "http://[::1]:9000");

    // Texts that would smuggle credentials, paths or a bad port into the URL are ignored.
    for (const char* bad :
         {"user@evil.org", "host/path", "host:99999", "host:", "host:12a", "[::1", "a b"}) {
        setenv("VEXA_UPDATE_SERVER", bad, 1);
        EXPECT_EQ(UpdateServerBase(), "http://localhost:9048") << bad;
    }
    unsetenv("VEXA_UPDATE_SERVER");
}

// The vexa-server program itself: started on a free port, asked once, stopped by SIGTERM.
TEST(VexaServerProgram, PrintsItsAddressAnswersAndStopsOnSigterm) {
    TestFolder root;
    root.Put("setup/setup_en.log", "A\r\nB", 1600000000123);
    ServerChild server(root.path());
    ASSERT_NE(server.port(), 0);
    const int port = server.port();

    EXPECT_EQ(
        ServerGet("http://127.0.0.1:" + std::to_string(port) + "/zqgetzuixinwenjian/setup_en.log"),
        "{\"code\":0,\"data\":{\"createdDate\":\"1600000000123\",\"banben\":\"\","
        "\"filename\":\"setup_en.log\",\"xinghao\":\"\",\"wenjian\":\"QQ0KQg==\"}}");

    EXPECT_EQ(server.Stop(), 0);
}
