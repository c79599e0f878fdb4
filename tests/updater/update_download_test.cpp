// VexaUpdate's download procedure against vexa-server: what is written, what is stored, what
// the user is told, and what every failure leaves behind.
#include <time.h>

#include "definitions/server_query.h"
#include "tests/updater/update_fixture.h"

namespace {

using Result = UpdateDownload::Result;

class TimeZone {
  public:
    explicit TimeZone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool had_ = false;
    std::string old_;
};

TEST_F(UpdateRun, InstallsTheBuildKeepsItsModeAndMakesVexasCheckQuiet) {
    const TimeZone tz("UTC0");
    const std::string program = Program(5000);
    Publish(program, "filename=Vexa\nbanben=1.9.8.2\ncreatedDate=1694574245000\n");
    std::ofstream(Work("Vexa")) << "old build";
    ::chmod(Work("Vexa").c_str(), 0640);
    ASSERT_TRUE(settings_.Write("createdDate", "1600000000000"));
    ASSERT_EQ(CheckVersion(settings_), -4);

    ASSERT_EQ(Run(), Result::kSuccess);
    EXPECT_EQ(Slurp(Work("Vexa")), program);
    struct stat st {};
    ASSERT_EQ(::stat(Work("Vexa").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);  // the old mode, executable where readable
    EXPECT_FALSE(Exists(Work("Vexa.tmp")));
    EXPECT_FALSE(Exists(Work("Vexa.part")));
    EXPECT_EQ(settings_.Read("createdDate").value_or(""), "1694574245000");
    EXPECT_EQ(CheckVersion(settings_), 0);

    const std::string log = "File:Vexa\r\nVersion:1.9.8.2\r\nUpload:2023-9-13 3:4:5\r\n";
    ASSERT_FALSE(view_.logs.empty());
    EXPECT_EQ(view_.logs.front(), log);
    ASSERT_FALSE(view_.progress.empty());
    const std::string last = view_.progress.back().substr(log.size());
    EXPECT_EQ(view_.logs.back(), log + last + "\r\nVersion registered successfully!");
    EXPECT_EQ(view_.Messages(), (std::vector<std::string>{"note: Upgrade successful!"}));
    EXPECT_EQ(view_.enables, (std::vector<bool>{false, true}));
}

TEST_F(UpdateRun, ProgressCountsReplyBytesAndShowsLocalTimeWithoutLeadingZeros) {
    const TimeZone tz("CST-8");
    const std::string program = Program(600);
    // 1143 characters of banben make the file-query reply exactly 2048 bytes long.
    Publish(program,
            "filename=Vexa\ncreatedDate=1694574245000\nbanben=" + std::string(1143, 'v') + "\n");
    ASSERT_EQ(Run(), Result::kSuccess);
    ASSERT_FALSE(view_.progress.empty());
    const std::string& last = view_.progress.back();
    EXPECT_EQ(last.substr(last.size() - 11), "Data:2.00kb");
    EXPECT_NE(view_.logs.front().find("Upload:2023-9-13 11:4:5\r\n"), std::string::npos);
    // 1023-byte reads: 1023, 2046, 2048 bytes.
    EXPECT_EQ(view_.progress.size(), 3u);
    EXPECT_EQ(Slurp(Work("Vexa")), program);
}

TEST_F(UpdateRun, PayloadThatBeginsSeveralReadsIntoTheReply) {
    const std::string program = Program(3000);
    Publish(program, "filename=Vexa\nbanben=" + std::string(3500, 'b') + "\n");
    ASSERT_EQ(Run(), Result::kSuccess);
    EXPECT_EQ(Slurp(Work("Vexa")), program);
}

TEST_F(UpdateRun, HostileNamesEndTheRunBeforeAnythingIsWritten) {
    ASSERT_TRUE(settings_.Write("createdDate", "1600000000000"));
    for (const std::string name : {"../Vexa", "/tmp/Vexa", "bin/Vexa", "..", "C:Vexa"}) {
        view_.Reset();
        Publish(Program(100), "filename=" + name + "\n");
        EXPECT_EQ(Run(), Result::kBadName) << name;
        ASSERT_EQ(view_.Messages().size(), 1u);
        EXPECT_EQ(view_.Messages()[0], "error: The server named no plain program file (" + name +
                                           "); nothing was changed!");
        EXPECT_TRUE(view_.enables.empty());  // the button was never disabled
    }
    for (const std::string name : {"", "a\\b"}) {
        Publish(Program(100), "filename=" + name + "\n");
        EXPECT_EQ(Run(), Result::kBadName) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(work_.path()));
    EXPECT_EQ(settings_.Read("createdDate").value_or(""), "1600000000000");
}

TEST_F(UpdateRun, ConnectionCutMidBodyLeavesTheOldProgramAndNoTmp) {
    Publish(Program(20000), "filename=Vexa\ncut=9000\n");
    std::ofstream(Work("Vexa")) << "old build";
    ASSERT_TRUE(settings_.Write("createdDate", "1600000000000"));
    EXPECT_EQ(Run(), Result::kConnectionLost);
    EXPECT_EQ(Slurp(Work("Vexa")), "old build");
    EXPECT_FALSE(Exists(Work("Vexa.tmp")));
    EXPECT_EQ(settings_.Read("createdDate").value_or(""), "1600000000000");
    EXPECT_EQ(view_.Messages(), (std::vector<std::string>{"error: Network connection lost!"}));
    EXPECT_EQ(view_.enables, (std::vector<bool>{false, true}));
}

TEST_F(UpdateRun, TargetThatCannotBeCreatedLeavesTmpForTheNextRun) {
    const std::string program = Program(4000);
    Publish(program, "filename=Vexa\n");
    std::filesystem::create_directory(Work("Vexa"));
    EXPECT_EQ(Run(), Result::kTargetFailed);
    EXPECT_TRUE(Exists(Work("Vexa.tmp")));
    EXPECT_FALSE(Exists(Work("Vexa.part")));
    EXPECT_FALSE(settings_.Read("createdDate").has_value());
    EXPECT_EQ(
        view_.Messages(),
        (std::vector<std::string>{"error: close the Vexa program and try to upgrade again!"}));

    std::filesystem::remove(Work("Vexa"));
    view_.Reset();
    ASSERT_EQ(Run(), Result::kSuccess);  // truncates the old "Vexa.tmp"
    EXPECT_EQ(Slurp(Work("Vexa")), program);
    EXPECT_FALSE(Exists(Work("Vexa.tmp")));
}

TEST_F(UpdateRun, NothingToInstallChangesNothingAndSaysSo) {
    std::ofstream(Work("Vexa")) << "old build";
    Publish("", "filename=Vexa\n");  // an empty payload
    EXPECT_EQ(Run(), Result::kNoPayload);
    EXPECT_EQ(Slurp(Work("Vexa")), "old build");
    EXPECT_FALSE(Exists(Work("Vexa.tmp")));
    EXPECT_FALSE(settings_.Read("createdDate").has_value());
    EXPECT_EQ(
        view_.Messages(),
        (std::vector<std::string>{"error: The server sent no program data; nothing was changed!"}));
    // A file query that cannot be opened delivers nothing either.
    UpdateServerAccess access = UpdateServerAccess::Default();
    access.stream = [](const std::string&, const std::function<bool(const char*, size_t)>&) {
        return false;
    };
    UpdateDownload refused(view_, settings_, work_.path(), false, access);
    EXPECT_EQ(refused.Run(), Result::kNoPayload);
    EXPECT_EQ(Slurp(Work("Vexa")), "old build");
    EXPECT_FALSE(Exists(Work("Vexa.tmp")));
}

TEST_F(UpdateRun, NoReplyAndNoBuildInBothLanguages) {
    EXPECT_EQ(Run(), Result::kNotDetected);  // nothing published: data is null
    EXPECT_EQ(view_.Messages(),
              (std::vector<std::string>{"error: Vexa software was not detected!"}));
    server_.Stop();
    view_.Reset();
    EXPECT_EQ(Run(), Result::kNoReply);
    EXPECT_EQ(Run(true), Result::kNoReply);
    EXPECT_EQ(view_.Messages(),
              (std::vector<std::string>{"error: server no returned!", "error: 服务器无返回!"}));
    EXPECT_TRUE(std::filesystem::is_empty(work_.path()));
}

// The reply fed in pieces of chosen sizes, with line breaks inside the Base64 text.
TEST_F(UpdateRun, PiecesSplitInsideGroupsAndAroundLineBreaks) {
    const std::string program = Program(4000);
    StoredFile file;
    file.path = root_.path() + "/p";
    root_.Put("p", program);
    file.filename = "Vexa";
    file.created_date = "1700000000000";
    std::string reply = UpdateServer::BuildReply(&file, true);
    // CR LF every 61 characters of the payload, so groups straddle line breaks and the
    // 1024-character blocks of the temporary file.
    const size_t start = reply.find("wenjian") + 10;
    for (size_t at = start + 61; at < reply.size() - 3; at += 63) reply.insert(at, "\r\n");
    for (size_t piece : {1, 3, 5, 1023, 4096}) {
        UpdateServerAccess access = UpdateServerAccess::Default();
        access.stream = [&](const std::string&, const std::function<bool(const char*, size_t)>& f) {
            for (size_t at = 0; at < reply.size(); at += piece) {
                if (!f(reply.data() + at, std::min(piece, reply.size() - at))) return false;
            }
            return true;
        };
        Publish(program, "filename=Vexa\n");
        UpdateDownload run(view_, settings_, work_.path(), false, access);
        ASSERT_EQ(run.Run(), Result::kSuccess) << piece;
        EXPECT_EQ(Slurp(Work("Vexa")), program) << piece;
    }
}

}  // namespace
