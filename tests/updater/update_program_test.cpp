// VexaUpdate's download run as a real program (vexa-cli self-update) against the real
// vexa-server, or against a bare socket server for replies no well-behaved server sends:
// hostile file names, replies cut short, and the demo's own update with the program file
// as the default preset builds it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>
#include <utility>

#include "definitions/server_query.h"
#include "platform/settings_store.h"
#include "tests/support/program_run.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/server_child.h"
#include "tests/support/test_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(VEXA_BIN_DIR) + "/tools/cli/vexa-cli";
const std::string kOldDate = "1600000000000";
// A small program and its Base64 text, written out by hand.
const std::string kProgram = "#!/bin/sh\necho new build 2.0\n";
const std::string kProgramBase64 = "IyEvYmluL3NoCmVjaG8gbmV3IGJ1aWxkIDIuMAo=";

std::string VersionReply(const std::string& filename) {
    return R"({"code":0,"data":{"createdDate":"1700000000000","banben":"2.0","filename":")" +
           filename + R"(","xinghao":""}})";
}

std::string FileReply(const std::string& filename) {
    return R"({"code":0,"data":{"createdDate":"1700000000000","banben":"2.0","filename":")" +
           filename + R"(","xinghao":"","wenjian":")" + kProgramBase64 + R"("}})";
}

std::string Head(const std::string& length_line) {
    return "HTTP/1.1 200 OK\r\n" + length_line + "Connection: close\r\n\r\n";
}

std::string LengthLine(size_t n) { return "Content-Length: " + std::to_string(n) + "\r\n"; }

// A bare server answering the version query and the file query with what reply gives for
// each (the whole HTTP response, head included).
RawHttpServer::Handler Replies(std::function<std::string(bool file)> reply) {
    return [reply](int fd, const std::string& request, const std::atomic<bool>&) {
        RawHttpServer::Send(fd, reply(request.find("/zqgetzuixinwenjian/") != std::string::npos));
    };
}

// The names in a folder.
std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

class UpdateProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        work_.Put("Vexa", "old build");
        ASSERT_TRUE(settings_.Write("createdDate", kOldDate));
    }
    ProgramRun SelfUpdate(const std::string& server) {
        return RunProgram(kCli, {"self-update", work_.path()},
                          {"VEXA_UPDATE_SERVER=" + server, "VEXA_CONFIG_DIR=" + config_.path(),
                           "LANG=C", "LC_ALL=", "LC_MESSAGES="});
    }
    // The old program, no other file, the old date.
    void ExpectNothingChanged(const std::string& what) {
        EXPECT_EQ(Listing(work_.path()), (std::set<std::string>{"Vexa"})) << what;
        EXPECT_EQ(Slurp(work_.path() + "/Vexa"), "old build") << what;
        EXPECT_EQ(settings_.Read("createdDate").value_or(""), kOldDate) << what;
    }

    TestFolder work_, config_;
    SettingsStore settings_{config_.path()};
};

TEST_F(UpdateProgram, NamesThatAreNotPlainProgramFilesChangeNothing) {
    // Through vexa-server: the download's own temporary file, in either case, and hidden
    // names.
    TestFolder root;
    root.Put("program/Vexa.exe", kProgram);
    ServerChild server(root.path());
    ASSERT_NE(server.port(), 0);
    for (const std::string name : {"Vexa.tmp", "vexa.TMP", ".Vexa", "..Vexa"}) {
        root.Put("manifest.txt", "[Vexa.exe]\nfilename=" + name + "\n");
        const ProgramRun run = SelfUpdate(server.address());
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err,
                  "The server named no plain program file (" + name + "); nothing was changed!\n");
        ExpectNothingChanged(name);
    }
    // Control characters come through unescaped only from a server that does not escape
    // them: they are refused, and shown escaped so that they cannot act on a terminal.
    const std::pair<std::string, std::string> controls[] = {
        {"Vexa\x1b[2J", "Vexa\\x1B[2J"},
        {std::string("Vexa\x7f", 5), "Vexa\\x7F"},
        {"Vexa\tx", "Vexa\\x09x"},
    };
    for (const auto& [name, shown] : controls) {
        RawHttpServer raw(Replies([&name = name](bool file) {
            const std::string body = file ? FileReply(name) : VersionReply(name);
            return Head(LengthLine(body.size())) + body;
        }));
        const ProgramRun run = SelfUpdate("127.0.0.1:" + std::to_string(raw.port()));
        EXPECT_EQ(run.status, 1) << shown;
        EXPECT_EQ(run.err,
                  "The server named no plain program file (" + shown + "); nothing was changed!\n");
        ExpectNothingChanged(shown);
    }
}

// The file reply sent without a length, ending where the connection is closed: only the
// whole reply installs the program.
TEST_F(UpdateProgram, AReplyCutShortWithoutALengthIsALostConnection) {
    const std::string whole = FileReply("Vexa");
    const size_t payload = whole.find(kProgramBase64);
    const size_t quote = payload + kProgramBase64.size();
    struct Cut {
        const char* what;
        size_t length;
    };
    const Cut cuts[] = {
        {"inside the payload", payload + 12},
        {"after the payload's closing quote", quote + 1},
        {"after the data object's brace", quote + 2},
    };
    for (const Cut& cut : cuts) {
        ASSERT_LT(cut.length, whole.size());
        RawHttpServer raw(Replies([&](bool file) {
            return file ? Head("") + whole.substr(0, cut.length) : Head("") + VersionReply("Vexa");
        }));
        const ProgramRun run = SelfUpdate("127.0.0.1:" + std::to_string(raw.port()));
        EXPECT_EQ(run.status, 1) << cut.what;
        EXPECT_EQ(run.err, "Network connection lost!\n") << cut.what;
        ExpectNothingChanged(cut.what);
    }
    // The whole reply, still without a length, is a success.
    RawHttpServer raw(
        Replies([&](bool file) { return Head("") + (file ? whole : VersionReply("Vexa")); }));
    const ProgramRun run = SelfUpdate("127.0.0.1:" + std::to_string(raw.port()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slurp(work_.path() + "/Vexa"), kProgram);
    EXPECT_EQ(settings_.Read("createdDate").value_or(""), "1700000000000");
}

// The demo's update path: the server folder and settings as scripts/demo.sh lays them out,
// with the Vexa program the default preset builds (debug information included, well over
// 11 MiB) as the server's newest build.
TEST_F(UpdateProgram, TheDemosServerServesTheBuildItAdvertises) {
    const std::string built = VEXA_PROGRAM_FILE;
    const std::string program = Slurp(built);
    ASSERT_GT(program.size(), 11u * 1024 * 1024) << built;
    TestFolder root;
    fs::create_directories(root.path() + "/program");
    fs::copy_file(built, root.path() + "/program/Vexa.exe");
    root.Put("manifest.txt", "[Vexa.exe]\nfilename=Vexa\nbanben=1.0.0\n");
    ServerChild server(root.path());
    ASSERT_NE(server.port(), 0);

    const ProgramRun run = SelfUpdate(server.address());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("File:Vexa\r\nVersion:1.0.0\r\n"), std::string::npos);
    ASSERT_GE(run.out.size(), 20u);
    EXPECT_EQ(run.out.substr(run.out.size() - 20), "Upgrade successful!\n");
    EXPECT_TRUE(Slurp(work_.path() + "/Vexa") == program);
    EXPECT_EQ(Listing(work_.path()), (std::set<std::string>{"Vexa"}));
    struct stat st {};
    ASSERT_EQ(::stat((work_.path() + "/Vexa").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
    const std::string version =
        ServerGet("http://" + server.address() + "/zqgetzuixinbanben/Vexa.exe");
    const std::string stored = settings_.Read("createdDate").value_or("");
    EXPECT_NE(stored, kOldDate);
    EXPECT_NE(version.find("\"createdDate\":\"" + stored + "\""), std::string::npos) << version;

    // A build larger than the server carries (over 128 MiB) is not advertised either: the
    // version reply says nothing is stored, and nothing changes.
    fs::resize_file(root.path() + "/program/Vexa.exe", 129ull * 1024 * 1024);
    EXPECT_EQ(ServerGet("http://" + server.address() + "/zqgetzuixinbanben/Vexa.exe"),
              R"({"code":0,"data":null})");
    EXPECT_EQ(ServerGet("http://" + server.address() + "/zqgetzuixinwenjian/Vexa.exe"),
              R"({"code":0,"data":null})");
    const ProgramRun none = SelfUpdate(server.address());
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "Vexa software was not detected!\n");
    EXPECT_TRUE(Slurp(work_.path() + "/Vexa") == program);
}

}  // namespace
