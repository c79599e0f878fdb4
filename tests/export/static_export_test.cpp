// vexa-server --export: the replies as static files, carried by nginx, read by the clients'
// own code (the setup-file refresh, the version check and VexaUpdate's download). New client
// checks against the export are one more TEST_F on ExportTest: Export(), Serve(), then
// point the client at web_->address() with VEXA_UPDATE_SERVER.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "definitions/server_query.h"
#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "tests/support/program_run.h"
#include "tests/support/test_folder.h"
#include "tools/server/update_server.h"
#include "web_server.h"

namespace {

namespace fs = std::filesystem;

const std::string kSamples = std::string(VEXA_RESOURCE_DIR) + "/setup/";
const std::string kServer = std::string(VEXA_BIN_DIR) + "/tools/server/vexa-server";
const char* const kSetupFiles[] = {"setup_en.log", "setup_modbus_en.log", "setup_pwm_en.log"};

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(e.path(), dir).string());
    return names;
}

class ExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(access(kNginx, X_OK), 0) << kNginx << " missing: scripts/install-deps.sh";
        for (const char* name : kSetupFiles)
            root_.Put(std::string("setup/") + name, Slurp(kSamples + name));
        root_.Put("program/Vexa.exe", "MZ new build");
        root_.Put("firmware/5.3/v3.hex", ":00000001FF\n");
        root_.Put("params/s5.3/standard.dat", std::string("\x01\x02\x00\x03", 4));
        root_.Put("manifest.txt",
                  "[Vexa.exe]\nbanben=1.9.8.2\ncreatedDate=1700000000123\n"
                  "[setup_en.log]\ncreatedDate=1700000000001\n"
                  "[setup_modbus_en.log]\ncreatedDate=1700000000002\n"
                  "[setup_pwm_en.log]\ncreatedDate=1700000000003\n");
        setenv("TMPDIR", downloads_.path().c_str(), 1);
        setenv("VEXA_CONFIG_DIR", config_.path().c_str(), 1);
    }
    void TearDown() override {
        web_.reset();
        for (const char* v : {"TMPDIR", "VEXA_CONFIG_DIR", "VEXA_UPDATE_SERVER"}) unsetenv(v);
    }

    // Runs the program; returns what it wrote (standard error first), or "exit N" when it
    // failed.
    std::string Export() {
        const ProgramRun run =
            RunProgram(kServer, {"--root", root_.path(), "--export", out_.path()});
        const std::string text = run.err + run.out;
        return run.status == 0 ? text : "exit " + std::to_string(run.status) + ": " + text;
    }
    void Serve(const std::string& extra) {
        web_ = std::make_unique<WebServer>(out_.path(), extra, nginx_.path());
        ASSERT_FALSE(web_->address().empty()) << web_->log();
        setenv("VEXA_UPDATE_SERVER", web_->address().c_str(), 1);
    }
    std::string Get(const std::string& address, const std::string& path) {
        return ServerGet("http://" + address + path);
    }

    TestFolder root_, out_, nginx_, downloads_, config_;
    std::unique_ptr<WebServer> web_;
};

const char* const kFallback =
    "location ~ ^/zqgetzuixin(banben|wenjian)/ { default_type application/json; try_files $uri "
    "/nothing-stored.json; }";

}  // namespace

TEST_F(ExportTest, NginxCarriesEveryReplyOfTheServerAndTheClientsWork) {
    ASSERT_EQ(Export(), "exported 6 names to " + out_.path() + "\n" + kFallback + "\n");
    EXPECT_EQ(Listing(out_.path()),
              (std::set<std::string>{
                  "nothing-stored.json", "zqgetzuixinbanben", "zqgetzuixinwenjian",
                  "zqgetzuixinbanben/5.3", "zqgetzuixinbanben/s5.3", "zqgetzuixinbanben/Vexa.exe",
                  "zqgetzuixinbanben/setup_en.log", "zqgetzuixinbanben/setup_modbus_en.log",
                  "zqgetzuixinbanben/setup_pwm_en.log", "zqgetzuixinwenjian/5.3",
                  "zqgetzuixinwenjian/s5.3", "zqgetzuixinwenjian/Vexa.exe",
                  "zqgetzuixinwenjian/setup_en.log", "zqgetzuixinwenjian/setup_modbus_en.log",
                  "zqgetzuixinwenjian/setup_pwm_en.log"}));
    Serve(kFallback);

    // Byte for byte what the running server answers, stored names and missing ones alike.
    UpdateServer server(root_.path());
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    const std::string live = "127.0.0.1:" + std::to_string(server.port());
    for (const std::string name : {"setup_en.log", "setup_modbus_en.log", "setup_pwm_en.log",
                                   "Vexa.exe", "5.3", "s5.3", "setup.log", "9.9", "s9.9"}) {
        for (const std::string query : {"/zqgetzuixinbanben/", "/zqgetzuixinwenjian/"}) {
            const std::string reply = Get(web_->address(), query + name);
            EXPECT_FALSE(reply.empty()) << query << name;
            EXPECT_EQ(reply, Get(live, query + name)) << query << name;
        }
    }
    EXPECT_EQ(Get(web_->address(), "/zqgetzuixinbanben/Vexa.exe"),
              R"({"code":0,"data":{"createdDate":"1700000000123","banben":"1.9.8.2",)"
              R"("filename":"Vexa.exe","xinghao":""}})");
    EXPECT_EQ(Get(web_->address(), "/zqgetzuixinwenjian/setup.log"), R"({"code":0,"data":null})");

    // The setup-file refresh downloads all three files from the export.
    StringTable strings(false);
    SettingsStore settings(config_.path());
    ServoSetup setup(strings, settings);
    ASSERT_TRUE(setup.RefreshFromServer());
    for (const char* name : kSetupFiles)
        EXPECT_EQ(Slurp(downloads_.path() + "/" + name), Slurp(kSamples + name)) << name;
    EXPECT_EQ(settings.Read("setup_modbus_en.log"), "1700000000002");

    // The version check compares the exported date with the one installed.
    ASSERT_TRUE(settings.Write("createdDate", "1700000000123"));
    EXPECT_EQ(CheckVersion(settings), 0);
    ASSERT_TRUE(settings.Write("createdDate", "1700000000122"));
    EXPECT_EQ(CheckVersion(settings), -4);
}

// Exporting again into the served folder: a file no longer stored loses its replies, and
// the clients then get "nothing stored" rather than the old build.
TEST_F(ExportTest, ReExportInPlaceDropsWhatIsNoLongerStored) {
    ASSERT_NE(Export().find("exported 6 names"), std::string::npos);
    Serve(kFallback);
    SettingsStore settings(config_.path());
    ASSERT_TRUE(settings.Write("createdDate", "1"));
    EXPECT_EQ(CheckVersion(settings), -4);

    fs::remove(root_.path() + "/program/Vexa.exe");
    root_.Put("setup/setup_pwm_en.log", "changed");
    ASSERT_NE(Export().find("exported 5 names"), std::string::npos);
    EXPECT_FALSE(fs::exists(out_.path() + "/zqgetzuixinwenjian/Vexa.exe"));
    EXPECT_EQ(CheckVersion(settings), -3);
    const std::string reply = Get(web_->address(), "/zqgetzuixinwenjian/setup_pwm_en.log");
    EXPECT_NE(reply.find(R"("wenjian":"Y2hhbmdlZA==")"), std::string::npos) << reply;
    // No half-written file is left beside the replies.
    for (const std::string& name : Listing(out_.path()))
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

// VexaUpdate's download (through vexa-cli) from the export: the old program is replaced
// by the exported build, made executable, and its date recorded.
TEST_F(ExportTest, SelfUpdateInstallsTheExportedBuild) {
    ASSERT_NE(Export().find("exported 6 names"), std::string::npos);
    Serve(kFallback);
    TestFolder work;
    work.Put("Vexa.exe", "MZ old build");
    const ProgramRun run =
        RunProgram(std::string(VEXA_BIN_DIR) + "/tools/cli/vexa-cli", {"self-update", work.path()});
    const std::string out = run.err + run.out;
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_EQ(out.rfind("File:Vexa.exe\r\nVersion:1.9.8.2\r\nUpload:", 0), 0u) << out;
    const std::string tail = "\r\nVersion registered successfully!\nUpgrade successful!\n";
    ASSERT_GT(out.size(), tail.size()) << out;
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);

    EXPECT_EQ(Slurp(work.path() + "/Vexa.exe"), "MZ new build");
    EXPECT_EQ(access((work.path() + "/Vexa.exe").c_str(), X_OK), 0);
    EXPECT_EQ(Listing(work.path()), std::set<std::string>{"Vexa.exe"});  // no Vexa.tmp, no .part
    EXPECT_EQ(SettingsStore(config_.path()).Read("createdDate"), "1700000000123");
}
