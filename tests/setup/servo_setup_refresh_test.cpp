// RefreshFromServer and IsFileCurrent end to end against vexa-server on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "setup_test_util.h"
#include "tests/support/server_child.h"

using setup_test::kModel;
using setup_test::kModelEnd;

namespace {

const std::string kSampleDir = std::string(VEXA_RESOURCE_DIR) + "/setup/";

class RefreshTest : public ::testing::Test {
  protected:
    RefreshTest() : strings_(false), settings_(config_.dir()), setup_(strings_, settings_) {
        std::filesystem::create_directories(root_.dir() + "setup");
        setenv("TMPDIR", temp_.dir().c_str(), 1);
        setenv("VEXA_CONFIG_DIR", config_.dir().c_str(), 1);
    }
    ~RefreshTest() override {
        server_.reset();
        unsetenv("TMPDIR");
        unsetenv("VEXA_CONFIG_DIR");
        unsetenv("VEXA_UPDATE_SERVER");
    }

    // Publishes a file on the server under its setup folder.
    void Publish(const std::string& name, const std::string& bytes) {
        root_.Put("setup/" + name, bytes);
    }
    void PublishSamples() {
        for (const char* name : {"setup_en.log", "setup_modbus_en.log", "setup_pwm_en.log"}) {
            Publish(name, Slurp(kSampleDir + name));
        }
    }
    void Manifest(const std::string& text) { root_.Put("manifest.txt", text); }
    std::string Local(const std::string& name) { return Slurp(temp_.dir() + name); }
    bool LocalExists(const std::string& name) {
        return std::filesystem::exists(temp_.dir() + name);
    }
    // The names in the download folder, to see that failed downloads leave nothing behind.
    std::set<std::string> TempListing() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(temp_.dir())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    void StartServer() {
        server_ = std::make_unique<ServerChild>(root_.dir());
        ASSERT_NE(server_->port(), 0);
        setenv("VEXA_UPDATE_SERVER", server_->address().c_str(), 1);
    }

    TestFolder root_, temp_, config_;
    StringTable strings_;
    SettingsStore settings_;
    ServoSetup setup_;
    std::unique_ptr<ServerChild> server_;
};

const std::string kDates =
    "[setup_en.log]\ncreatedDate=1700000000001\n"
    "[setup_modbus_en.log]\ncreatedDate=1700000000002\n"
    "[setup_pwm_en.log]\ncreatedDate=1700000000003\n";

TEST_F(RefreshTest, FreshDownloadThenSameDateKeepsTheLocalCopy) {
    PublishSamples();
    Manifest(kDates);
    StartServer();
    ASSERT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_en.log"), Slurp(kSampleDir + "setup_en.log"));
    EXPECT_EQ(Local("setup_modbus_en.log"), Slurp(kSampleDir + "setup_modbus_en.log"));
    EXPECT_EQ(Local("setup_pwm_en.log"), Slurp(kSampleDir + "setup_pwm_en.log"));
    EXPECT_EQ(settings_.Read("setup_en.log"), "1700000000001");
    EXPECT_EQ(settings_.Read("setup_modbus_en.log"), "1700000000002");
    EXPECT_EQ(settings_.Read("setup_pwm_en.log"), "1700000000003");
    EXPECT_EQ(TempListing(),
              (std::set<std::string>{"setup_en.log", "setup_modbus_en.log", "setup_pwm_en.log"}));
    // The lookups now read the downloaded copies.
    uint8_t vx40[5] = {3, 6, 0, 4, 0};
    EXPECT_EQ(setup_.LookupModelName(setup_.MainName(), vx40), "VX40 servo (4096 steps)");

    // Same date on the server: the local copy is used as it is, not written again.
    temp_.Put("setup_en.log", kModel + "\n4,0,9,0,Edited here\n" + kModelEnd + "\n");
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 1);
    ASSERT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(setup_.LookupModelName(setup_.MainName(), vx40), "Edited here");

    // A new date on the server: downloaded again.
    Manifest("[setup_en.log]\ncreatedDate=1700000000009\n");
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 2);
    ASSERT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_en.log"), Slurp(kSampleDir + "setup_en.log"));
    EXPECT_EQ(settings_.Read("setup_en.log"), "1700000000009");
}

TEST_F(RefreshTest, IsFileCurrentAndStoreFileDate) {
    Publish("setup_en.log", "content");
    Manifest("[setup_en.log]\ncreatedDate=42\n");
    StartServer();
    // No local copy: download, whatever the stored date says.
    EXPECT_EQ(setup_.StoreFileDate("setup_en.log", "42"), 0);
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 2);
    temp_.Put("setup_en.log", "local");
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 1);
    EXPECT_EQ(setup_.StoreFileDate("setup_en.log", "41"), 0);
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 2);
    EXPECT_EQ(setup_.StoreFileDate("setup_en.log", "42 "), 0);
    EXPECT_EQ(setup_.IsFileCurrent("setup_en.log", temp_.dir()), 2);
    // No stored date at all.
    SettingsStore empty(config_.dir() + "other");
    ServoSetup fresh(strings_, empty);
    EXPECT_EQ(fresh.IsFileCurrent("setup_en.log", temp_.dir()), 2);
    // Nothing on the server for this name: keep the local copy.
    temp_.Put("setup_pwm_en.log", "local");
    EXPECT_EQ(setup_.IsFileCurrent("setup_pwm_en.log", temp_.dir()), 1);

    // A settings folder that cannot be created.
    config_.Put("plain-file", "x");
    SettingsStore broken(config_.dir() + "plain-file/sub");
    ServoSetup unstorable(strings_, broken);
    EXPECT_EQ(unstorable.StoreFileDate("setup_en.log", "1"), -1);
}

TEST_F(RefreshTest, DataNullKeepsALocalCopyAndCountsOtherwise) {
    Publish("setup_en.log", Slurp(kSampleDir + "setup_en.log"));
    Manifest(kDates);
    temp_.Put("setup_pwm_en.log", "kept pwm file");
    StartServer();
    // Main downloaded, PWM kept (data null, local copy), Modbus missing: one failure.
    ASSERT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_pwm_en.log"), "kept pwm file");
    EXPECT_FALSE(LocalExists("setup_modbus_en.log"));
    EXPECT_FALSE(settings_.Read("setup_modbus_en.log").has_value());
    EXPECT_FALSE(settings_.Read("setup_pwm_en.log").has_value());
    uint8_t modbus[5] = {2, 10, 1, 8, 5};
    EXPECT_EQ(setup_.LookupModelName(setup_.ModbusName(), modbus), setup_test::kUnknown);
}

TEST_F(RefreshTest, AllThreeFailingIsFalse) {
    StartServer();  // serves nothing
    EXPECT_FALSE(setup_.RefreshFromServer());
    EXPECT_TRUE(TempListing().empty());
}

TEST_F(RefreshTest, ServerDownUsesLocalCopiesOnly) {
    StartServer();
    const std::string address = server_->address();
    server_.reset();  // the port is closed now
    setenv("VEXA_UPDATE_SERVER", address.c_str(), 1);
    EXPECT_FALSE(setup_.RefreshFromServer());
    temp_.Put("setup_modbus_en.log", "local modbus");
    EXPECT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_modbus_en.log"), "local modbus");
}

TEST_F(RefreshTest, NoTemporaryFolderIsFalse) {
    setenv("TMPDIR", (temp_.dir() + "missing").c_str(), 1);
    setenv("VEXA_UPDATE_SERVER", "127.0.0.1:1", 1);
    EXPECT_FALSE(setup_.RefreshFromServer());
}

// The reply names the file to write; only a plain name in the download folder is accepted.
TEST_F(RefreshTest, HostileFileNameIsRefused) {
    PublishSamples();
    temp_.Put("setup_en.log", "old main file");
    StartServer();
    const std::string outside = root_.dir() + "escaped.log";
    for (const std::string& hostile :
         {std::string("../escaped.log"), outside, std::string("sub/setup_en.log"),
          std::string(".."), std::string("."), std::string("a\\b.log"), std::string("")}) {
        SCOPED_TRACE(hostile);
        Manifest("[setup_en.log]\nfilename=" + hostile + "\ncreatedDate=5\n");
        // The other two files arrive, so the refresh as a whole succeeds.
        EXPECT_TRUE(setup_.RefreshFromServer());
        EXPECT_EQ(Local("setup_en.log"), "old main file");
        EXPECT_FALSE(settings_.Read("setup_en.log").has_value());
        EXPECT_FALSE(std::filesystem::exists(outside));
        EXPECT_FALSE(std::filesystem::exists(
            std::filesystem::path(temp_.dir()).parent_path().parent_path() / "escaped.log"));
        EXPECT_EQ(TempListing(), (std::set<std::string>{"setup_en.log", "setup_modbus_en.log",
                                                        "setup_pwm_en.log"}));
    }
    // A plain name other than the one asked for is written under that name.
    Manifest("[setup_en.log]\nfilename=renamed.log\ncreatedDate=6\n");
    EXPECT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("renamed.log"), Slurp(kSampleDir + "setup_en.log"));
    EXPECT_EQ(Local("setup_en.log"), "old main file");
}

TEST_F(RefreshTest, OversizeFileIsRefusedWhole) {
    Publish("setup_en.log", std::string(51201, 'x'));
    Publish("setup_pwm_en.log", std::string(51200, 'y'));
    temp_.Put("setup_en.log", "old main file");
    StartServer();
    EXPECT_TRUE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_en.log"), "old main file");
    EXPECT_FALSE(settings_.Read("setup_en.log").has_value());
    EXPECT_EQ(Local("setup_pwm_en.log"), std::string(51200, 'y'));
    EXPECT_EQ(TempListing(), (std::set<std::string>{"setup_en.log", "setup_pwm_en.log"}));
}

TEST_F(RefreshTest, DownloadBrokenOffHalfWayLeavesTheOldCopy) {
    // Only the main file is on the server. Its date query (the first request) passes whole
    // and names a newer copy than the one kept, so the download (the second) is made and
    // breaks off: the third failure, so the refresh fails.
    Publish("setup_en.log", Slurp(kSampleDir + "setup_en.log"));
    Manifest("[setup_en.log]\ncut=200\ncut_from=2\ncreatedDate=7\n");
    temp_.Put("setup_en.log", "old main file");
    ASSERT_TRUE(settings_.Write("setup_en.log", "6"));
    StartServer();
    EXPECT_FALSE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_en.log"), "old main file");
    EXPECT_EQ(settings_.Read("setup_en.log"), "6");
    EXPECT_EQ(TempListing(), (std::set<std::string>{"setup_en.log"}));
    // An empty file is nothing to use either.
    Publish("setup_en.log", "");
    Manifest("[setup_en.log]\ncreatedDate=8\n");
    EXPECT_FALSE(setup_.RefreshFromServer());
    EXPECT_EQ(Local("setup_en.log"), "old main file");
    EXPECT_EQ(settings_.Read("setup_en.log"), "6");
}

// The local write itself fails after 1000 bytes (file size limit): the old copy stays whole
// and no partial file is left beside it.
TEST_F(RefreshTest, WriteFailingHalfWayLeavesTheOldCopy) {
    Publish("setup_en.log", Slurp(kSampleDir + "setup_en.log"));
    temp_.Put("setup_en.log", "old main file");
    StartServer();
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = setup_.RefreshFromServer();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
    EXPECT_FALSE(result);  // main refused, Modbus and PWM files missing on the server
    EXPECT_EQ(Local("setup_en.log"), "old main file");
    EXPECT_FALSE(settings_.Read("setup_en.log").has_value());
    EXPECT_EQ(TempListing(), (std::set<std::string>{"setup_en.log"}));
}

}  // namespace
